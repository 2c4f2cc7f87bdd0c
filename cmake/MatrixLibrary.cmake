# cmake/MatrixLibrary.cmake: the one way the project's shared libraries are set up.
#
# matrix_add_library(<name> DEFINE <macro> [SOURCES <file>...])
#
# Adds the library <name>, shared or static as BUILD_SHARED_LIBS says, with
# the alias rul2mtrx::<name>, the public headers on its include path, <macro>
# defined while it builds (so its export macro exports rather than imports),
# C++17 at least for it and its users, the project's version and soname, and
# the project's compile options.
#
# Installed, each library looks for the others beside itself ($ORIGIN): the
# loader resolves a library's own dependencies through that library's run
# path, so a program that finds rul2mtrx through its own run path still
# needs rul2mtrx to find kiv0lang and kiv1math.
include(CheckCXXCompilerFlag)
include(CheckLinkerFlag)
check_cxx_compiler_flag(-fno-semantic-interposition MATRIX_HAVE_NO_SEMANTIC_INTERPOSITION)
check_linker_flag(CXX -Wl,-Bsymbolic-functions MATRIX_HAVE_BSYMBOLIC_FUNCTIONS)

function(matrix_add_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "DEFINE" "SOURCES")
  add_library(${name} ${arg_SOURCES})
  add_library(rul2mtrx::${name} ALIAS ${name})
  target_include_directories(${name} PUBLIC
    $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
    $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
  target_compile_definitions(${name} PRIVATE ${arg_DEFINE})
  target_compile_features(${name} PUBLIC cxx_std_17)
  set_target_properties(${name} PROPERTIES
    VERSION ${PROJECT_VERSION}
    SOVERSION ${PROJECT_VERSION_MAJOR}
    INSTALL_RPATH "$ORIGIN")
  matrix_set_compile_options(${name})
  # Calls between a shared library's own exported functions go straight to
  # them (and within a file may be inlined) rather than through the PLT:
  # nobody is meant to interpose on them, and creating and releasing an
  # array is a chain of such calls. Only where the toolchain has the flags.
  if(BUILD_SHARED_LIBS)
    if(MATRIX_HAVE_NO_SEMANTIC_INTERPOSITION)
      target_compile_options(${name} PRIVATE -fno-semantic-interposition)
    endif()
    if(MATRIX_HAVE_BSYMBOLIC_FUNCTIONS)
      target_link_options(${name} PRIVATE -Wl,-Bsymbolic-functions)
    endif()
  endif()
endfunction()
