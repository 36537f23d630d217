# Installing: the public header, the library with its version and SONAME links, a CMake package whose target
# cuda_brelmont::cuda_brelmont carries the include directory and the runtime it needs, and a pkg-config file.
# The host variant also installs hostcuda and its runtime headers (under include/hostcuda), so a caller can
# develop and test against the library on a machine without a GPU.
include(CMakePackageConfigHelpers)

set(_brelmont_targets cuda_brelmont)
if(CUDA_BRELMONT_VARIANT STREQUAL "host")
  list(APPEND _brelmont_targets hostcuda)
  install(DIRECTORY ${PROJECT_SOURCE_DIR}/hostcuda/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/hostcuda)
endif()
install(TARGETS ${_brelmont_targets} EXPORT cuda_brelmontTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/cuda_brelmont.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

set(_brelmont_package_dir ${CMAKE_INSTALL_LIBDIR}/cmake/cuda_brelmont)
install(EXPORT cuda_brelmontTargets NAMESPACE cuda_brelmont:: DESTINATION ${_brelmont_package_dir})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/cuda_brelmontConfig.cmake.in
  ${PROJECT_BINARY_DIR}/cuda_brelmontConfig.cmake INSTALL_DESTINATION ${_brelmont_package_dir})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/cuda_brelmontConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/cuda_brelmontConfig.cmake ${PROJECT_BINARY_DIR}/cuda_brelmontConfigVersion.cmake
  DESTINATION ${_brelmont_package_dir})

# pkg-config: paths relative to the .pc file, so the installed tree works wherever --prefix puts it.
if(IS_ABSOLUTE "${CMAKE_INSTALL_LIBDIR}" OR IS_ABSOLUTE "${CMAKE_INSTALL_INCLUDEDIR}")
  set(PC_PREFIX "${CMAKE_INSTALL_PREFIX}")
  set(PC_LIBDIR "${CMAKE_INSTALL_FULL_LIBDIR}")
  set(PC_INCLUDEDIR "${CMAKE_INSTALL_FULL_INCLUDEDIR}")
else()
  file(RELATIVE_PATH _up /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
  string(REGEX REPLACE "/$" "" _up "${_up}")
  set(PC_PREFIX "\${pcfiledir}/${_up}")
  set(PC_LIBDIR "\${prefix}/${CMAKE_INSTALL_LIBDIR}")
  set(PC_INCLUDEDIR "\${prefix}/${CMAKE_INSTALL_INCLUDEDIR}")
endif()
if(CUDA_BRELMONT_VARIANT STREQUAL "host")
  set(PC_CFLAGS "-I\${includedir} -I\${includedir}/hostcuda")
  set(PC_LIBS "-L\${libdir} -lcuda_brelmont -lhostcuda")
else()
  list(TRANSFORM CUDAToolkit_INCLUDE_DIRS PREPEND "-I" OUTPUT_VARIABLE _cuda_includes)
  list(JOIN _cuda_includes " " _cuda_includes)
  set(PC_CFLAGS "-I\${includedir} ${_cuda_includes}")
  set(PC_LIBS "-L\${libdir} -lcuda_brelmont -L${CUDAToolkit_LIBRARY_DIR} -lcudart")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/cuda_brelmont.pc.in ${PROJECT_BINARY_DIR}/cuda_brelmont.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/cuda_brelmont.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
