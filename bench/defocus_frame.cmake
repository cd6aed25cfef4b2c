orvel_add_bench(defocus_frame_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/defocus_frame_bench.cpp LIBS orvel_node)
target_include_directories(defocus_frame_bench PRIVATE ${CMAKE_CURRENT_LIST_DIR})
