# Runs the tool on a scratch copy of the example, so the repository's files never change.
# Expects VELMORA, SHOW_SLOTS, MAKE_PROGS, EXAMPLE_DIR and WORK_DIR.
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
file(COPY "${EXAMPLE_DIR}/cmaps.cfg" DESTINATION "${WORK_DIR}")
execute_process(COMMAND "${MAKE_PROGS}" progs.dat WORKING_DIRECTORY "${WORK_DIR}"
                COMMAND_ERROR_IS_FATAL ANY)

message("== Slots before, in ${WORK_DIR}/progs.dat")
execute_process(COMMAND "${SHOW_SLOTS}" WORKING_DIRECTORY "${WORK_DIR}" COMMAND_ERROR_IS_FATAL ANY)
message("== Running velmora")
execute_process(COMMAND "${VELMORA}" WORKING_DIRECTORY "${WORK_DIR}" COMMAND_ERROR_IS_FATAL ANY)
message("== Slots after")
execute_process(COMMAND "${SHOW_SLOTS}" WORKING_DIRECTORY "${WORK_DIR}" COMMAND_ERROR_IS_FATAL ANY)
