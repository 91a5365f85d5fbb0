#!/usr/bin/env bash
# velkin-pack from a Linux shell: relative and absolute Unix paths, the exit
# codes a shell sees, the setup it makes, and no Wine anywhere (a Wine process
# would make the prefix it is given).
# Usage: pack-from-linux-test.sh <velkin-pack> <demo package> <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
pack=$1
package=$2
work=$3

rm -rf "$work" && mkdir -p "$work/out dir"
cp "$package" "$work/demo package.msi"

[ "$(head -c 4 "$pack")" = $'\x7fELF' ] && echo "ok: velkin-pack is a Linux program" \
  || fail "velkin-pack is no ELF file"
(cd "$work" && WINEPREFIX="$work/no-wine" "$pack" "demo package.msi" -o "out dir/demo-setup.exe") \
  && echo "ok: packed with relative paths that have blanks" || fail "packing with relative paths"
[ ! -e "$work/no-wine" ] && echo "ok: no Wine process started" || fail "a Wine process made $work/no-wine"
[ -s "$work/out dir/demo-setup.exe" ] && echo "ok: the setup exists" || fail "no setup written"
[ "$(ls -A "$work/out dir")" = "demo-setup.exe" ] && echo "ok: no staging file left" \
  || fail "the output directory holds: $(ls -A "$work/out dir")"

"$pack" "$work/absent.msi" -o "$work/out dir/x.exe" 2>"$work/stderr"
status=$?
[ "$status" = 1 ] && echo "ok: a missing package exits with 1" || fail "a missing package exited with $status"
grep -qx "velkin-pack: error: The package $work/absent.msi does not exist" "$work/stderr" \
  && echo "ok: the message names the package" || fail "message: $(cat "$work/stderr")"

"$pack" 2>/dev/null
status=$?
[ "$status" = 2 ] && echo "ok: no arguments exits with 2" || fail "no arguments exited with $status"
finish
