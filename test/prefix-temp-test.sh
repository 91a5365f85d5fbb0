#!/usr/bin/env bash
# The tests leave nothing in the temporary directories of the Wine prefix they
# run in ($WINEPREFIX): what is there after the last test that runs a Windows
# program was there before the first.
# Usage: prefix-temp-test.sh record|compare <listing file>
set -u
source "$(dirname "$0")/support/checks.sh"
action=$1
recorded=$2

listing() {
  (cd "$WINEPREFIX/drive_c" && find users/*/Temp windows/temp -mindepth 1 2>/dev/null | sort)
}

case $action in
  record)
    listing >"$recorded" && echo "ok: $(wc -l <"$recorded") entries there before the tests" \
      || fail "cannot record the listing in $recorded"
    ;;
  compare)
    left=$(comm -13 "$recorded" <(listing))
    [ -z "$left" ] && echo "ok: the tests left nothing in the prefix's temporary directories" \
      || fail "left behind in $WINEPREFIX/drive_c: $left"
    ;;
esac
finish
