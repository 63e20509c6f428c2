# The same commit must build to the same bytes in any folder and at any time,
# so that anyone can rebuild a release and compare it with SHA256SUMS. Two
# things would differ: the source and build folders, which the compiler
# writes into debug information and __FILE__, and the link time, which ld
# writes into every PE image. The packages' timestamps come from the commit
# (cmake/make-package.cmake). Included before any target is defined.

if(NOT VELMORA_COVERAGE)
  # gcov finds the sources by the paths compiled in, so coverage builds keep
  # them. When folders nest (build/ inside the source), the last map given wins.
  add_compile_options("$<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.>"
                      "$<$<COMPILE_LANGUAGE:CXX>:-ffile-prefix-map=${PROJECT_BINARY_DIR}=build>")
endif()

if(MINGW)
  add_link_options(-Wl,--no-insert-timestamp)
endif()
