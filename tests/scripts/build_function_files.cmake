# tests/scripts/build_function_files.cmake: a program compiled by `mtrx build`
# with a function file compiled in, changed after the build (the compiled
# copy runs), a function file that appears only after the build (read and
# interpreted when called), and a local function that runs a script file in
# its workspace. Its output must be the interpreter's with the files as
# they were at the build.
# Called as cmake -DMTRX=<mtrx> -DDIR=<scratch folder> -P build_function_files.cmake.
file(REMOVE_RECURSE ${DIR})
file(MAKE_DIRECTORY ${DIR})
file(WRITE ${DIR}/prog.mtrx "disp(helper(2))
try, disp(later(3)), catch e, disp(e.message), end
disp(inner(5))
function r = inner(x)
  bump
  r = [x, exist('x'), exist('y'), exist('z')];
  clear x
  r = [r, exist('x')];
end
")
file(WRITE ${DIR}/bump.mtrx "x = x + 1; y = helper(x);\n")
set(helper "function y = helper(x)\n  y = x + 1;\nend\n")
file(WRITE ${DIR}/helper.mtrx "${helper}")
execute_process(COMMAND ${MTRX} build prog.mtrx -o prog WORKING_DIRECTORY ${DIR}
  RESULT_VARIABLE status ERROR_VARIABLE errors)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "mtrx build failed (${status}):\n${errors}")
endif()
file(WRITE ${DIR}/helper.mtrx "function y = helper(x)\n  y = x + 100;\nend\n")
file(WRITE ${DIR}/later.mtrx "function y = later(x)\n  y = 10 * x;\nend\n")
execute_process(COMMAND ${DIR}/prog WORKING_DIRECTORY ${DIR}
  OUTPUT_VARIABLE built ERROR_VARIABLE built RESULT_VARIABLE built_status)
file(WRITE ${DIR}/helper.mtrx "${helper}")
execute_process(COMMAND ${MTRX} prog.mtrx WORKING_DIRECTORY ${DIR}
  OUTPUT_VARIABLE interpreted ERROR_VARIABLE interpreted RESULT_VARIABLE status)
if(NOT built STREQUAL interpreted OR NOT built_status EQUAL status)
  message(FATAL_ERROR "compiled (${built_status}):\n${built}\ninterpreted (${status}):\n${interpreted}")
endif()
