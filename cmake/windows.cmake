# The Windows build (cmake/mingw-w64-x86_64.cmake): velmora.exe must run on a
# plain Windows install, so every link of it is followed by a check that it
# imports only DLLs that ship with Windows. It also carries a version
# resource, for Explorer's Properties, checked after every link against
# project()'s version.
if(MINGW)
  if(NOT CMAKE_OBJDUMP)
    message(FATAL_ERROR "objdump for ${CMAKE_CXX_COMPILER} not found; it checks velmora.exe's DLLs")
  endif()
  configure_file(${PROJECT_SOURCE_DIR}/src/velmora.rc.in ${CMAKE_BINARY_DIR}/velmora.rc @ONLY)
  target_sources(velmora PRIVATE ${CMAKE_BINARY_DIR}/velmora.rc)
  add_custom_command(
    TARGET velmora POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DEXE=$<TARGET_FILE:velmora>
            -P ${CMAKE_CURRENT_LIST_DIR}/check-windows-imports.cmake
    COMMAND ${CMAKE_COMMAND} -DWINDRES=${CMAKE_RC_COMPILER} -DEXE=$<TARGET_FILE:velmora>
            -DVERSION=${PROJECT_VERSION} -P ${CMAKE_CURRENT_LIST_DIR}/check-windows-version.cmake
    VERBATIM)
endif()
