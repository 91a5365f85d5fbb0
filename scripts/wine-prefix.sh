# Sourced: starts and stops the Wine prefix of a build directory, or any
# other prefix.
#
# The Wine server is started persistent, and the prefix's services are up
# before any test or build step runs a Windows program: services started from
# inside ctest or ninja inherit its pipes and hold them open, and a server
# that exits between two tests makes every test pay a cold start.

source "$(dirname "${BASH_SOURCE[0]}")/wine-paths.sh"

# Wine maps parts of every process at fixed addresses. With the kernel's
# address space randomisation, now and then something already sits there and
# a Windows process fails to start ("failed to map the shared user data"; its
# parent's CreateProcessW fails with ERROR_INTERNAL_ERROR). So Wine runs
# without randomisation, where the system allows that: this prefix turns it
# off for the command that follows it, and is empty where it cannot.
velkin_no_aslr=()
if setarch -R true 2>/dev/null; then
  velkin_no_aslr=(setarch -R)
fi

# Re-runs the calling script, and so every process it starts, without
# randomisation. Call it before the script changes directory.
# $1: the script ("$0"); the rest: its arguments.
velkin_without_aslr() {
  local script=$1
  shift
  if (( ${#velkin_no_aslr[@]} && (0x$(cat /proc/self/personality) & 0x40000) == 0 )); then
    exec "${velkin_no_aslr[@]}" bash "$script" "$@"
  fi
}

# The prefix of a configured build directory, in which its tests run: the
# one CMake's VELKIN_WINEPREFIX names.
velkin_build_wineprefix() {
  [ ! -e "$1/CMakeCache.txt" ] || sed -n 's/^VELKIN_WINEPREFIX:PATH=//p' "$1/CMakeCache.txt"
}

# Starts, headless, the prefix of a build directory, or of another directory
# (the demo's, the benchmark's): its wineprefix.
# $1: the directory.
velkin_wine_start() {
  # Headless: a failure's message box fails at once instead of waiting for a
  # click (a prefix keeps the display state it was started with).
  unset DISPLAY
  local prefix
  prefix=$(velkin_build_wineprefix "$1")
  velkin_wine_start_prefix "${prefix:-$(cd "$1" && pwd)/wineprefix}"
}

# Starts a prefix on the caller's display, if it has one.
# $1: the prefix directory, an absolute path.
velkin_wine_start_prefix() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  # The server refuses to start for a prefix directory that does not exist.
  mkdir -p "$WINEPREFIX"
  # Fails when a server already runs for the prefix: that one serves.
  "$velkin_wine_server" -p </dev/null >/dev/null 2>&1 || true
  # No offer to install Mono or Gecko while the prefix is created. The
  # services started here start processes of their own (the installer
  # service, for one), so they too run without randomisation.
  WINEDLLOVERRIDES="mscoree,mshtml=" "${velkin_no_aslr[@]}" "$velkin_wine_loader" cmd /c echo up \
    </dev/null >/dev/null 2>&1
}

# Stops the server of $WINEPREFIX, and with it the prefix's services.
velkin_wine_stop() {
  "$velkin_wine_server" -k </dev/null >/dev/null 2>&1 || true
}
