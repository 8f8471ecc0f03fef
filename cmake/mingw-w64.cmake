# Cross-building the Windows program (x86-64) from Debian with MinGW-w64:
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
# Needs g++-mingw-w64-x86-64-posix (the posix threads flavour, which
# GoogleTest's std::thread needs) and, to run the tests, wine64. Everything is
# linked statically, so the executables need no MinGW DLL at run time.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VANTORIX_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VANTORIX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VANTORIX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VANTORIX_MINGW_TRIPLET}-windres)

# Libraries and headers of the target only; programs of the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VANTORIX_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Packages (GoogleTest's config files) may also come from a folder of the
# build, named by GTest_DIR.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine; so does test discovery.
find_program(VANTORIX_WINE_LOADER NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
find_program(VANTORIX_WINE_LOADER NAMES wine64 wine)
if(VANTORIX_WINE_LOADER)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VANTORIX_WINE_LOADER})
endif()
