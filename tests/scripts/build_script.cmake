# tests/scripts/build_script.cmake: compiles one golden script with `mtrx
# build` and runs the program as run_script.cmake runs the script: its
# output and exit status must be the golden ones.
# Called as cmake -DMTRX=<mtrx> -DNAME=<script> -DDIR=<scripts folder>
# -DOUT=<program to write> [-DEMIT=<folder>] -P build_script.cmake. With
# EMIT, the C++ and CMakeLists.txt that --emit-cpp writes are checked too.
set(ENV{MTRXPATH} functions)
execute_process(COMMAND ${MTRX} build ${NAME}.mtrx -o ${OUT}
  WORKING_DIRECTORY ${DIR} RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NAME}: mtrx build failed (${status}):\n${errors}")
endif()
if(DEFINED EMIT)
  file(MAKE_DIRECTORY ${EMIT})
  execute_process(COMMAND ${MTRX} build ${NAME}.mtrx --emit-cpp ${EMIT}
    WORKING_DIRECTORY ${DIR} RESULT_VARIABLE status)
  file(READ ${EMIT}/${NAME}.cpp cpp)
  file(READ ${EMIT}/CMakeLists.txt lists)
  if(NOT status EQUAL 0 OR NOT cpp MATCHES "// ${NAME}.mtrx:3: " OR
     NOT lists MATCHES "add_executable\\(${NAME} ${NAME}.cpp\\)")
    message(FATAL_ERROR "${NAME}: --emit-cpp wrote no program with its source lines")
  endif()
endif()
set(MTRX ${OUT})
include(${CMAKE_CURRENT_LIST_DIR}/run_script.cmake)
