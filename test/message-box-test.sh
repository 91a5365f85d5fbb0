#!/usr/bin/env bash
# Runs the message-box tests of test executables on a virtual display, in a
# Wine prefix of their own: a prefix started without a display keeps that
# state, and the shared one is in use by the other tests; then the stub at a
# path of 287 characters, which must show its box too.
# Usage: message-box-test.sh <wine loader> <wine server> <prefix> <test executable>...
set -u
# Inside xvfb-run, so that the prefix has the display from its start; with
# the loader and server given (the build's), not the scripts' defaults.
xvfb-run -a bash -c '
  source "$1"
  velkin_wine_loader=$2
  velkin_wine_server=$3
  velkin_wine_start_prefix "$4"
  shift 4
  status=0
  for tests in "$@"; do
    VELKIN_TEST_DISPLAY=1 "$velkin_wine_loader" "$tests" --gtest_filter="MessageBoxTest.*" || status=1
  done
  # The stub, which fails for want of a package, at a path of 287
  # characters: its box still appears (its own path and the box caption made
  # from it take no call limited to MAX_PATH), and so it is still waiting
  # for a click seconds later; without a box it ends at once. (No Windows
  # program starts another by a path that long: the shell does.)
  long=$(mktemp -d)
  stub=$long/$(printf "d%.0s" $(seq 100))/$(printf "e%.0s" $(seq 100))
  stub=$stub/$(printf "f%.0s" $(seq $((287 - ${#stub} - 16 - 2))))/long-setup.exe
  mkdir -p "$(dirname "$stub")" && cp "$(dirname "$1")/velkin-setup.exe" "$stub"
  timeout 8 "$velkin_wine_loader" "$stub" /qf </dev/null >/dev/null 2>&1
  boxed=$?
  # Wine shows it as Z: and the path.
  if [ "$boxed" = 124 ]; then
    echo "ok: the setup at a path of $((${#stub} + 2)) characters shows its box"
  else
    echo "FAILED: the setup at a path of $((${#stub} + 2)) characters showed no box (exit $boxed)"
    status=1
  fi
  rm -rf "$long"
  velkin_wine_stop
  exit $status
' message-box-test "$(dirname "$0")/../scripts/wine-prefix.sh" "$@"
