# Runs the tool on a scratch copy of the example, so the repository's files never change.
# Expects VELMORA, MAKE_PROGS, EXAMPLE_DIR and WORK_DIR.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(COPY "${EXAMPLE_DIR}/cmaps.cfg" DESTINATION "${WORK_DIR}")
execute_process(COMMAND "${MAKE_PROGS}" progs.dat WORKING_DIRECTORY "${WORK_DIR}"
                COMMAND_ERROR_IS_FATAL ANY)

function(velmora title)
  message("== ${title}")
  execute_process(COMMAND "${VELMORA}" ${ARGN} WORKING_DIRECTORY "${WORK_DIR}"
                  COMMAND_ERROR_IS_FATAL ANY)
endfunction()

message("In ${WORK_DIR}:")
velmora("velmora --list: the names progs.dat holds now" --list)
velmora("velmora --check: what a run would write, writing nothing" --check)
velmora("velmora: the run")
velmora("velmora --list: the names after the run" --list)
