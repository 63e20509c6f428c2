# Cross-compiling for WebAssembly (wasm32-wasi) with Debian's clang and lld
# (packages clang, lld-14, wasi-libc, libc++-14-dev-wasm32 and
# libclang-rt-14-dev-wasm32): velmora.wasm runs under any WASI host, Node's
# for the tests and the page's own in the browser.
set(CMAKE_SYSTEM_NAME WASI)
set(CMAKE_SYSTEM_PROCESSOR wasm32)

set(VELMORA_WASI_TRIPLE wasm32-wasi)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${VELMORA_WASI_TRIPLE})
set(CMAKE_CXX_COMPILER_TARGET ${VELMORA_WASI_TRIPLE})
# Debian puts wasi-libc and libc++ for wasm32 under /usr, in wasm32-wasi
# folders that clang finds from this sysroot.
set(CMAKE_SYSROOT /usr)
set(CMAKE_EXECUTABLE_SUFFIX_CXX .wasm)

set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The module is loaded into a page, so it is built for size, and a release
# build carries no names or debug sections: the file the tests run is the
# one the page embeds.
set(CMAKE_CXX_FLAGS_RELEASE_INIT "-Oz -DNDEBUG")
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT -Wl,--strip-all)
# The game reader walks maps/ up to 16 folders deep, some 16 KiB of stack a folder (its paths):
# lld's default stack of 64 KiB runs down into the module's data a few folders deep, and a map
# 11 folders below maps/ trapped. A stack of 1 MiB is memory the module asks for, not bytes of
# its file.
set(CMAKE_EXE_LINKER_FLAGS_INIT -Wl,-z,stack-size=1048576)
