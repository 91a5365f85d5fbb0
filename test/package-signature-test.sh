#!/usr/bin/env bash
# A package's own signature, judged as osslsigncode judges it, on both hosts:
# packages signed by osslsigncode (with and without the extended form, and
# with state bits in their directory entries) are signed, and copies with a
# byte changed in the cabinet, a table or the signature value are not, with
# the same report from velkin-pack and velkin-pack.exe; a setup around such
# a copy says so of its package. A sign command that returns the package
# with a Property row added (ARPSYSTEMCOMPONENT, INSTALLLEVEL), another
# summary Author or a byte of the cabinet changed, though signed, is refused
# on both hosts naming what differs.
# Usage: package-signature-test.sh <velkin-pack> <Windows bin directory> <demo package> <wine loader>
#          <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
source "$(dirname "$0")/../scripts/wine-paths.sh"
pack=$1
bin=$2
package=$3
loader=$4
work=$5
change="python3 $(dirname "$0")/support/change_package.py"

rm -rf "$work" && mkdir -p "$work/out"
sign_with_test_certificate "$package" "$work/plain.msi" "$work" || fail "osslsigncode: $(cat "$work/sign.log")"
ossl_sign() { osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" "$@" >>"$work/sign.log" 2>&1; }
ossl_sign -add-msi-dse -in "$package" -out "$work/extended.msi" || fail "osslsigncode -add-msi-dse: $(cat "$work/sign.log")"
# State bits in every entry, which the extended form's digest covers.
python3 - "$package" "$work/state-bits.msi" <<'PYTHON'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
sector = 1 << struct.unpack_from("<H", data, 30)[0]
fat = []
for i in range(min(struct.unpack_from("<I", data, 44)[0], 109)):
    fat_sector = struct.unpack_from("<I", data, 76 + 4 * i)[0]
    fat += struct.unpack_from("<%dI" % (sector // 4), data, (fat_sector + 1) * sector)
at, number = struct.unpack_from("<I", data, 48)[0], 0
while at < 0xFFFFFFF0:
    for entry in range((at + 1) * sector, (at + 2) * sector, 128):
        if data[entry + 66] in (2, 5):
            struct.pack_into("<I", data, entry + 96, 0x11000000 + number)
        number += 1
    at = fat[at]
open(sys.argv[2], "wb").write(data)
PYTHON
ossl_sign -add-msi-dse -in "$work/state-bits.msi" -out "$work/state-bits-extended.msi" \
  || fail "osslsigncode, state bits: $(cat "$work/sign.log")"
rm -f "$work/state-bits.msi"
for form in plain extended; do
  for where in cabinet table signature; do
    $change "$work/$form.msi" "$work/$form-$where.msi" "$where"
  done
done

# signed_on <host> <file>: velkin-pack's "signed" for it, the report kept in
# $work/<host>.json.
signed_on() {
  if [ "$1" = linux ]; then
    "$pack" inspect "$2" --json >"$work/linux.json" 2>&1
  else
    "$loader" "$bin/velkin-pack.exe" inspect "$(windows_path "$2")" --json 2>&1 | tr -d '\r' >"$work/windows.json"
  fi
  python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["signed"])' "$work/$1.json" 2>/dev/null
}
while read -r name expected; do
  file=$work/$name.msi
  osslsigncode verify -CAfile "$work/cert.pem" -in "$file" >"$work/verify.log" 2>&1 && judged=True || judged=False
  linux=$(signed_on linux "$file")
  windows=$(signed_on windows "$file")
  problem=$(grep -o '"signatureProblem": .*' "$work/linux.json")
  [ "$judged" = "$expected" ] && [ "$linux" = "$judged" ] && [ "$windows" = "$judged" ] \
    && cmp -s "$work/linux.json" "$work/windows.json" \
    && echo "ok: $name: osslsigncode and both hosts say signed: $judged $problem" \
    || fail "$name: osslsigncode $judged (expected $expected), Linux $linux, Windows $windows: $(cat "$work/linux.json")"
done <<TABLE
plain True
extended True
state-bits-extended True
plain-cabinet False
plain-table False
plain-signature False
extended-cabinet False
extended-table False
extended-signature False
TABLE

# A setup around a package whose signature no longer holds (packed as it
# is, since it carries one): inspect says so of the setup's package.
"$pack" "$work/plain-cabinet.msi" -o "$work/out/changed-setup.exe" >/dev/null 2>"$work/stderr" </dev/null \
  || fail "packing the changed package: $(cat "$work/stderr")"
signed=$(signed_on linux "$work/out/changed-setup.exe")
[ "$signed" = False ] && grep -qF '"signatureProblem": "its signature'"'"'s digest is not the package'"'"'s' "$work/linux.json" \
  && echo "ok: a setup's package changed after it was signed is reported unsigned: $(grep -o '"signatureProblem": .*' "$work/linux.json")" \
  || fail "the setup's package: $(cat "$work/linux.json")"
signed=$(signed_on windows "$work/out/changed-setup.exe")
[ "$signed" = False ] && cmp -s "$work/linux.json" "$work/windows.json" && echo "ok: velkin-pack.exe reports it alike" \
  || fail "the setup's package on Windows: $(cat "$work/windows.json")"
rm -f "$work/out/"*

# Signers that return another package, signed: prepared here, and handed
# back by a sign command that copies them.
summary() { msiinfo suminfo "$package" | sed -n "s/^$1: //p" | tr -d '\r'; }
prepared() {
  local name=$1
  shift
  cp "$package" "$work/$name-unsigned.msi" && "$@" "$work/$name-unsigned.msi" >>"$work/sign.log" 2>&1 \
    && ossl_sign -in "$work/$name-unsigned.msi" -out "$work/$name.msi" || fail "preparing $name: $(cat "$work/sign.log")"
}
property_row() { msibuild "$3" -q "INSERT INTO \`Property\` (\`Property\`, \`Value\`) VALUES ('$1', '$2')"; }
prepared arp property_row ARPSYSTEMCOMPONENT 1
prepared level property_row INSTALLLEVEL 0
author() { msibuild "$1" -s "$(summary Subject)" "Someone else" "$(summary Template)" "$(summary 'Revision number (UUID)')"; }
prepared author author
[ "$(msiinfo suminfo "$work/author.msi" | grep -c '^Author: Someone else')" = 1 ] || fail "the Author was not changed"
ossl_sign -in "$package" -out "$work/cabinet-signed.msi" && $change "$work/cabinet-signed.msi" "$work/cabinet.msi" cabinet \
  || fail "preparing cabinet"
while IFS='|' read -r name difference; do
  expected="velkin-pack: error: Signing the package failed: the sign command returned another package ($difference)"
  "$pack" "$package" -o "$work/out/app-setup.exe" --sign-command "cp '$work/$name.msi' %2 # %1" \
    >/dev/null 2>"$work/stderr" </dev/null
  status=$?
  [ "$status" = 1 ] && [ "$(cat "$work/stderr")" = "$expected" ] && [ -z "$(ls -A "$work/out")" ] \
    && echo "ok: a signer's $name refused on Linux: $difference" || fail "$name on Linux: exit $status: $(cat "$work/stderr")"
  "$loader" "$bin/velkin-pack.exe" "$(windows_path "$package")" -o "$(windows_path "$work/out/app-setup.exe")" \
    --sign-command "copy /y \"$(windows_path "$work/$name.msi")\" %2 >NUL & rem %1" >/dev/null 2>"$work/stderr" </dev/null
  status=$?
  [ "$status" = 1 ] && [ "$(tr -d '\r' <"$work/stderr")" = "$expected" ] && [ -z "$(ls -A "$work/out")" ] \
    && echo "ok: a signer's $name refused on Windows alike" || fail "$name on Windows: exit $status: $(cat "$work/stderr")"
done <<TABLE
arp|the table Property differs
level|the table Property differs
author|the summary information differs
cabinet|the stream demo.cab differs
TABLE
finish
