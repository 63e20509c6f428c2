# Release packages: velmora-<version>-win64.zip from a MinGW-w64 build,
# velmora-<version>-linux-x86_64.tar.gz from a Linux one. Each holds the tool,
# the README, the license, the changelog and the example map list; the version
# is project()'s.
install(TARGETS velmora RUNTIME DESTINATION .)
install(FILES README.md LICENSE CHANGELOG.md example/cmaps.cfg DESTINATION .)

# The Linux package's tool must run on any x86-64 Linux, whatever libc and
# libstdc++ it has: its preset asks for VELMORA_LINK=static and strips at
# link time, so the binary the tests run is the one packaged.

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
