#!/usr/bin/env bash
# The Linux velkin-pack and velkin-pack.exe under Wine held to each other and
# to readers of their own: for every test package both report the same JSON
# and pack the same bytes; 7-Zip takes the package out of the setup byte for
# byte with no checksum warning, and objdump reads its headers; both fail on a
# full standard output; packing again elsewhere, later, gives the same bytes.
# Usage: packers-agree-test.sh <velkin-pack> <Windows bin directory> <package directory> <wine loader>
#          <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
source "$(dirname "$0")/../scripts/wine-paths.sh"
pack=$1
bin=$2
packages=$3
loader=$4
work=$5

rm -rf "$work" && mkdir -p "$work/linux" "$work/windows" "$work/again"
native() { "$pack" "$@" 2>/dev/null </dev/null; }
windows() { "$loader" "$bin/velkin-pack.exe" "$@" 2>/dev/null </dev/null; }

for name in demo peruser permachine args refused query binary; do
  package="$packages/$name.msi"
  native inspect "$package" --json >"$work/linux/$name.json"
  windows inspect "$(windows_path "$package")" --json >"$work/windows/$name.json"
  cmp -s "$work/linux/$name.json" "$work/windows/$name.json" && [ -s "$work/linux/$name.json" ] \
    && echo "ok: $name.msi: both report the same" \
    || fail "$name.msi: the reports differ: $(diff "$work/linux/$name.json" "$work/windows/$name.json")"

  setup="$work/linux/$name-setup.exe"
  native "$package" -o "$setup"
  windows "$(windows_path "$package")" -o "$(windows_path "$work/windows/$name-setup.exe")"
  cmp -s "$setup" "$work/windows/$name-setup.exe" && echo "ok: $name.msi: both pack the same bytes" \
    || fail "$name.msi: the setups differ"

  # What one made, the other reads: the report, and the package taken out.
  windows inspect "$(windows_path "$setup")" --json >"$work/windows/$name-setup.json"
  native inspect "$work/windows/$name-setup.exe" --json >"$work/linux/$name-setup.json"
  windows extract "$(windows_path "$setup")" -o "$(windows_path "$work/windows/$name-extracted.msi")"
  cmp -s "$work/windows/$name-setup.json" "$work/linux/$name-setup.json" \
    && grep -q '"productCodeMatches": true' "$work/linux/$name-setup.json" \
    && cmp -s "$work/windows/$name-extracted.msi" "$package" \
    && echo "ok: $name.msi: each reads the other's setup" || fail "$name.msi: the setups read differently"

  rm -rf "$work/7z"
  7zz x -tPE -y -o"$work/7z" "$setup" >"$work/7z.log" 2>&1 || fail "$name: 7-Zip cannot read the setup"
  cmp -s "$work/7z/.rsrc/RCDATA/MSI" "$package" && echo "ok: $name.msi: 7-Zip finds the package whole" \
    || fail "$name.msi: 7-Zip's package differs"
  7zz l -tPE "$setup" | grep -qi "checksum error" && fail "$name.msi: 7-Zip finds a checksum error"
done

x86_64-w64-mingw32-objdump -p "$work/linux/demo-setup.exe" >"$work/objdump.txt" 2>&1 \
  && grep -q '^Magic[[:space:]]*020b' "$work/objdump.txt" && echo "ok: objdump reads the headers" \
  || fail "objdump: $(head -5 "$work/objdump.txt")"

# A report that cannot be written is a failure on both, told on standard
# error (the Windows code has no errno text).
for packer in native windows; do
  if [ $packer = native ]; then
    "$pack" inspect "$packages/demo.msi" >/dev/full 2>"$work/stderr" </dev/null
  else
    "$loader" "$bin/velkin-pack.exe" inspect "$(windows_path "$packages/demo.msi")" >/dev/full 2>"$work/stderr" </dev/null
  fi
  [ $? = 1 ] && grep -q "^velkin-pack: error: Cannot write to standard output" "$work/stderr" \
    && echo "ok: $packer: a full standard output ends with exit 1 and a message" \
    || fail "$packer: a full standard output: $(cat "$work/stderr")"
done

# Later, from another directory, in another time zone: the packer reads no
# clock and writes no path but the output's name.
sleep 1
(cd "$work/again" && TZ=Pacific/Auckland "$pack" "$packages/demo.msi" -o demo-setup.exe 2>/dev/null)
cmp -s "$work/again/demo-setup.exe" "$work/linux/demo-setup.exe" && echo "ok: packing again gives the same bytes" \
  || fail "packing again gave other bytes"
# Signatures: both hosts' libraries (libcrypto, CNG) verify the same
# signatures and refuse the same damage, each with the same reason: a setup
# signed by osslsigncode, and copies with a byte changed in the certificate's
# key, the signature value, the digest algorithms and the attributes.
if sign_with_test_certificate "$work/linux/demo-setup.exe" "$work/signed.exe" "$work"; then
  python3 - "$work/signed.exe" "$work" <<'PYTHON'
import sys
data = open(sys.argv[1], 'rb').read()
def spoiled(name, at):
    copy = bytearray(data)
    copy[at] ^= 0x01
    open(sys.argv[2] + '/' + name + '.exe', 'wb').write(copy)
table = data.rfind(b'\x2a\x86\x48\x86\xf7\x0d\x01\x07\x02')
sha256 = b'\x60\x86\x48\x01\x65\x03\x04\x02\x01'
spoiled('key', data.rfind(b'\x02\x82\x01\x01\x00') + 40)
spoiled('value', data.rfind(b'\x04\x82\x01\x00') + 4 + 100)
spoiled('algorithms', data.find(sha256, table) + 8)
spoiled('attributes', data.rfind(b'\x2a\x86\x48\x86\xf7\x0d\x01\x09\x04') + 20)
PYTHON
  for name in signed key value algorithms attributes; do
    native inspect "$work/$name.exe" --json >"$work/linux/$name.json"
    windows inspect "$(windows_path "$work/$name.exe")" --json >"$work/windows/$name.json"
    signed=$(python3 -c 'import json, sys; print(json.load(open(sys.argv[1]))["setupSigned"])' "$work/linux/$name.json")
    expected=False
    [ "$name" = signed ] && expected=True
    [ "$signed" = "$expected" ] && cmp -s "$work/linux/$name.json" "$work/windows/$name.json" \
      && echo "ok: signature, $name: both hosts say signed: $signed $(grep -o '"setupSignatureProblem": .*' "$work/linux/$name.json")" \
      || fail "signature, $name: signed $signed: $(diff "$work/linux/$name.json" "$work/windows/$name.json")"
  done
else
  fail "signing: $(cat "$work/sign.log")"
fi

finish
