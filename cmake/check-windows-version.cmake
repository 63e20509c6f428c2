# Fails unless EXE carries a version resource whose numbers and strings give
# VERSION (project()'s), as Explorer shows them under Properties, Details. Run as
#   cmake -DWINDRES=<windres> -DEXE=<file.exe> -DVERSION=<x.y.z> -P check-windows-version.cmake
execute_process(COMMAND "${WINDRES}" -i "${EXE}" -O rc OUTPUT_VARIABLE rc
                RESULT_VARIABLE failed ERROR_VARIABLE why)
if(failed OR NOT rc MATCHES "VERSIONINFO")
  message(FATAL_ERROR "${EXE} has no version resource: ${why}")
endif()

set(problems "")
# Explorer and installers compare the four numbers; the fourth is always 0.
string(REPLACE "." ", " numbers "${VERSION}")
foreach(field IN ITEMS FILEVERSION PRODUCTVERSION)
  if(NOT rc MATCHES "\n *${field} ([0-9, ]+)\n")
    list(APPEND problems "no ${field}")
  elseif(NOT CMAKE_MATCH_1 STREQUAL "${numbers}, 0")
    list(APPEND problems "${field} is ${CMAKE_MATCH_1}, not ${numbers}, 0")
  endif()
endforeach()

# The strings of the one language the Translation value lists.
get_filename_component(exe_name "${EXE}" NAME)
foreach(pair IN ITEMS "FileVersion=${VERSION}" "ProductVersion=${VERSION}"
                      "OriginalFilename=${exe_name}" "FileDescription=" "ProductName=")
  string(REGEX MATCH "^[^=]*" key "${pair}")
  string(REGEX REPLACE "^[^=]*=" "" expected "${pair}")
  if(NOT rc MATCHES "VALUE \"${key}\", \"([^\"\n]*)\"")
    list(APPEND problems "no ${key}")
  elseif(expected STREQUAL "" AND CMAKE_MATCH_1 STREQUAL "")
    list(APPEND problems "${key} is empty")
  elseif(NOT expected STREQUAL "" AND NOT CMAKE_MATCH_1 STREQUAL expected)
    list(APPEND problems "${key} is \"${CMAKE_MATCH_1}\", not \"${expected}\"")
  endif()
endforeach()
if(NOT rc MATCHES "BLOCK \"040904B0\"" OR NOT rc MATCHES "VALUE \"Translation\", 0x409, 1200")
  list(APPEND problems "strings not under the language and code page that Translation lists")
endif()

if(problems)
  list(JOIN problems "; " problems)
  message(FATAL_ERROR "${EXE}: version resource does not match ${VERSION}: ${problems}")
endif()
