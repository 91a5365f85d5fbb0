# `cmake --install` gives a relocatable tree (layout in the top-level
# CMakeLists.txt) whose package config offers the imported targets and
# velkin_add_setup(). Component `velkin`; the Windows zip's flat layout is the
# component `windows-zip`, left out of a plain install.

# A Linux user who installs without a prefix expects /usr/local, not the
# "C:/Program Files" that CMake picks for a Windows target.
if(CMAKE_INSTALL_PREFIX_INITIALIZED_TO_DEFAULT AND NOT CMAKE_HOST_WIN32)
  set(CMAKE_INSTALL_PREFIX /usr/local CACHE PATH "Install prefix" FORCE)
endif()

if(WIN32)
  # velkin-pack.exe looks for the stub beside itself.
  install(TARGETS velkin-pack velkin-setup EXPORT VelkinTargets
    RUNTIME DESTINATION ${VELKIN_INSTALL_PROGRAMS_DIR} COMPONENT velkin)
  set(windows_programs $<TARGET_FILE:velkin-pack> $<TARGET_FILE:velkin-setup>)
else()
  # velkin-pack on the path, the stub where it looks (VELKIN_STUB_DIRECTORY).
  install(TARGETS velkin-pack EXPORT VelkinTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT velkin)
  install(PROGRAMS ${VELKIN_STUB} DESTINATION ${VELKIN_INSTALL_PROGRAMS_DIR} COMPONENT velkin)
  set(windows_programs ${VELKIN_WINDOWS_PACK} ${VELKIN_STUB})
endif()
install(FILES README.md LICENSE DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT velkin)

install(EXPORT VelkinTargets NAMESPACE Velkin:: DESTINATION ${VELKIN_INSTALL_CONFIG_DIR}
  COMPONENT velkin)
include(CMakePackageConfigHelpers)
configure_package_config_file(cmake/VelkinConfig.cmake.in
  ${PROJECT_BINARY_DIR}/VelkinConfig.cmake
  INSTALL_DESTINATION ${VELKIN_INSTALL_CONFIG_DIR}
  PATH_VARS VELKIN_INSTALL_PROGRAMS_DIR)
# Velkin links nothing into the project that finds it: any host will do.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/VelkinConfigVersion.cmake
  COMPATIBILITY SameMajorVersion ARCH_INDEPENDENT)
install(FILES
    ${PROJECT_BINARY_DIR}/VelkinConfig.cmake
    ${PROJECT_BINARY_DIR}/VelkinConfigVersion.cmake
    cmake/VelkinSetup.cmake
  DESTINATION ${VELKIN_INSTALL_CONFIG_DIR} COMPONENT velkin)

install(PROGRAMS ${windows_programs} DESTINATION . COMPONENT windows-zip EXCLUDE_FROM_ALL)
install(FILES README.md LICENSE DESTINATION . COMPONENT windows-zip EXCLUDE_FROM_ALL)
