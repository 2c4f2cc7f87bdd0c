# tests/mtrx/run_prompt.cmake: types INPUT at the prompt of `mtrx -i` and
# compares what the session shows (standard output and error, merged) with
# EXPECTED byte for byte. Called as
# cmake -DMTRX=<exe> -DINPUT=<file> -DEXPECTED=<file> -P run_prompt.cmake.
execute_process(COMMAND ${MTRX} -i
  INPUT_FILE ${INPUT}
  OUTPUT_VARIABLE output ERROR_VARIABLE output
  RESULT_VARIABLE status)
file(READ ${EXPECTED} expected)
if(NOT output STREQUAL expected)
  message(FATAL_ERROR "the session differs from ${EXPECTED}; got:\n${output}")
endif()
if(NOT status STREQUAL "0")
  message(FATAL_ERROR "the session ended with status ${status}, expected 0")
endif()
