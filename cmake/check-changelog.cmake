# Fails unless the newest release heading in CHANGELOG ("## [x.y.z] - date",
# below any "## [Unreleased]") names VERSION, project()'s version, so a
# release never ships without its entry. Run as
#   cmake -DCHANGELOG=<CHANGELOG.md> -DVERSION=<x.y.z> -P check-changelog.cmake
file(STRINGS "${CHANGELOG}" headings REGEX "^## \\[[0-9]+\\.[0-9]+\\.[0-9]+\\]")
if(NOT headings)
  message(FATAL_ERROR "${CHANGELOG} has no release heading such as \"## [${VERSION}] - YYYY-MM-DD\"")
endif()
list(GET headings 0 newest)
if(NOT newest MATCHES "^## \\[([0-9.]+)\\] - [0-9][0-9][0-9][0-9]-[0-9][0-9]-[0-9][0-9]$")
  message(FATAL_ERROR "${CHANGELOG}: \"${newest}\" is not of the form \"## [x.y.z] - YYYY-MM-DD\"")
endif()
if(NOT CMAKE_MATCH_1 STREQUAL VERSION)
  message(FATAL_ERROR "${CHANGELOG}'s newest release is ${CMAKE_MATCH_1}, but project() says "
                      "${VERSION}: add a \"## [${VERSION}]\" section or fix the version")
endif()
