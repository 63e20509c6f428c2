# Fails unless README's options row for `velmora --version` shows what that
# prints, "velmora VERSION" with VERSION project()'s version, so the row never
# lags behind a release. Run as
#   cmake -DREADME=<README.md> -DVERSION=<x.y.z> -P check-readme-version.cmake
file(STRINGS "${README}" rows REGEX "^\\| `velmora --version` \\|")
if(NOT rows)
  message(FATAL_ERROR "${README} has no options row starting \"| `velmora --version` |\"")
endif()
string(FIND "${rows}" "`velmora ${VERSION}`" at)
if(at EQUAL -1)
  message(FATAL_ERROR "${README}: the `velmora --version` row does not say it prints "
                      "`velmora ${VERSION}`, project()'s version: ${rows}")
endif()
