# The Windows programs of a Linux host build: this source tree configured
# again, in ${CMAKE_BINARY_DIR}/windows, for Windows x86-64 with MinGW-w64,
# and built whenever this tree is. It packs its setups with the velkin-pack
# built here, and its tests run with this tree's (ctest in
# ${CMAKE_BINARY_DIR} runs both). The stub is copied beside velkin-pack, where
# velkin-pack looks for it in a build tree.
include(ExternalProject)

set(VELKIN_WINDOWS_BUILD_DIR ${CMAKE_BINARY_DIR}/windows)
ExternalProject_Add(velkin-windows-programs
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${VELKIN_WINDOWS_BUILD_DIR}
  CMAKE_ARGS
    -DCMAKE_TOOLCHAIN_FILE=${PROJECT_SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DBUILD_TESTING=${BUILD_TESTING}
    -DVELKIN_PART_OF_HOST_BUILD=ON
    -DVELKIN_PACK_COMMAND=$<TARGET_FILE:velkin-pack>
    -DVELKIN_WINEPREFIX=${VELKIN_WINEPREFIX}
  # Its own build tool decides what is out of date.
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  DEPENDS velkin-pack
  USES_TERMINAL_CONFIGURE ON
  USES_TERMINAL_BUILD ON)

set(VELKIN_STUB ${VELKIN_WINDOWS_BUILD_DIR}/bin/velkin-setup.exe)
set(VELKIN_WINDOWS_PACK ${VELKIN_WINDOWS_BUILD_DIR}/bin/velkin-pack.exe)
set(VELKIN_WINDOWS_PACKAGES_DIR ${VELKIN_WINDOWS_BUILD_DIR}/packages)
ExternalProject_Add_Step(velkin-windows-programs stub-beside-velkin-pack
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VELKIN_STUB} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
  DEPENDEES build
  ALWAYS ON)

# Its tests are this tree's too.
set(windows_tests ${CMAKE_BINARY_DIR}/WindowsTests.cmake)
file(WRITE ${windows_tests} "subdirs(\"${VELKIN_WINDOWS_BUILD_DIR}\")\n")
set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${windows_tests})

# The main job's programs and no more (`--target velkin-programs`): the stub,
# copied beside velkin-pack for Linux, which it depends on, and the demo
# package, which the Windows tree makes when it configures; not the test
# programs or the sanitizer build, which `all` adds.
ExternalProject_Add_StepTargets(velkin-windows-programs configure)
add_custom_target(velkin-programs
  COMMAND ${CMAKE_COMMAND} --build ${VELKIN_WINDOWS_BUILD_DIR} --target velkin-setup
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VELKIN_STUB} ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
  USES_TERMINAL)
add_dependencies(velkin-programs velkin-pack velkin-windows-programs-configure)
