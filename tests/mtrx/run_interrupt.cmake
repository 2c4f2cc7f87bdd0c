# tests/mtrx/run_interrupt.cmake: Ctrl-C ends a script. Runs `mtrx SCRIPT`
# under `timeout`, which sends SIGINT after a delay (and SIGKILL five
# seconds later should mtrx not stop); the run must end with status 130,
# the output shown before the interrupt and the message on standard error
# (timeout reports a death by SIGINT as 130 too: the message is what shows
# that mtrx stopped the program itself).
# On a loaded machine the signal can arrive before mtrx has started, or
# before it has run the first statement, which ends it with nothing shown;
# only then the run is repeated with a longer delay.
# Called as cmake -DMTRX=<exe> -DTIMEOUT=<timeout command> -DSCRIPT=<file>
# -P run_interrupt.cmake.
foreach(delay 1 3 8)
  execute_process(COMMAND ${TIMEOUT} --preserve-status -s INT -k 5 ${delay} ${MTRX} ${SCRIPT}
    OUTPUT_VARIABLE output ERROR_VARIABLE errors
    RESULT_VARIABLE status)
  if(NOT (status STREQUAL "130" AND output STREQUAL ""))
    break()
  endif()
endforeach()
if(NOT status STREQUAL "130")
  message(FATAL_ERROR "interrupted script ended with status ${status}, expected 130")
endif()
if(NOT output STREQUAL "x =\n\n     1\n\n")
  message(FATAL_ERROR "interrupted script showed:\n${output}")
endif()
if(NOT errors STREQUAL "Operation terminated by user\n")
  message(FATAL_ERROR "interrupted script reported:\n${errors}")
endif()
