#!/usr/bin/env bash
# Runs the message-box tests of test executables on a virtual display, in a
# Wine prefix of their own: a prefix started without a display keeps that
# state, and the shared one is in use by the other tests.
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
  velkin_wine_stop
  exit $status
' message-box-test "$(dirname "$0")/../scripts/wine-prefix.sh" "$@"
