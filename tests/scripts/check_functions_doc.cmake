# tests/scripts/check_functions_doc.cmake: fails when DOC differs from what
# `MTRX --functions` prints now.
execute_process(COMMAND ${MTRX} --functions OUTPUT_VARIABLE actual RESULT_VARIABLE status)
file(READ ${DOC} expected)
if(NOT status EQUAL 0 OR NOT actual STREQUAL expected)
  message(FATAL_ERROR "${DOC} is out of date: run tools/functions-doc.sh")
endif()
