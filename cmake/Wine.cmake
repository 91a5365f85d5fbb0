# Runs the target's programs under Wine, in a prefix of the project's own
# inside the build directory. The prefix must be started before ctest runs
# (scripts/test.sh does it): Wine's background services inherit the pipes of
# the process that starts them first, and ctest would wait for them.
set(VELKIN_WINE_LOADER /usr/lib/wine/wine64 CACHE FILEPATH "Wine's 64-bit loader")
set(VELKIN_WINE_SERVER /usr/lib/wine/wineserver64 CACHE FILEPATH "Wine's server")
set(VELKIN_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix CACHE PATH "Wine prefix of the tests")

if(CMAKE_CROSSCOMPILING)
  # No display: a failure's message box must not wait for a click that never
  # comes (the message-box test brings a virtual display of its own).
  set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_COMMAND} -E env --unset=DISPLAY WINEPREFIX=${VELKIN_WINEPREFIX} WINEDEBUG=-all
    ${VELKIN_WINE_LOADER})
endif()
