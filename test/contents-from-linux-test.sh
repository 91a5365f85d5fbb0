#!/usr/bin/env bash
# velkin-pack inspect and extract from a Linux shell: the JSON read back by a
# real parser and compared with what msitools reads from the same package;
# the text for people; signatures; the package taken out of a setup.
# Usage: contents-from-linux-test.sh <velkin-pack> <Windows bin directory> <package directory> <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
pack=$1
bin=$2
packages=$3
work=$4

rm -rf "$work" && mkdir -p "$work"
json="$work/contents.json"

# A member of the JSON object read last: strings as they are, anything else
# as JSON.
member() { awk -F'\t' -v name="$1" '$1 == name { print $2 }' "$work/members"; }
# A property's value, "null" when the package does not set it.
property() {
  msiinfo export "$1" Property | tr -d '\r' \
    | awk -F'\t' -v name="$2" '$1 == name { value = $2 } END { print (value == "" ? "null" : value) }'
}
package_code() { msiinfo suminfo "$1" | sed -n 's/^Revision number (UUID): //p'; }

# expect <what> <member> <expected value>
expect() {
  local actual
  actual=$(member "$2")
  [ "$actual" = "$3" ] || fail "$1: $2 is '$actual', not '$3'"
}

# contents_json <file>: runs inspect --json and reads its members back with
# Python's JSON parser.
contents_json() {
  rm -f "$json" "$work/members"
  "$pack" inspect "$1" --json >"$json" 2>"$work/stderr" \
    || fail "inspect --json $1 exited with $?: $(cat "$work/stderr")"
  python3 -c 'import json, sys
for name, value in json.load(open(sys.argv[1], encoding="utf-8")).items():
    print(name, value if isinstance(value, str) else json.dumps(value), sep="\t")' "$json" \
    >"$work/members" || fail "inspect --json $1 gave no JSON object: $(cat "$json")"
}

# check_package <file> <package inside> <kind> <scope> <default scope> <signed>
check_package() {
  local file=$1 package=$2 what before=$failures
  what=$(basename "$1")
  contents_json "$file"
  for key in ProductCode UpgradeCode ProductName ProductVersion Manufacturer ProductLanguage; do
    expect "$what" "${key,}" "$(property "$package" "$key")"
  done
  expect "$what" kind "$3"
  expect "$what" installScope "$4"
  expect "$what" defaultInstallScope "$5"
  expect "$what" signed "$6"
  expect "$what" packageCode "$(package_code "$package")"
  expect "$what" packageSize "$(stat -c %s "$package")"
  if [ "$3" = setup ]; then
    expect "$what" embeddedProductCode "$(property "$package" ProductCode)"
    expect "$what" productCodeMatches true
  else
    expect "$what" embeddedProductCode null
    expect "$what" productCodeMatches null
  fi
  [ "$failures" = "$before" ] && echo "ok: $what reads as msitools reads it"
}

check_package "$packages/demo.msi" "$packages/demo.msi" package chosenAtInstall perUser false
check_package "$packages/peruser.msi" "$packages/peruser.msi" package perUser perUser false
check_package "$packages/permachine.msi" "$packages/permachine.msi" package perMachine perMachine false
check_package "$bin/velkin-setup-demo.exe" "$packages/demo.msi" setup chosenAtInstall perUser false

"$pack" inspect "$packages/permachine.msi" | tr -d '\r' >"$work/contents.txt"
grep -qx 'ProductName: *Velkin Grüße "Édition"' "$work/contents.txt" \
  && grep -qx 'Manufacturer: *Ærøskøbing\\Software' "$work/contents.txt" \
  && grep -qx 'Install scope: *per-machine' "$work/contents.txt" \
  && echo "ok: the text shows the non-ASCII names and the scope" || fail "text: $(cat "$work/contents.txt")"

# Signatures: the package's own, also inside a setup; never the setup's.
sign() {
  sign_with_test_certificate "$1" "$2" "$work" || fail "signing $1: $(cat "$work/sign.log")"
}
sign "$packages/peruser.msi" "$work/signed.msi"
check_package "$work/signed.msi" "$work/signed.msi" package perUser perUser true
"$pack" "$work/signed.msi" -o "$work/signed-package-setup.exe" 2>"$work/stderr" \
  && [ ! -s "$work/stderr" ] && echo "ok: a signed package packs without a warning" \
  || fail "packing the signed package: $(cat "$work/stderr")"
check_package "$work/signed-package-setup.exe" "$work/signed.msi" setup perUser perUser true
sign "$bin/velkin-setup-demo.exe" "$work/signed-setup.exe"
check_package "$work/signed-setup.exe" "$packages/demo.msi" setup chosenAtInstall perUser false

(cd "$work" && "$pack" extract signed-setup.exe -o "extracted package.msi") \
  && cmp -s "$work/extracted package.msi" "$packages/demo.msi" \
  && echo "ok: extract with relative paths gives the package byte for byte" || fail "extract"
finish
