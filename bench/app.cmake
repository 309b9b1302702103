# Whole-program timings of the real main window against quorvane-sim; scripts/perf.sh runs them.
# Not part of the `bench` target: they need a running simulator and take minutes.
if(QUORVANE_GUI)
    add_executable(quorvane-whole ${CMAKE_CURRENT_LIST_DIR}/whole/Whole.cpp)
    target_link_libraries(quorvane-whole PRIVATE quorvane_gui)
endif()
