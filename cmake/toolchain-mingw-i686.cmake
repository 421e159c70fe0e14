# Cross-compiles for 32-bit Windows (i686) with Debian's MinGW-w64 toolchain
# (package g++-mingw-w64-i686):
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(LUMAGROVE_MINGW_TRIPLE i686-w64-mingw32)
# The POSIX thread model: the preview host's std::thread (winpthreads, linked
# statically). The plug-in uses no threads and imports nothing of it.
set(CMAKE_C_COMPILER ${LUMAGROVE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LUMAGROVE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${LUMAGROVE_MINGW_TRIPLE}-windres)

# Headers and libraries come from the MinGW sysroot only, never from the
# build machine's /usr; programs (code generators, tests' tools) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${LUMAGROVE_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
