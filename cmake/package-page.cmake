# Puts the page into the release folder as velmora-<version>.html and
# rewrites SHA256SUMS. The release_page target (cmake/web.cmake) runs it as
#   cmake -DPAGE=<velmora.html> -DOUTPUT_DIR=<dir> -DSUMS_PREFIX=<velmora-x.y.z>
#         -P package-page.cmake
# The page is one file that builds to the same bytes from the same commit, so
# it ships as it is, with no archive around it.
file(MAKE_DIRECTORY "${OUTPUT_DIR}")
file(COPY_FILE "${PAGE}" "${OUTPUT_DIR}/${SUMS_PREFIX}.html")
include(${CMAKE_CURRENT_LIST_DIR}/write-sums.cmake)
file(SHA256 "${OUTPUT_DIR}/${SUMS_PREFIX}.html" hash)
message(STATUS "Page ${OUTPUT_DIR}/${SUMS_PREFIX}.html, SHA-256 ${hash}")
