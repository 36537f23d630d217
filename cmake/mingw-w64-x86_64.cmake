# Cross-compiling for Windows x86-64 with Debian's mingw-w64 (packages g++-mingw-w64-x86-64-posix, wine64).
# The posix thread model is needed for std::thread and std::mutex. Programs built here run through Wine:
# CTest and test discovery go through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_mingw x86_64-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${_mingw}-gcc-posix ${_mingw}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_mingw}-g++-posix ${_mingw}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_mingw}-windres)
find_program(CMAKE_OBJDUMP NAMES ${_mingw}-objdump)

list(APPEND CMAKE_FIND_ROOT_PATH /usr/${_mingw})  # callers may add their own (an install prefix)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# mingw-w64's fmaf rounds twice (through a double); with FMA instructions GCC computes fmaf and fma exactly,
# as the GPU does. Every x86-64 CPU since 2013 has them.
set(CMAKE_C_FLAGS_INIT "-mfma")
set(CMAKE_CXX_FLAGS_INIT "-mfma")

# The GCC runtime (libgcc, libstdc++, winpthread) is linked statically, so the DLLs and programs need
# nothing beyond what Windows itself provides.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(_wine NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(_wine)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${_wine})
  endif()
endif()
