# tests/install/consume.cmake: install into a scratch prefix, then build and run
# a consumer through find_package and through pkg-config (with the compiler's
# own standard and with C++20, which the package must not lower); then the
# same with the static libraries, built from SOURCE_DIR. Each time the
# installed mtrx compiles a function into a library that a program calls.
# Everything but the static libraries' build folder, which a rerun reuses.
file(GLOB old_work LIST_DIRECTORIES true ${WORK_DIR}/*)
list(FILTER old_work EXCLUDE REGEX "/static-build$")
if(old_work)
  file(REMOVE_RECURSE ${old_work})
endif()
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

# Runs the program and expects its report.
function(expect_ok program)
  run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${program})
  if(NOT last_output MATCHES "consumer ok")
    message(FATAL_ERROR "unexpected output of ${program}: ${last_output}")
  endif()
endfunction()

# Builds and runs the consumer against the package installed in `prefix`:
# through find_package, and through pkg-config twice, once with C++20 (the
# consumer checks that it really compiles as C++20). `static` links the
# static libraries (pkg-config --static).
function(consume prefix tag static)
  run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build-${tag}
      -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release)
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/build-${tag})
  expect_ok(${WORK_DIR}/build-${tag}/consumer)

  find_program(PKG_CONFIG pkg-config)
  if(NOT PKG_CONFIG)
    return()
  endif()
  set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig:${prefix}/lib64/pkgconfig)
  if(static)
    run(${PKG_CONFIG} --static --cflags --libs rul2mtrx)
  else()
    run(${PKG_CONFIG} --cflags --libs rul2mtrx)
  endif()
  string(STRIP "${last_output}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  # Linked as distributions link by default (--as-needed) and found through
  # the program's own run path only: a shared rul2mtrx must then find
  # kiv0lang and kiv1math through its own.
  file(GLOB libdir LIST_DIRECTORIES true ${prefix}/lib ${prefix}/lib64)
  list(GET libdir 0 libdir)
  run(${CXX} ${CONSUMER_DIR}/consumer.cpp ${flags} -Wl,--as-needed -Wl,-rpath,${libdir}
      -o ${WORK_DIR}/consumer-pc-${tag})
  expect_ok(${WORK_DIR}/consumer-pc-${tag})
  run(${CXX} -std=c++20 -DCONSUMER_CXX20 ${CONSUMER_DIR}/consumer.cpp ${flags}
      -Wl,--as-needed -Wl,-rpath,${libdir} -o ${WORK_DIR}/consumer-pc20-${tag})
  expect_ok(${WORK_DIR}/consumer-pc20-${tag})
endfunction()

# The installed mtrx compiles a function file into a C++ library against
# the installed tree, and a program uses it through its CMake package; it
# compiles a script into a program too.
function(consume_function prefix tag)
  set(library ${WORK_DIR}/scaled-${tag})
  run(${prefix}/bin/mtrx build --function ${FUNCTION_DIR}/scaled.mtrx -o ${library})
  run(${prefix}/bin/mtrx build --function ${FUNCTION_DIR}/stored.mtrx -o ${WORK_DIR}/stored-${tag})
  run(${CMAKE_COMMAND} -S ${FUNCTION_DIR} -B ${WORK_DIR}/build-function-${tag}
      -DSCALED_DIR=${library} -DSTORED_DIR=${WORK_DIR}/stored-${tag}
      -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release)
  run(${CMAKE_COMMAND} --build ${WORK_DIR}/build-function-${tag})
  expect_ok(${WORK_DIR}/build-function-${tag}/caller)
  # And a program, through the function file it calls.
  file(WRITE ${WORK_DIR}/program-${tag}.mtrx "y = scaled([1 2], 3);\nfprintf('consumer ok %g\\n', y(2));\n")
  run(${prefix}/bin/mtrx build ${WORK_DIR}/program-${tag}.mtrx -o ${WORK_DIR}/program-${tag})
  set(ENV{MTRXPATH} ${FUNCTION_DIR})
  expect_ok(${WORK_DIR}/program-${tag})
  unset(ENV{MTRXPATH})
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
consume(${prefix} shared FALSE)
consume_function(${prefix} shared)

# The static libraries: the library and the command alone, no tests.
set(static_build ${WORK_DIR}/static-build)
set(static_prefix ${WORK_DIR}/static-prefix)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${static_build} -DBUILD_SHARED_LIBS=OFF
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release -DMATRIX_BUILD_TESTS=OFF
    -DMATRIX_BUILD_EXAMPLES=OFF -DMATRIX_INSTALL=ON -DMATRIX_WARNINGS_AS_ERRORS=ON)
run(${CMAKE_COMMAND} --build ${static_build} --parallel ${JOBS})
run(${CMAKE_COMMAND} --install ${static_build} --prefix ${static_prefix})
file(GLOB shared_objects ${static_prefix}/lib*/*.so*)
if(shared_objects)
  message(FATAL_ERROR "the static build installed shared libraries: ${shared_objects}")
endif()
consume(${static_prefix} static TRUE)
consume_function(${static_prefix} static)
