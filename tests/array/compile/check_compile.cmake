# tests/array/compile/check_compile.cmake: compiles a snippet with one case
# defined and checks that the compiler refuses it for the expected reason.
#
#   cmake -DCOMPILER=<c++> -DINCLUDE=<dir> -DSOURCE=<file> [-DCASE=<name>]
#         [-DPATTERN=<regex>] [-DFLAGS=<flag;...>] -P check_compile.cmake
#
# Without CASE the snippet must compile: that run shows a refusal comes
# from the line under test, never from a broken snippet. With CASE it must
# fail, with a diagnostic matching PATTERN when given.
foreach(var COMPILER INCLUDE SOURCE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "check_compile.cmake: ${var} is not set")
  endif()
endforeach()

set(command ${COMPILER} -std=c++17 -fsyntax-only -Wall -Wextra -Werror ${FLAGS}
            -I${INCLUDE} ${SOURCE})
if(NOT CASE)
  execute_process(COMMAND ${command} RESULT_VARIABLE rc ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "the snippet does not compile without a case:\n${err}")
  endif()
  return()
endif()
execute_process(COMMAND ${command} -D${CASE} RESULT_VARIABLE rc ERROR_VARIABLE err)
if(rc EQUAL 0)
  message(FATAL_ERROR "${CASE}: compiled, but must be refused")
endif()
if(PATTERN AND NOT err MATCHES "${PATTERN}")
  message(FATAL_ERROR "${CASE}: refused for another reason than '${PATTERN}':\n${err}")
endif()
