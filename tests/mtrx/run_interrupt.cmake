# tests/mtrx/run_interrupt.cmake: Ctrl-C ends a script. Runs `mtrx SCRIPT`
# under `timeout`, which sends SIGINT after a second (and SIGKILL five
# seconds later should mtrx not stop); the run must end with status 130,
# the output shown before the interrupt and the message on standard error
# (timeout reports a death by SIGINT as 130 too: the message is what shows
# that mtrx stopped the program itself).
# Called as cmake -DMTRX=<exe> -DTIMEOUT=<timeout command> -DSCRIPT=<file>
# -P run_interrupt.cmake.
execute_process(COMMAND ${TIMEOUT} --preserve-status -s INT -k 5 1 ${MTRX} ${SCRIPT}
  OUTPUT_VARIABLE output ERROR_VARIABLE errors
  RESULT_VARIABLE status)
if(NOT status STREQUAL "130")
  message(FATAL_ERROR "interrupted script ended with status ${status}, expected 130")
endif()
if(NOT output STREQUAL "x = 1\n\n")
  message(FATAL_ERROR "interrupted script showed:\n${output}")
endif()
if(NOT errors STREQUAL "Operation terminated by user\n")
  message(FATAL_ERROR "interrupted script reported:\n${errors}")
endif()
