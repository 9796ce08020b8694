# Cross build for 64-bit Windows with Debian's mingw-w64 toolchain, in its POSIX
# threads flavour (the C++ thread library GoogleTest needs). Programs
# built here run on Linux through Wine, which CTest uses as the emulator.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# The audio libraries of scripts/mingw-audio-libs.sh, when their prefix is given.
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32 ${BREVOX_MINGW_AUDIO})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Static runtime: the programs need no MinGW DLLs beside them. No link time
# in the PE header, so that the same sources give the same executables.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++ -Wl,--no-insert-timestamp")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
