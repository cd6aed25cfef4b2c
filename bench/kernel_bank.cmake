# Building the kernel bank from a 256-pixel circular hero kernel, on one worker and on all.
if(TARGET orvel_kernel)
  orvel_add_bench(kernel_bank_bench SOURCES ${CMAKE_CURRENT_LIST_DIR}/kernel_bank_bench.cpp LIBS orvel_kernel)
endif()
