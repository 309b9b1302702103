if(QUORVANE_GUI)
    quorvane_add_bench(board_bench SOURCES board_bench.cpp GUI)
endif()
