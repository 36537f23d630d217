# CUB, Thrust and libcu++ (CCCL): the library needs CCCL 2.5 or newer (the first with
# cub::DeviceReduce::TransformReduce), which CUDA 12.6 and later bring. With an older toolkit a newer CCCL from
# outside the tree takes the place of the toolkit's: a CCCL package found by find_package (CCCL_DIR naming its
# lib/cmake/cccl, or CMAKE_PREFIX_PATH naming its prefix), or CUDA_BRELMONT_CCCL_INCLUDE_DIR naming its headers.
# Targets that include CCCL headers link brelmont_cccl, whose include directory comes ahead of the toolkit's own
# (never as a system directory, which nvcc would search after the toolkit's).

set(CUDA_BRELMONT_CCCL_INCLUDE_DIR "" CACHE PATH
    "Headers of a CCCL 2.5 or newer (cub/, thrust/, cuda/) to use instead of the CUDA toolkit's")
add_library(brelmont_cccl INTERFACE)

# The CCCL version of a cub/version.cuh, as major.minor.patch (CUB_VERSION is MMMmmmpp).
function(brelmont_cub_version file out)
  file(STRINGS ${file} _line REGEX "^#define CUB_VERSION [0-9]+")
  if(NOT _line MATCHES "CUB_VERSION ([0-9]+)")
    message(FATAL_ERROR "No CUB_VERSION in ${file}")
  endif()
  math(EXPR _major "${CMAKE_MATCH_1} / 100000")
  math(EXPR _minor "${CMAKE_MATCH_1} / 100 % 1000")
  math(EXPR _patch "${CMAKE_MATCH_1} % 100")
  set(${out} ${_major}.${_minor}.${_patch} PARENT_SCOPE)
endfunction()

string(CONCAT _brelmont_cccl_hint "point CCCL_DIR at the lib/cmake/cccl of a CCCL 2.5 or newer (for example the "
       "PyPI package nvidia-cuda-cccl-cu12, under nvidia/cuda_cccl) or CUDA_BRELMONT_CCCL_INCLUDE_DIR at its headers")
if(CUDA_BRELMONT_CCCL_INCLUDE_DIR)
  if(NOT EXISTS ${CUDA_BRELMONT_CCCL_INCLUDE_DIR}/cub/version.cuh)
    message(FATAL_ERROR "CUDA_BRELMONT_CCCL_INCLUDE_DIR (${CUDA_BRELMONT_CCCL_INCLUDE_DIR}) holds no cub/version.cuh")
  endif()
  brelmont_cub_version(${CUDA_BRELMONT_CCCL_INCLUDE_DIR}/cub/version.cuh _brelmont_cccl_version)
  target_include_directories(brelmont_cccl INTERFACE ${CUDA_BRELMONT_CCCL_INCLUDE_DIR})
  set(_brelmont_cccl_from ${CUDA_BRELMONT_CCCL_INCLUDE_DIR})
elseif(CCCL_DIR)
  find_package(CCCL CONFIG REQUIRED)
  set(_brelmont_cccl_version ${CCCL_VERSION})
  target_link_libraries(brelmont_cccl INTERFACE CCCL::CCCL)
  set(_brelmont_cccl_from ${CCCL_DIR})
else()
  find_file(_brelmont_toolkit_cub cub/version.cuh PATHS ${CUDAToolkit_INCLUDE_DIRS} PATH_SUFFIXES cccl ""
            NO_DEFAULT_PATH NO_CACHE)
  set(_brelmont_cccl_version 0)
  set(_brelmont_toolkit_has "no CCCL")
  if(_brelmont_toolkit_cub)
    brelmont_cub_version(${_brelmont_toolkit_cub} _brelmont_cccl_version)
    set(_brelmont_toolkit_has "CCCL ${_brelmont_cccl_version}")
  endif()
  set(_brelmont_cccl_from "the CUDA toolkit")
  if(_brelmont_cccl_version VERSION_LESS 2.5)
    find_package(CCCL CONFIG QUIET)
    if(NOT CCCL_FOUND)
      message(FATAL_ERROR "The CUDA toolkit has ${_brelmont_toolkit_has}; cuda_brelmont needs CCCL 2.5 or "
                          "newer: ${_brelmont_cccl_hint}")
    endif()
    set(_brelmont_cccl_version ${CCCL_VERSION})
    target_link_libraries(brelmont_cccl INTERFACE CCCL::CCCL)
    set(_brelmont_cccl_from ${CCCL_DIR})
  endif()
endif()

if(_brelmont_cccl_version VERSION_LESS 2.5)
  message(FATAL_ERROR "CCCL ${_brelmont_cccl_version} from ${_brelmont_cccl_from} is older than the 2.5 that "
                      "cuda_brelmont needs: ${_brelmont_cccl_hint}")
endif()
if(_brelmont_cccl_version VERSION_GREATER_EQUAL 3 AND CUDA_BRELMONT_CUDA_VERSION VERSION_LESS 12)
  message(FATAL_ERROR "CCCL ${_brelmont_cccl_version} from ${_brelmont_cccl_from} needs CUDA 12 or newer; with "
                      "CUDA ${CUDA_BRELMONT_CUDA_VERSION} use a CCCL 2.x from 2.5: ${_brelmont_cccl_hint}")
endif()
message(STATUS "cuda_brelmont: CCCL ${_brelmont_cccl_version} from ${_brelmont_cccl_from}")
