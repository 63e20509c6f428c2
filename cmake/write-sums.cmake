# Rewrites SHA256SUMS in OUTPUT_DIR: one line per release file of this
# version there (SUMS_PREFIX is velmora-x.y.z), in the form that
# `sha256sum -c SHA256SUMS` reads: the hash, two blanks, the file name.
# Included by the scripts that put a package there, each of which may run
# alone, so each rewrites the whole list.
file(GLOB packages LIST_DIRECTORIES false RELATIVE "${OUTPUT_DIR}"
     "${OUTPUT_DIR}/${SUMS_PREFIX}-*.zip" "${OUTPUT_DIR}/${SUMS_PREFIX}-*.tar.gz"
     "${OUTPUT_DIR}/${SUMS_PREFIX}.html")
list(SORT packages)
set(sums "")
foreach(package IN LISTS packages)
  file(SHA256 "${OUTPUT_DIR}/${package}" hash)
  string(APPEND sums "${hash}  ${package}\n")
endforeach()
file(WRITE "${OUTPUT_DIR}/SHA256SUMS" "${sums}")
