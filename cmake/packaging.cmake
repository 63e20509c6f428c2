# Release packages: velmora-<version>-win64.zip from a MinGW-w64 build,
# velmora-<version>-linux-x86_64.tar.gz from a Linux one. Each holds the tool,
# the README, the license, the changelog and the example map list; the version
# is project()'s.
install(TARGETS velmora RUNTIME DESTINATION .)
install(FILES README.md LICENSE CHANGELOG.md example/cmaps.cfg DESTINATION .)

# The Linux package's tool must run on any x86-64 Linux, whatever libc and
# libstdc++ it has: its preset asks for VELMORA_LINK=static and strips at
# link time, so the binary the tests run is the one packaged.

# CPack 3.25 does not make the same archive twice: it takes member times from
# the files unless SOURCE_DATE_EPOCH is set (and nothing sets it from the
# commit), owners from whoever ran it, the ZIP's times in the local time zone,
# and member order from the staging folder. So the release_package target
# stages with install() as CPack would and packs with zip or GNU tar and gzip
# under fixed times, modes, owners and order (cmake/make-package.cmake), then
# writes SHA256SUMS beside the packages.
if(WIN32)
  set(velmora_package_system win64)
  set(velmora_package_format zip)
  find_program(VELMORA_ZIP zip)
  set(velmora_package_tools -DARCHIVER=${VELMORA_ZIP})
else()
  string(TOLOWER "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}" velmora_package_system)
  set(velmora_package_format tar.gz)
  find_program(VELMORA_TAR NAMES gtar tar)
  find_program(VELMORA_GZIP gzip)
  set(velmora_package_tools -DARCHIVER=${VELMORA_TAR} -DGZIP=${VELMORA_GZIP})
endif()
set(VELMORA_PACKAGE_DIR ${CMAKE_BINARY_DIR}/packages CACHE PATH
    "Folder that release_package writes the package and SHA256SUMS into")
set(velmora_package_name ${PROJECT_NAME}-${PROJECT_VERSION}-${velmora_package_system})
add_custom_target(release_package
  COMMAND ${CMAKE_COMMAND} -DSOURCE_DIR=${PROJECT_SOURCE_DIR} -DBUILD_DIR=${CMAKE_BINARY_DIR}
          -DNAME=${velmora_package_name} -DFORMAT=${velmora_package_format}
          -DTOOL=$<TARGET_FILE_NAME:velmora> -DOUTPUT_DIR=${VELMORA_PACKAGE_DIR}
          -DSUMS_PREFIX=${PROJECT_NAME}-${PROJECT_VERSION} ${velmora_package_tools}
          -P ${CMAKE_CURRENT_LIST_DIR}/make-package.cmake
  COMMENT "Packing ${velmora_package_name}.${velmora_package_format}"
  VERBATIM)
add_dependencies(release_package velmora)
