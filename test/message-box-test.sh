#!/usr/bin/env bash
# Runs the message-box tests of a test executable on a virtual display, in a
# Wine prefix of their own: a prefix started without a display keeps that
# state, and the shared one is in use by the other tests.
# Usage: message-box-test.sh <wine loader> <wine server> <prefix> <test executable>
set -u
loader=$1
server=$2
export WINEPREFIX=$3
export WINEDEBUG=-all
tests=$4

mkdir -p "$WINEPREFIX"
xvfb-run -a bash -c '
  "$1" -p </dev/null >/dev/null 2>&1
  WINEDLLOVERRIDES="mscoree,mshtml=" "$2" cmd /c echo up </dev/null >/dev/null 2>&1
  VELKIN_TEST_DISPLAY=1 "$2" "$3" --gtest_filter="MessageBoxTest.*"
  status=$?
  "$1" -k </dev/null >/dev/null 2>&1
  exit $status
' message-box-test "$server" "$loader" "$tests"
