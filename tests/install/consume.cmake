# tests/install/consume.cmake: install into a scratch prefix, then build and run
# a consumer through find_package and through pkg-config.
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed: ${ARGN}\n${out}\n${err}")
  endif()
  set(last_output "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})

run(${CMAKE_COMMAND} -S ${CONSUMER_DIR} -B ${WORK_DIR}/build
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Release)
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build)
run(${WORK_DIR}/build/consumer)
if(NOT last_output MATCHES "consumer ok")
  message(FATAL_ERROR "unexpected consumer output: ${last_output}")
endif()

find_program(PKG_CONFIG pkg-config)
if(PKG_CONFIG)
  set(ENV{PKG_CONFIG_PATH} ${prefix}/lib/pkgconfig:${prefix}/lib64/pkgconfig)
  run(${PKG_CONFIG} --cflags --libs rul2mtrx)
  string(STRIP "${last_output}" flags)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  # Linked as distributions link by default (--as-needed) and found through
  # the program's own run path only: rul2mtrx must then find kiv0lang and
  # kiv1math through its own.
  file(GLOB libdir LIST_DIRECTORIES true ${prefix}/lib ${prefix}/lib64)
  list(GET libdir 0 libdir)
  run(${CXX} ${CONSUMER_DIR}/consumer.cpp ${flags} -Wl,--as-needed -Wl,-rpath,${libdir}
      -o ${WORK_DIR}/consumer-pc)
  run(${CMAKE_COMMAND} -E env --unset=LD_LIBRARY_PATH ${WORK_DIR}/consumer-pc)
  if(NOT last_output MATCHES "consumer ok")
    message(FATAL_ERROR "unexpected pkg-config consumer output: ${last_output}")
  endif()
endif()
