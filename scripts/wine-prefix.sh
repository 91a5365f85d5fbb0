# Sourced: starts and stops the Wine prefix of a build directory.
#
# The Wine server is started persistent, and the prefix's services are up
# before any test or build step runs a Windows program: services started from
# inside ctest or ninja inherit its pipes and hold them open, and a server
# that exits between two tests makes every test pay a cold start.

velkin_wine_loader=/usr/lib/wine/wine64
velkin_wine_server=/usr/lib/wine/wineserver64

# $1: the build directory.
velkin_wine_start() {
  export WINEPREFIX="$(cd "$1" && pwd)/wineprefix"
  export WINEDEBUG=-all
  # Headless: a failure's message box fails at once instead of waiting for a
  # click (a prefix keeps the display state it was started with).
  unset DISPLAY
  # The server refuses to start for a prefix directory that does not exist.
  mkdir -p "$WINEPREFIX"
  # Fails when a server already runs for the prefix: that one serves.
  "$velkin_wine_server" -p </dev/null >/dev/null 2>&1 || true
  # No offer to install Mono or Gecko while the prefix is created.
  WINEDLLOVERRIDES="mscoree,mshtml=" "$velkin_wine_loader" cmd /c echo up </dev/null >/dev/null 2>&1
}

velkin_wine_stop() {
  "$velkin_wine_server" -k </dev/null >/dev/null 2>&1 || true
}
