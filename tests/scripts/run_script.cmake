# tests/scripts/run_script.cmake: runs one golden script and compares its output.
# Called as cmake -DMTRX=<exe> -DNAME=<script name> -DDIR=<scripts folder>
# [-DEXPECTED=<golden file>] -P run_script.cmake.
# The script runs from DIR as `mtrx NAME.mtrx`, with MTRXPATH=functions; its standard output and error,
# merged, must equal NAME.out (or EXPECTED) byte for byte, and its exit status must equal
# the N of a first line "% exit: N" (0 without one). A script whose name
# starts with "stdin_" is given on standard input instead, so its errors
# carry no FILE:LINE; one whose name starts with "interactive_" is typed into
# `mtrx -i` the same way. Beside NAME.mtrx, a file NAME.in is the standard
# input of the script, the lines that input() reads.
file(STRINGS ${DIR}/${NAME}.mtrx first_line LIMIT_COUNT 1)
set(expected_status 0)
if(first_line MATCHES "^% exit: ([0-9]+)")
  set(expected_status ${CMAKE_MATCH_1})
endif()
set(args ${NAME}.mtrx)
set(input)
if(NAME MATCHES "^stdin_")
  set(args)
  set(input INPUT_FILE ${DIR}/${NAME}.mtrx)
elseif(NAME MATCHES "^interactive_")
  set(args -i)
  set(input INPUT_FILE ${DIR}/${NAME}.mtrx)
elseif(EXISTS ${DIR}/${NAME}.in)
  set(input INPUT_FILE ${DIR}/${NAME}.in)
endif()
# Function files of the scripts live in functions/, found through MTRXPATH.
set(ENV{MTRXPATH} functions)
execute_process(COMMAND ${MTRX} ${args} ${input}
  WORKING_DIRECTORY ${DIR}
  OUTPUT_VARIABLE output ERROR_VARIABLE output
  RESULT_VARIABLE status)
if(NOT DEFINED EXPECTED)
  set(EXPECTED ${DIR}/${NAME}.out)
endif()
file(READ ${EXPECTED} expected)
if(NOT output STREQUAL expected)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${NAME}.actual "${output}")
  message(FATAL_ERROR "${NAME}: output differs from ${NAME}.out; got:\n${output}")
endif()
if(NOT status STREQUAL expected_status)
  message(FATAL_ERROR "${NAME}: exit status ${status}, expected ${expected_status}")
endif()
