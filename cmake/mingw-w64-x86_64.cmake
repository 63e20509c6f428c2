# Cross-compiling for 64-bit Windows with MinGW-w64 (Debian: g++-mingw-w64-x86-64).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELMORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELMORA_MINGW_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_TRIPLE}-g++)
# Compiles velmora.exe's version resource (src/velmora.rc.in).
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_TRIPLE}-windres)

# Headers and libraries come from the MinGW-w64 sysroot only, never from the
# build machine; programs (build tools) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Every program is one self-contained .exe: libstdc++, libgcc and winpthread
# are linked in, so it needs only DLLs that ship with Windows. Release builds
# are stripped at link time, so the .exe the tests run is the one packaged.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT -s)
