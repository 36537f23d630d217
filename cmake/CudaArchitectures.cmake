# The CUDA toolkits that build the product and the GPU architectures each builds by default. Toolkits 11.8 to
# 13.x are accepted. 11.8 and 12.x build for the GPUs the library serves, compute capability 5.2 to 9.0: machine
# code runs on its own major version from its minor version up, so 5.2, 6.0, 6.1, 7.0, 7.5, 8.0, 8.6 and 9.0
# cover the range (6.1's code cannot run on a 6.0), and PTX for 9.0 lets later GPUs compile the library when they
# load it. 13.x cannot build below 7.5; it builds 7.5 to 12.0, with PTX for 12.0. CMAKE_CUDA_ARCHITECTURES (or
# CUDAARCHS) overrides the defaults. Runs before enable_language(CUDA), which needs the architectures, so it asks
# nvcc itself.

if(CMAKE_CUDA_COMPILER)
  set(_brelmont_nvcc ${CMAKE_CUDA_COMPILER})
elseif(DEFINED ENV{CUDACXX})
  set(_brelmont_nvcc $ENV{CUDACXX})
else()
  find_program(_brelmont_nvcc nvcc HINTS ENV CUDA_PATH PATH_SUFFIXES bin PATHS /usr/local/cuda/bin)
  if(NOT _brelmont_nvcc)
    message(FATAL_ERROR "nvcc not found: put the CUDA toolkit's bin/ on PATH or set CMAKE_CUDA_COMPILER")
  endif()
  # enable_language(CUDA) looks on PATH only; use the nvcc asked here.
  set(CMAKE_CUDA_COMPILER ${_brelmont_nvcc} CACHE FILEPATH "The CUDA compiler")
endif()

execute_process(COMMAND ${_brelmont_nvcc} --version OUTPUT_VARIABLE _brelmont_nvcc_says ERROR_QUIET
                RESULT_VARIABLE _brelmont_rc)
if(NOT _brelmont_rc EQUAL 0 OR NOT _brelmont_nvcc_says MATCHES "release ([0-9]+)\\.([0-9]+)")
  message(FATAL_ERROR "Could not ask ${_brelmont_nvcc} for its version")
endif()
set(CUDA_BRELMONT_CUDA_VERSION ${CMAKE_MATCH_1}.${CMAKE_MATCH_2})
if(CUDA_BRELMONT_CUDA_VERSION VERSION_LESS 11.8)
  message(FATAL_ERROR "${_brelmont_nvcc} is CUDA ${CUDA_BRELMONT_CUDA_VERSION}; cuda_brelmont needs a CUDA "
                      "toolkit from 11.8 to 13.x (11.8 or 12.x to run on GPUs below compute capability 7.5)")
elseif(CUDA_BRELMONT_CUDA_VERSION VERSION_GREATER_EQUAL 14)
  message(WARNING "CUDA ${CUDA_BRELMONT_CUDA_VERSION} is newer than the toolkits cuda_brelmont is built with "
                  "(11.8 to 13.x); building for the architectures of 13.x")
endif()

if(NOT DEFINED CMAKE_CUDA_ARCHITECTURES AND NOT DEFINED ENV{CUDAARCHS})
  # "90" and "120" are machine code and PTX of one compilation.
  if(CUDA_BRELMONT_CUDA_VERSION VERSION_LESS 13)
    set(_brelmont_archs 52-real 60-real 61-real 70-real 75-real 80-real 86-real 90)
  else()
    set(_brelmont_archs 75-real 80-real 86-real 89-real 90-real 100-real 120)
  endif()
  set(CMAKE_CUDA_ARCHITECTURES ${_brelmont_archs} CACHE STRING "GPU architectures to build for")
endif()
