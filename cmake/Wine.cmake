# Runs the target's programs under Wine, in a prefix of the project's own
# inside the build directory. The prefix must be started before ctest runs
# (scripts/test.sh does it): Wine's background services inherit the pipes of
# the process that starts them first, and ctest would wait for them.

# Where Wine is, and where it shows a Unix file: written once, for the shell
# scripts, in scripts/wine-paths.sh. Its paths are the defaults here.
set(wine_paths ${PROJECT_SOURCE_DIR}/scripts/wine-paths.sh)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${wine_paths})
file(READ ${wine_paths} wine_paths_text)
foreach(program loader server)
  string(REGEX MATCH "\nvelkin_wine_${program}=([^\n]+)" assignment "${wine_paths_text}")
  if(NOT assignment)
    message(FATAL_ERROR "${wine_paths} sets no velkin_wine_${program}")
  endif()
  set(wine_${program} ${CMAKE_MATCH_1})
endforeach()
set(VELKIN_WINE_LOADER ${wine_loader} CACHE FILEPATH "Wine's 64-bit loader")
set(VELKIN_WINE_SERVER ${wine_server} CACHE FILEPATH "Wine's server")
set(VELKIN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix of the tests")
# What a Windows program or a test script run under Wine finds in its
# environment.
set(VELKIN_WINE_ENVIRONMENT WINEPREFIX=${VELKIN_WINEPREFIX} WINEDEBUG=-all)

if(CMAKE_CROSSCOMPILING)
  # No display: a failure's message box must not wait for a click that never
  # comes (the message-box test brings a virtual display of its own).
  set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_COMMAND} -E env --unset=DISPLAY ${VELKIN_WINE_ENVIRONMENT} ${VELKIN_WINE_LOADER})
endif()
