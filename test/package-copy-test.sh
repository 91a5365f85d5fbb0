#!/usr/bin/env bash
# A package copied storage by storage and stream by stream through our
# compound-file reader and writer is the same package to readers and
# installers we did not write: msitools lists the same streams and exports
# the same tables, velkin-pack reads the same facts with libmsi and, as
# velkin-pack.exe, with msi.dll under Wine, osslsigncode signs it and
# verifies a copy of the signed copy, and Wine's msiexec installs and
# removes the copy. The copy of a copy is the copy, byte for byte.
# Usage: package-copy-test.sh <velkin-compound-copy> <velkin-pack> <Windows bin directory> <demo package>
#          <wine loader> <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
source "$(dirname "$0")/../scripts/wine-paths.sh"
copy=$1
pack=$2
bin=$3
demo=$4
loader=$5
work=$6

rm -rf "$work" && mkdir -p "$work/original" "$work/copy"
cp "$demo" "$work/original/demo.msi"
"$copy" "$work/original/demo.msi" "$work/copy/demo.msi" && echo "ok: copied" || fail "the copy failed"
"$copy" "$work/copy/demo.msi" "$work/again.msi" && cmp -s "$work/copy/demo.msi" "$work/again.msi" \
  && echo "ok: a copy of the copy is the copy" || fail "a copy of the copy differs"

# msitools: the streams, and every table exported.
for side in original copy; do
  msiinfo streams "$work/$side/demo.msi" | sort >"$work/$side.streams" || fail "msiinfo streams of the $side"
  mkdir -p "$work/$side.tables"
  for table in $(msiinfo tables "$work/$side/demo.msi"); do
    msiinfo export "$work/$side/demo.msi" "$table" >"$work/$side.tables/$table.idt" \
      || fail "msiinfo export $table of the $side"
  done
done
[ -s "$work/original.streams" ] && cmp -s "$work/original.streams" "$work/copy.streams" \
  && echo "ok: msiinfo lists the same streams" || fail "msiinfo streams differ: $(diff "$work/original.streams" "$work/copy.streams")"
diff -r "$work/original.tables" "$work/copy.tables" >"$work/tables.diff" \
  && echo "ok: msiinfo exports the same tables ($(ls "$work/copy.tables" | wc -l))" \
  || fail "the tables differ: $(head -5 "$work/tables.diff")"

# inspect on both hosts: the same report but for the package's size.
report() { grep -v '"packageSize"' | tr -d '\r'; }
for side in original copy; do
  "$pack" inspect "$work/$side/demo.msi" --json | report >"$work/$side.linux.json" \
    || fail "inspect of the $side on Linux"
  "$loader" "$bin/velkin-pack.exe" inspect "$(windows_path "$work/$side/demo.msi")" --json </dev/null \
    | report >"$work/$side.windows.json" || fail "inspect of the $side on Windows"
done
for host in linux windows; do
  [ -s "$work/original.$host.json" ] && cmp -s "$work/original.$host.json" "$work/copy.$host.json" \
    && echo "ok: inspect on $host reports the copy as the original" \
    || fail "inspect on $host: $(diff "$work/original.$host.json" "$work/copy.$host.json")"
done

# osslsigncode, with a compound-file reader and writer of its own, signs the
# copy, and its signature (a digest of every stream and the root's CLSID)
# still verifies on a copy of the signed copy.
if sign_with_test_certificate "$work/copy/demo.msi" "$work/signed.msi" "$work"; then
  "$copy" "$work/signed.msi" "$work/signed-copy.msi" \
    && osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed-copy.msi" >"$work/verify.log" 2>&1 \
    && echo "ok: osslsigncode signs the copy, and verifies a copy of it" \
    || fail "the signed copy's copy does not verify: $(tail -3 "$work/verify.log")"
else
  fail "osslsigncode cannot sign the copy: $(tail -3 "$work/sign.log")"
fi

# Wine's msiexec installs the copy and removes it.
installed="$WINEPREFIX/drive_c/users/*/AppData/Local/VelkinDemo/readme.txt"
"$loader" msiexec /i "$(windows_path "$work/copy/demo.msi")" /qn </dev/null
status=$?
[ "$status" = 0 ] && ls $installed >/dev/null 2>&1 && echo "ok: msiexec installs the copy" \
  || fail "msiexec /i of the copy exited with $status, installed: $(ls $installed 2>&1)"
"$loader" msiexec /x "$(windows_path "$work/copy/demo.msi")" /qn </dev/null
status=$?
[ "$status" = 0 ] && ! ls $installed >/dev/null 2>&1 && echo "ok: msiexec removes it" \
  || fail "msiexec /x of the copy exited with $status, left: $(ls $installed 2>&1)"
rm -rf "$work"
finish
