# Use ccache for C, C++ and CUDA when it is installed.
find_program(CCACHE_PROGRAM ccache)
if(CCACHE_PROGRAM)
  foreach(lang C CXX CUDA)
    if(NOT DEFINED CMAKE_${lang}_COMPILER_LAUNCHER)
      set(CMAKE_${lang}_COMPILER_LAUNCHER ${CCACHE_PROGRAM})
    endif()
  endforeach()
endif()
