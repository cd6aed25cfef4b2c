orvel_add_bench(hot_loop_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/hot_loop_bench.cpp LIBS orvel_node)
