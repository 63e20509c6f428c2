# Running the test suite against a Windows build of the tool under Wine.
#
# The test driver is a Linux program (fork/exec, rlimits, uid changes), so it
# is built natively in this tree and runs velmora.exe through a launcher
# script. The launcher is one word, so it passes through the tests'
# ENVIRONMENT property as VELMORA_COMMAND, where a ;-separated list would be
# cut apart; it is also how to rerun a failing case by hand.
set(VELMORA_WINE_EXE "" CACHE FILEPATH
    "velmora.exe to run the tests against under Wine; empty tests this tree's own build")
set(VELMORA_WINE_BUILD_PRESET "" CACHE STRING
    "Configure preset whose build makes VELMORA_WINE_EXE; built before the tests run")
if(NOT VELMORA_WINE_EXE)
  return()
endif()

# Debian: "wine" (the launcher) and "wine64" (the 64-bit loader it starts).
find_program(VELMORA_WINE wine REQUIRED)
find_program(VELMORA_WINEBOOT wineboot REQUIRED)
find_program(VELMORA_WINESERVER wineserver REQUIRED)

# A prefix of this tree's own: created once at build time, since a fresh one
# takes seconds and tests racing to create it fail. mscoree and mshtml are
# disabled so wineboot does not look for Mono and Gecko.
set(VELMORA_WINE_PREFIX ${CMAKE_BINARY_DIR}/wine-prefix)
add_custom_command(
  OUTPUT ${VELMORA_WINE_PREFIX}/system.reg
  COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${VELMORA_WINE_PREFIX} WINEDEBUG=-all
          WINEDLLOVERRIDES=mscoree,mshtml= ${VELMORA_WINEBOOT} --init
  COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${VELMORA_WINE_PREFIX} ${VELMORA_WINESERVER} -w
  COMMENT "Creating the Wine prefix for the tests"
  VERBATIM)
add_custom_target(velmora_wine_prefix ALL DEPENDS ${VELMORA_WINE_PREFIX}/system.reg)

if(VELMORA_WINE_BUILD_PRESET)
  include(${CMAKE_CURRENT_LIST_DIR}/build-preset.cmake)
  velmora_build_preset(velmora_exe ${VELMORA_WINE_BUILD_PRESET} ${VELMORA_WINE_EXE})
endif()

# The .exe under test carries this tree's version: the windows build checks
# that after each link; this checks the very file that the tests run.
find_program(VELMORA_WINDRES NAMES x86_64-w64-mingw32-windres windres REQUIRED)
add_test(NAME windows_version_resource
         COMMAND ${CMAKE_COMMAND} -DWINDRES=${VELMORA_WINDRES} -DEXE=${VELMORA_WINE_EXE}
                 -DVERSION=${PROJECT_VERSION}
                 -P ${CMAKE_CURRENT_LIST_DIR}/check-windows-version.cmake)

# A Wine server that outlives each run: one that starts and stops with the
# runs costs seconds at each restart. It keeps its standard streams open, so
# they must not be CTest's pipes, or CTest waits for it. Exit code 2 means
# one already runs, 1 that none is left to stop; neither keeps the tests
# from running.
add_test(NAME wine_server_start
         COMMAND sh -c "exec \"$0\" -p30 </dev/null >/dev/null 2>&1" ${VELMORA_WINESERVER})
add_test(NAME wine_server_stop COMMAND ${VELMORA_WINESERVER} -k)
set_tests_properties(wine_server_start PROPERTIES FIXTURES_SETUP velmora_tool SKIP_RETURN_CODE 2)
set_tests_properties(wine_server_stop PROPERTIES FIXTURES_CLEANUP velmora_tool SKIP_RETURN_CODE 1)
set_tests_properties(wine_server_start wine_server_stop
                     PROPERTIES ENVIRONMENT WINEPREFIX=${VELMORA_WINE_PREFIX})

# Wine's drive Z: is the Unix root; cmd.exe takes the .exe by that name.
string(REPLACE "/" "\\" VELMORA_WINE_EXE_WINDOWS "Z:${VELMORA_WINE_EXE}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/velmora-wine.in ${CMAKE_BINARY_DIR}/velmora-wine @ONLY
               FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE
                                WORLD_READ WORLD_EXECUTE)

# Read by tests/CMakeLists.txt in place of its defaults.
set(VELMORA_COMMAND ${CMAKE_BINARY_DIR}/velmora-wine)
set(VELMORA_TOOL_OS windows)
