# CPack: the Debian package (the installed tree under /usr) and the zip for
# Windows users (the two programs, README and licence, flat). `cpack` in the
# build directory makes both in dist/ (scripts/package.sh).
set(CPACK_PACKAGE_NAME velkin)
set(CPACK_PACKAGE_VENDOR "The Velkin developers")
set(CPACK_PACKAGE_CONTACT "The Velkin developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Wraps a Windows Installer package into one self-contained setup executable")
set(CPACK_PACKAGE_DESCRIPTION [[
velkin-pack wraps a Windows Installer package (.msi) into one Windows x86-64
setup executable that installs the package with msiexec and removes it again.
It runs natively, with no Wine; it reads packages with libmsi. A CMake package
config offers velkin_add_setup().]])
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/dist)
if(CMAKE_HOST_WIN32)
  set(CPACK_GENERATOR ZIP)
else()
  set(CPACK_GENERATOR DEB ZIP)
endif()
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/VelkinArchiveGenerators.cmake)

# Each generator packs the components that VelkinArchiveGenerators.cmake
# picks for it, as one file.
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)

# The libraries velkin-pack links, as dpkg-shlibdeps finds them (libmsi0 and
# what it needs).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)

if(NOT CMAKE_HOST_WIN32)
  execute_process(COMMAND dpkg --print-architecture OUTPUT_VARIABLE debian_architecture
    OUTPUT_STRIP_TRAILING_WHITESPACE)
  set(VELKIN_DEBIAN_PACKAGE ${CPACK_PACKAGE_DIRECTORY}/velkin_${PROJECT_VERSION}_${debian_architecture}.deb)
endif()
set(VELKIN_WINDOWS_ZIP ${CPACK_PACKAGE_DIRECTORY}/velkin-${PROJECT_VERSION}-win64.zip)

include(CPack)
