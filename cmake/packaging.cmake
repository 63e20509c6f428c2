# Release packages: velmora-<version>-win64.zip from a MinGW-w64 build,
# velmora-<version>-linux-x86_64.tar.gz from a Linux one. Each holds the tool,
# the README and the example map list; the version is project()'s.
install(TARGETS velmora RUNTIME DESTINATION .)
install(FILES README.md example/cmaps.cfg DESTINATION .)

# The Linux package's tool must run on any x86-64 Linux, whatever libc and
# libstdc++ it has: VELMORA_PACKAGE_STATIC links it statically, and stripped
# in a release build, so the binary the tests run is the one packaged.
option(VELMORA_PACKAGE_STATIC "Link velmora statically, for the Linux release package" OFF)
if(VELMORA_PACKAGE_STATIC)
  target_link_options(velmora PRIVATE -static $<$<CONFIG:Release>:-s>)
endif()

if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR TGZ)
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" CPACK_SYSTEM_NAME)
endif()
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_FILE_NAME ${PROJECT_NAME}-${PROJECT_VERSION}-${CPACK_SYSTEM_NAME})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Writes custom map names into progs.dat's user map slots")
include(CPack)
