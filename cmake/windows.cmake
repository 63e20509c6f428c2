# The Windows build (cmake/mingw-w64-x86_64.cmake): velmora.exe must run on a
# plain Windows install, so every link of it is followed by a check that it
# imports only DLLs that ship with Windows.
if(MINGW)
  if(NOT CMAKE_OBJDUMP)
    message(FATAL_ERROR "objdump for ${CMAKE_CXX_COMPILER} not found; it checks velmora.exe's DLLs")
  endif()
  add_custom_command(
    TARGET velmora POST_BUILD
    COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DEXE=$<TARGET_FILE:velmora>
            -P ${CMAKE_CURRENT_LIST_DIR}/check-windows-imports.cmake
    VERBATIM)
endif()
