# Every build option of the project, in one place.
set(CMAKE_CXX_STANDARD 17)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
set(CMAKE_EXPORT_COMPILE_COMMANDS ON)

if(NOT CMAKE_BUILD_TYPE AND NOT CMAKE_CONFIGURATION_TYPES)
  set(CMAKE_BUILD_TYPE Release CACHE STRING "Build type" FORCE)
endif()

option(ORVEL_BUILD_TESTS "Build the unit and end-to-end tests" ON)
option(ORVEL_BUILD_BENCH "Build the benchmarks (needs Google Benchmark)" ON)
option(ORVEL_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(ORVEL_TSAN "Build with ThreadSanitizer" OFF)
set(ORVEL_NDK_DIR "" CACHE PATH "An installed host's folder (include/DDImage, libDDImage.so): also build ktOrvel.so for that host")
option(ORVEL_FUZZ "Build the libFuzzer targets of fuzz/ (needs clang), everything under ASan and UBSan" OFF)

add_compile_options(-Wall -Wextra)
# Multiply-adds are never fused, so that the reference engines round alike on every processor;
# only the fast engines' vector sweeps opt out, through orvel_fused_multiply_add(target).
add_compile_options(-ffp-contract=off)
function(orvel_fused_multiply_add target)
  target_compile_options(${target} PRIVATE -ffp-contract=fast)
endfunction()

# Channel numbers run past the host's named channels (up to Chan_Last), as the host's own
# channel enum is used: the enum-range check is left out of the undefined-behaviour sanitizer.
if(ORVEL_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-sanitize=enum -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()
if(ORVEL_TSAN)
  add_compile_options(-fsanitize=thread -fno-omit-frame-pointer)
  add_link_options(-fsanitize=thread)
endif()
if(ORVEL_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "ORVEL_FUZZ needs clang (libFuzzer): configure with -DCMAKE_CXX_COMPILER=clang++-14")
  endif()
  # Every library carries the coverage the fuzzer steers by; only the targets link its main.
  # Library assertions catch out-of-range container indexing that stays inside an allocation.
  add_compile_options(-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize=enum -fno-sanitize-recover=all
                      -fno-omit-frame-pointer -D_GLIBCXX_ASSERTIONS)
  add_link_options(-fsanitize=address,undefined)
endif()

find_package(Threads REQUIRED)
# The fast engines' vector sweeps: one source for SSE4, AVX2, AVX-512 and NEON, picked at run time.
find_package(hwy REQUIRED)

# The fuzz targets link the libraries of the folders added after this file; CMake resolves
# target names once every folder is read.
if(ORVEL_FUZZ)
  add_subdirectory(${CMAKE_SOURCE_DIR}/fuzz ${CMAKE_BINARY_DIR}/fuzz)
endif()
