# Building for WebAssembly with Debian's clang and its wasm32 WASI libraries (wasi-libc,
# libc++-14-dev-wasm32, libclang-rt-14-dev-wasm32, lld-14). WebAssembly has no x87 type, so the
# build uses the software extended type; it has no exceptions either, and the program needs none.
set(CMAKE_SYSTEM_NAME WASI)
set(CMAKE_SYSTEM_PROCESSOR wasm32)
list(APPEND CMAKE_MODULE_PATH ${CMAKE_CURRENT_LIST_DIR})
set(CMAKE_C_COMPILER clang-14)
set(CMAKE_CXX_COMPILER clang++-14)
set(CMAKE_C_COMPILER_TARGET wasm32-wasi)
set(CMAKE_CXX_COMPILER_TARGET wasm32-wasi)

# Debian installs the target's headers and libraries beside the host's, under /usr/include and
# /usr/lib; a sysroot of two links gives the compiler those and nothing of the host's.
set(wasi_sysroot ${CMAKE_BINARY_DIR}/wasi-sysroot)
foreach(part include lib)
    file(MAKE_DIRECTORY ${wasi_sysroot}/${part})
    if(NOT EXISTS ${wasi_sysroot}/${part}/wasm32-wasi)
        file(CREATE_LINK /usr/${part}/wasm32-wasi ${wasi_sysroot}/${part}/wasm32-wasi SYMBOLIC)
    endif()
endforeach()
set(CMAKE_SYSROOT ${wasi_sysroot})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CXX_FLAGS_INIT "-fno-exceptions")
# The link keeps the function names and leaves optimisation to web/build.mjs: clang would run
# binaryen's wasm-opt on an optimised link by itself and drop the names, which Asyncify's list of the
# functions that wait needs. build.mjs strips them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-O0")
