# Decoding a full answer frame beside memcpy of the same bytes, and the worker's CPU while it
# waits for a slow server.
quorvane_add_bench(link_frame_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_frame.cpp)
quorvane_add_bench(link_idle_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/link_idle.cpp)
