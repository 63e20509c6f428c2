# Running the test suite against a WebAssembly build of the tool under Node's
# WASI, as cmake/wine.cmake does for velmora.exe: the test driver is this
# tree's native program, and the tool it runs is the launcher below.
set(VELMORA_WASM "" CACHE FILEPATH
    "velmora.wasm to run the tests against under Node; empty tests this tree's own build")
set(VELMORA_WASM_BUILD_PRESET "" CACHE STRING
    "Configure preset whose build makes VELMORA_WASM; built before the tests run")
if(NOT VELMORA_WASM)
  return()
endif()

# Node 20 or later: its WASI takes version 'preview1'.
find_program(VELMORA_NODE node REQUIRED)

if(VELMORA_WASM_BUILD_PRESET)
  include(${CMAKE_CURRENT_LIST_DIR}/build-preset.cmake)
  velmora_build_preset(velmora_wasm ${VELMORA_WASM_BUILD_PRESET} ${VELMORA_WASM})
endif()

configure_file(${CMAKE_CURRENT_LIST_DIR}/velmora-wasi.in ${CMAKE_BINARY_DIR}/velmora-wasi @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)

# Read by tests/CMakeLists.txt in place of its defaults.
set(VELMORA_COMMAND ${CMAKE_BINARY_DIR}/velmora-wasi)
set(VELMORA_TOOL_OS wasi)
