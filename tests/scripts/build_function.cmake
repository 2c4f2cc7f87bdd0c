# tests/scripts/build_function.cmake: the worked example of `mtrx build
# --function`: examples/function_library/gram_schmidt.mtrx and stash.mtrx
# (varargin, varargout, fewer inputs, a workspace file written and read)
# compiled into C++ libraries, the C++ caller built against their CMake
# packages, and the caller's output compared with what the interpreter
# prints for the same calls (check.mtrx), digit for digit; then --emit-cpp
# and the refusals.
# Called as cmake -DMTRX=<mtrx> -DEXAMPLE=<examples/function_library>
# -DWORK=<scratch folder> -DCXX=<compiler> -P build_function.cmake.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err
    WORKING_DIRECTORY ${EXAMPLE})
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${MTRX} build --function gram_schmidt.mtrx -o ${WORK}/gram_schmidt)
run(${MTRX} build --function stash.mtrx -o ${WORK}/stash)
run(${CMAKE_COMMAND} -S ${EXAMPLE} -B ${WORK}/caller -DCMAKE_CXX_COMPILER=${CXX}
    -DCMAKE_BUILD_TYPE=Release -DGRAM_SCHMIDT_DIR=${WORK}/gram_schmidt -DSTASH_DIR=${WORK}/stash)
run(${CMAKE_COMMAND} --build ${WORK}/caller)
run(${WORK}/caller/caller)
set(compiled "${last_output}")
run(${MTRX} check.mtrx)
if(NOT compiled STREQUAL last_output OR NOT compiled MATCHES "error: gram_schmidt: column 2")
  message(FATAL_ERROR "the C++ caller printed\n${compiled}\nthe interpreter\n${last_output}")
endif()

run(${MTRX} build --function gram_schmidt.mtrx --emit-cpp ${WORK}/emitted)
file(READ ${WORK}/emitted/gram_schmidt.cpp cpp)
file(READ ${WORK}/emitted/CMakeLists.txt lists)
if(NOT cpp MATCHES "// gram_schmidt.mtrx:8: R\\(k, k\\) = norm" OR
   NOT lists MATCHES "add_library\\(gram_schmidt STATIC gram_schmidt.cpp\\)" OR
   NOT EXISTS ${WORK}/emitted/gram_schmidt.h)
  message(FATAL_ERROR "--emit-cpp --function wrote no library with its source lines")
endif()

# Refused with the place: a script, and a name C++ cannot have.
file(WRITE ${WORK}/script.mtrx "x = 1;\n")
file(WRITE ${WORK}/friend.mtrx "function y = friend(x)\ny = x;\nend\n")
foreach(case "script.mtrx:1: --function needs a function file"
             "friend.mtrx:1: --function: 'friend' cannot name the C\\+\\+ function")
  string(REGEX MATCH "^[a-z]+.mtrx" file "${case}")
  execute_process(COMMAND ${MTRX} build --function ${file} -o ${WORK}/refused
    WORKING_DIRECTORY ${WORK} RESULT_VARIABLE status ERROR_VARIABLE err)
  string(REGEX REPLACE "^([a-z]+.mtrx:1): (.*)$" "\\2" text "${case}")
  if(status EQUAL 0 OR NOT err MATCHES "^mtrx build: ${text}")
    message(FATAL_ERROR "${file}: expected a refusal '${text}', got (${status}) ${err}")
  endif()
endforeach()
