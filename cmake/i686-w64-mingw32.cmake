# Cross-compiling for 32-bit Windows with Debian's mingw-w64.
# The posix thread model gives std::mutex and std::thread on gcc 12.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Programs carry their C++ and thread runtimes, so they run without extra DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
# zlib too: Debian's libz-mingw-w64-dev has both; take the static one.
set(ZLIB_USE_STATIC_LIBS ON)
