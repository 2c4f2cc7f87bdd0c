# cmake/MatrixCompileOptions.cmake: warning, floating-point and sanitizer flags.
#
# Every target of the project calls matrix_set_compile_options(). Results are
# reproducible bit for bit only if the compiler never fuses a multiply and an
# add, so contraction is switched off and fast-math is never enabled.

add_library(matrix_compile_options INTERFACE)

target_compile_options(matrix_compile_options INTERFACE
  -ffp-contract=off
  -fno-fast-math
  -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wcast-align -Wpedantic)

if(MATRIX_WARNINGS_AS_ERRORS)
  target_compile_options(matrix_compile_options INTERFACE -Werror)
endif()

if(MATRIX_NATIVE_ARCH)
  target_compile_options(matrix_compile_options INTERFACE -march=native)
endif()

if(MATRIX_SANITIZE)
  set(_matrix_sanitize_flags
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_options(matrix_compile_options INTERFACE ${_matrix_sanitize_flags})
  target_link_options(matrix_compile_options INTERFACE ${_matrix_sanitize_flags})
endif()

if(MATRIX_TSAN)
  if(MATRIX_SANITIZE)
    message(FATAL_ERROR "MATRIX_TSAN and MATRIX_SANITIZE cannot be combined")
  endif()
  set(_matrix_tsan_flags -fsanitize=thread -fno-omit-frame-pointer)
  target_compile_options(matrix_compile_options INTERFACE ${_matrix_tsan_flags})
  target_link_options(matrix_compile_options INTERFACE ${_matrix_tsan_flags})
endif()

# The fuzz build instruments every target for the fuzzer's coverage and runs
# it under both sanitizers; only the fuzz target links the fuzzer itself.
if(MATRIX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    message(FATAL_ERROR "MATRIX_FUZZ needs clang (libFuzzer): configure with CXX=clang++")
  endif()
  target_compile_options(matrix_compile_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined
    -fno-omit-frame-pointer -g)
  target_link_options(matrix_compile_options INTERFACE -fsanitize=address,undefined)
endif()

function(matrix_set_compile_options target)
  target_link_libraries(${target} PRIVATE $<BUILD_INTERFACE:matrix_compile_options>)
endfunction()
