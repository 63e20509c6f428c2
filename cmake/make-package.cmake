# Makes one release package that comes out byte for byte the same from the
# same commit, whatever the folder, the time, the user, the umask or the time
# zone; then rewrites SHA256SUMS beside it. The release_package target
# (cmake/packaging.cmake) runs it as
#   cmake -DSOURCE_DIR=<tree> -DBUILD_DIR=<build> -DNAME=<velmora-x.y.z-system>
#         -DFORMAT=<zip|tar.gz> -DTOOL=<file name> -DOUTPUT_DIR=<dir>
#         -DSUMS_PREFIX=<velmora-x.y.z> -DARCHIVER=<zip or GNU tar> [-DGZIP=<gzip>]
#         -P make-package.cmake

# The members' time is the commit's: SOURCE_DATE_EPOCH when the caller sets
# it, else the time of the commit checked out, else (a tree without git, such
# as an unpacked source archive) a fixed day: the first release's.
set(epoch "")
if("$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  set(epoch "$ENV{SOURCE_DATE_EPOCH}")
  set(epoch_from "SOURCE_DATE_EPOCH")
else()
  # Only the tree's own repository counts, not one it happens to sit in.
  execute_process(COMMAND git -C "${SOURCE_DIR}" rev-parse --show-toplevel
                  OUTPUT_VARIABLE top OUTPUT_STRIP_TRAILING_WHITESPACE
                  RESULT_VARIABLE no_git ERROR_QUIET)
  if(NOT no_git AND top STREQUAL SOURCE_DIR)
    execute_process(COMMAND git -C "${SOURCE_DIR}" log -1 --format=%ct
                    OUTPUT_VARIABLE epoch OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    set(epoch_from "the commit")
  endif()
endif()
if(NOT epoch MATCHES "^[0-9]+$")
  set(epoch 1796688000) # 2026-12-08 00:00:00 UTC
  set(epoch_from "no git history: a fixed day")
endif()

foreach(tool IN ITEMS ARCHIVER GZIP)
  if(DEFINED ${tool} AND NOT ${tool})
    message(FATAL_ERROR "${FORMAT} packages need ${tool}, not found at configure time "
                        "(Debian: apt-get install zip tar gzip); configure again once installed")
  endif()
endforeach()

# The members as install() lays them out, from a clean stage.
set(stage "${BUILD_DIR}/package-stage")
file(REMOVE_RECURSE "${stage}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${stage}/${NAME}"
                OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
file(GLOB members LIST_DIRECTORIES false RELATIVE "${stage}" "${stage}/${NAME}/*")
# Byte order, so no locale or directory listing order reaches the archive.
list(SORT members)

# Modes and times set outright, never taken from the umask or the clock.
foreach(member IN LISTS members)
  if(member STREQUAL "${NAME}/${TOOL}")
    set(mode OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  else()
    set(mode OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endif()
  file(CHMOD "${stage}/${member}" FILE_PERMISSIONS ${mode})
endforeach()
file(CHMOD "${stage}/${NAME}" DIRECTORY_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE
           GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
list(TRANSFORM members PREPEND "${stage}/" OUTPUT_VARIABLE member_paths)
execute_process(COMMAND touch -d "@${epoch}" "${stage}/${NAME}" ${member_paths}
                COMMAND_ERROR_IS_FATAL ANY)

set(archive "${stage}/${NAME}.${FORMAT}")
if(FORMAT STREQUAL "zip")
  # -X leaves out the extra fields with the Unix times and the owner's ids,
  # -D the directory entry; a member's DOS time is local time, so UTC.
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env TZ=UTC0
                          "${ARCHIVER}" -X -D -9 -q "${archive}" ${members}
                  WORKING_DIRECTORY "${stage}" COMMAND_ERROR_IS_FATAL ANY)
elseif(FORMAT STREQUAL "tar.gz")
  # Names in byte order, owner root by number only, modes and times fixed;
  # ustar stores no access or change times. gzip -n leaves out the name and
  # time that its header would hold.
  execute_process(COMMAND "${CMAKE_COMMAND}" -E env LC_ALL=C
                          "${ARCHIVER}" --sort=name --format=ustar "--mtime=@${epoch}"
                          --owner=0 --group=0 --numeric-owner "--mode=a+rX,u+w,go-w"
                          -cf - "${NAME}"
                  COMMAND "${CMAKE_COMMAND}" -E env --unset=GZIP "${GZIP}" -9 -n
                  OUTPUT_FILE "${archive}" WORKING_DIRECTORY "${stage}"
                  RESULTS_VARIABLE results)
  if(NOT results STREQUAL "0;0")
    message(FATAL_ERROR "tar | gzip failed (${results}); tar must be GNU tar 1.28 or later")
  endif()
else()
  message(FATAL_ERROR "FORMAT is '${FORMAT}'; use zip or tar.gz")
endif()

file(MAKE_DIRECTORY "${OUTPUT_DIR}")
file(COPY_FILE "${archive}" "${OUTPUT_DIR}/${NAME}.${FORMAT}")
file(REMOVE_RECURSE "${stage}")

include(${CMAKE_CURRENT_LIST_DIR}/write-sums.cmake)

file(SHA256 "${OUTPUT_DIR}/${NAME}.${FORMAT}" hash)
message(STATUS "Package ${OUTPUT_DIR}/${NAME}.${FORMAT}, SHA-256 ${hash}")
message(STATUS "Member times: ${epoch} (from ${epoch_from})")
