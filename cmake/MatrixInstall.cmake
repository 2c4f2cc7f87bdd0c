# cmake/MatrixInstall.cmake: install rules, CMake package and pkg-config file.
# The pkg-config file finds its prefix from its own location, so an installed
# tree can be moved.
include(CMakePackageConfigHelpers)

set(MATRIX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/rul2mtrx)

install(TARGETS kiv0lang kiv1math rul2mtrx mtrx
  EXPORT rul2mtrxTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(DIRECTORY ${PROJECT_SOURCE_DIR}/include/kiv ${PROJECT_SOURCE_DIR}/include/matrix
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")

# mtrx build compiles against the installed tree: the interpreter's runtime
# as a static library beside the others, and its headers below
# include/mtrx, where the installed mtrx finds them from its own place.
install(FILES $<TARGET_FILE:mtrx_core> DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(DIRECTORY ${PROJECT_SOURCE_DIR}/src/mtrx/
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mtrx
  FILES_MATCHING PATTERN "*.h"
  PATTERN "build" EXCLUDE)
install(FILES ${PROJECT_SOURCE_DIR}/src/elementwise/scalar/element_scalars.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/mtrx)

install(EXPORT rul2mtrxTargets
  NAMESPACE rul2mtrx::
  DESTINATION ${MATRIX_CMAKE_DIR})

configure_package_config_file(
  ${PROJECT_SOURCE_DIR}/cmake/rul2mtrx-config.cmake.in
  ${PROJECT_BINARY_DIR}/rul2mtrx-config.cmake
  INSTALL_DESTINATION ${MATRIX_CMAKE_DIR})
write_basic_package_version_file(
  ${PROJECT_BINARY_DIR}/rul2mtrx-config-version.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/rul2mtrx-config.cmake
  ${PROJECT_BINARY_DIR}/rul2mtrx-config-version.cmake
  DESTINATION ${MATRIX_CMAKE_DIR})

file(RELATIVE_PATH MATRIX_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
configure_file(${PROJECT_SOURCE_DIR}/cmake/rul2mtrx.pc.in
  ${PROJECT_BINARY_DIR}/rul2mtrx.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/rul2mtrx.pc
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR})
