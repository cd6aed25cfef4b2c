# ktOrvel.so for the host itself: the node's and the engines' sources compiled against an
# installed host's SDK (ORVEL_NDK_DIR, holding include/DDImage and libDDImage.so) instead of the
# stand-in. The renderer and the tests keep running on the stand-in build beside it.
set(ORVEL_NDK_INCLUDE "${ORVEL_NDK_DIR}/include")
if(NOT EXISTS "${ORVEL_NDK_INCLUDE}/DDImage/Iop.h")
  message(FATAL_ERROR "ORVEL_NDK_DIR=${ORVEL_NDK_DIR} holds no include/DDImage/Iop.h")
endif()
find_library(ORVEL_DDIMAGE_LIBRARY DDImage PATHS "${ORVEL_NDK_DIR}" NO_DEFAULT_PATH)
if(NOT ORVEL_DDIMAGE_LIBRARY)
  message(FATAL_ERROR "ORVEL_NDK_DIR=${ORVEL_NDK_DIR} holds no libDDImage.so")
endif()

# The host's C++ library ABI: the old one up to version 14, the new one from 15 on. Read from
# the SDK's version header where it has one; set ORVEL_NDK_CXX11_ABI to override.
set(ndk_major "")
file(GLOB version_headers "${ORVEL_NDK_INCLUDE}/DDImage/ddImageVersionNumbers.h")
if(version_headers)
  file(STRINGS "${version_headers}" major_line REGEX "kDDImageVersionMajorNum[ \t]+[0-9]+")
  string(REGEX MATCH "[0-9]+$" ndk_major "${major_line}")
endif()
if(NOT DEFINED ORVEL_NDK_CXX11_ABI)
  if(ndk_major AND ndk_major LESS 15)
    set(ORVEL_NDK_CXX11_ABI 0)
  else()
    set(ORVEL_NDK_CXX11_ABI 1)
  endif()
endif()
message(STATUS "ktOrvel for the host: SDK ${ORVEL_NDK_DIR} (version ${ndk_major}), _GLIBCXX_USE_CXX11_ABI=${ORVEL_NDK_CXX11_ABI}")

# The sources and folders of the libraries the stand-in build links the node from.
function(orvel_sources_of out_sources out_includes)
  set(all_sources "")
  set(all_includes "")
  foreach(lib IN LISTS ARGN)
    get_target_property(dir ${lib} SOURCE_DIR)
    get_target_property(sources ${lib} SOURCES)
    foreach(source IN LISTS sources)
      if(IS_ABSOLUTE "${source}")
        list(APPEND all_sources "${source}")
      else()
        list(APPEND all_sources "${dir}/${source}")
      endif()
    endforeach()
    list(APPEND all_includes "${dir}")
  endforeach()
  set(${out_sources} ${all_sources} PARENT_SCOPE)
  set(${out_includes} ${all_includes} PARENT_SCOPE)
endfunction()

orvel_sources_of(host_sources host_includes orvel_settings orvel_lens orvel_kernel orvel_walk orvel_reference orvel_fast orvel_trace
                 orvel_preview orvel_edges orvel_node)
orvel_sources_of(vector_sources vector_includes orvel_vectors)

# The vector sweeps, as in the stand-in build: their own objects, the only ones that may fuse
# multiply-adds.
add_library(ktOrvelForHostVectors OBJECT ${vector_sources})
target_include_directories(ktOrvelForHostVectors PRIVATE ${ORVEL_NDK_INCLUDE} ${host_includes} ${vector_includes})
target_compile_definitions(ktOrvelForHostVectors PRIVATE _GLIBCXX_USE_CXX11_ABI=${ORVEL_NDK_CXX11_ABI})
target_link_libraries(ktOrvelForHostVectors PRIVATE hwy::hwy)
orvel_fused_multiply_add(ktOrvelForHostVectors)

add_library(ktOrvelForHost MODULE ${host_sources} $<TARGET_OBJECTS:ktOrvelForHostVectors>)
set_target_properties(ktOrvelForHost PROPERTIES OUTPUT_NAME ktOrvel PREFIX ""
                      LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/host-plugin)
target_include_directories(ktOrvelForHost PRIVATE ${ORVEL_NDK_INCLUDE} ${host_includes} ${vector_includes})
target_compile_definitions(ktOrvelForHost PRIVATE _GLIBCXX_USE_CXX11_ABI=${ORVEL_NDK_CXX11_ABI})
target_link_libraries(ktOrvelForHost PRIVATE ${ORVEL_DDIMAGE_LIBRARY} hwy::hwy Threads::Threads)
configure_file(${CMAKE_SOURCE_DIR}/host-plugin/menu.py ${CMAKE_BINARY_DIR}/host-plugin/menu.py COPYONLY)
