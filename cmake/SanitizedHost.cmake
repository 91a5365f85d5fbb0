# The sanitizer build of a Linux host build: this source tree configured
# again, in ${CMAKE_BINARY_DIR}/sanitized, with AddressSanitizer and
# UndefinedBehaviorSanitizer, for velkin-pack for Linux and the packing
# layer's tests alone (they read the stub and the packages of the Windows
# build). Every finding ends the program that made it; test/host runs both
# programs from there.
include(ExternalProject)

set(VELKIN_SANITIZED_BUILD_DIR ${CMAKE_BINARY_DIR}/sanitized)
ExternalProject_Add(velkin-sanitized-programs
  SOURCE_DIR ${PROJECT_SOURCE_DIR}
  BINARY_DIR ${VELKIN_SANITIZED_BUILD_DIR}
  CMAKE_ARGS
    -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
    -DBUILD_TESTING=ON
    -DVELKIN_PART_OF_HOST_BUILD=ON
    -DVELKIN_SANITIZE=ON
    -DVELKIN_STUB=${VELKIN_STUB}
    -DVELKIN_WINDOWS_PACKAGES_DIR=${VELKIN_WINDOWS_PACKAGES_DIR}
  BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target velkin-pack velkin-packing-tests
  # Its own build tool decides what is out of date.
  BUILD_ALWAYS ON
  INSTALL_COMMAND ""
  # The Windows build's stub and packages are the tests' inputs.
  DEPENDS velkin-windows-programs
  USES_TERMINAL_CONFIGURE ON
  USES_TERMINAL_BUILD ON)
ExternalProject_Add_Step(velkin-sanitized-programs stub-beside-velkin-pack
  COMMAND ${CMAKE_COMMAND} -E copy_if_different ${VELKIN_STUB} ${VELKIN_SANITIZED_BUILD_DIR}/bin
  DEPENDEES build
  ALWAYS ON)
