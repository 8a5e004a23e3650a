# Install tree: headers, the shared library, the CMake package and pkg-config.
include(CMakePackageConfigHelpers)

install(TARGETS kivrel EXPORT KivrelTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/kivrel DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
  FILES_MATCHING PATTERN "*.h")
install(FILES ${PROJECT_BINARY_DIR}/include/kivrel/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/kivrel)

set(KIVREL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/Kivrel)
install(EXPORT KivrelTargets NAMESPACE Kivrel:: DESTINATION ${KIVREL_CMAKE_DIR})
configure_package_config_file(cmake/KivrelConfig.cmake.in
  ${PROJECT_BINARY_DIR}/KivrelConfig.cmake INSTALL_DESTINATION ${KIVREL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/KivrelConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/KivrelConfig.cmake
  ${PROJECT_BINARY_DIR}/KivrelConfigVersion.cmake DESTINATION ${KIVREL_CMAKE_DIR})

# The .pc file finds its prefix from its own place, so the install tree can
# be moved (or installed with --prefix) without a stale prefix.
file(RELATIVE_PATH KIVREL_PC_TO_PREFIX "/root/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/root")
configure_file(cmake/kivrel.pc.in ${PROJECT_BINARY_DIR}/kivrel.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kivrel.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
