#!/usr/bin/env bash
# The Wine prefix the tests run in ($WINEPREFIX) has Wine's own msiexec.exe
# in its system directory, and no copy saved beside it by a test's stand-in
# for msiexec (test/wrapper/MsiexecStandIn.h). Before the first test that
# runs a Windows program: put right, from Wine's own copy, if it is not (a
# run that died with the stand-in in place). After the last: fails if a test
# left it otherwise, and puts it right for the next run.
# Usage: prefix-msiexec-test.sh repair|check
set -u
source "$(dirname "$0")/support/checks.sh"
source "$(dirname "$0")/../scripts/wine-paths.sh"
action=$1
own=$velkin_wine_windows_dir/msiexec.exe
placed=$WINEPREFIX/drive_c/windows/system32/msiexec.exe
saved=$placed.velkin-saved

[ -f "$own" ] || { fail "Wine's own msiexec.exe is not at $own"; finish; }

intact() { cmp -s "$own" "$placed" && [ ! -e "$saved" ]; }

# What is wrong, in a few words.
state() {
  cmp -s "$own" "$placed" || echo -n "system32\\msiexec.exe differs from $own; "
  [ ! -e "$saved" ] || echo -n "a saved copy is left at $saved; "
}

repair() {
  cp "$own" "$placed" && rm -f "$saved" && intact
}

case $action in
  repair)
    if intact; then
      echo "ok: the prefix's msiexec.exe is Wine's own"
    else
      was=$(state)
      repair && echo "ok: the prefix's msiexec.exe is Wine's own again (${was%; })" \
        || fail "cannot put Wine's own msiexec.exe back into $placed"
    fi
    ;;
  check)
    if intact; then
      echo "ok: the tests left the prefix's msiexec.exe as Wine's own"
    else
      fail "the tests left the prefix's msiexec.exe otherwise: $(state)"
      repair && echo "put right for the next run" || fail "cannot put Wine's own msiexec.exe back into $placed"
    fi
    ;;
esac
finish
