#!/usr/bin/env bash
# Transforms made by velkin-pack, judged by appliers we did not write: for each
# language variant, both hosts write the same bytes; msi.dll applies the
# transform to the base and gets the variant's tables and streams; Wine's
# msiexec installs the base with the transform and gets the variant's file,
# registry value and name, and removes it all. Bad input ends in one line, the
# same exit code on both hosts, and nothing written.
# Usage: transform-test.sh <velkin-pack> <Windows bin directory> <package directory> <wine loader>
#          <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
source "$(dirname "$0")/../scripts/wine-paths.sh"
pack=$1
bin=$2
packages=$3
loader=$4
work=$5

rm -rf "$work" && mkdir -p "$work/linux" "$work/windows"
native() { "$pack" "$@" </dev/null; }
windows() { "$loader" "$bin/velkin-pack.exe" "$@" </dev/null; }
base="$packages/language-1033.msi"
product_code=$(package_property "$base" ProductCode)
local_app_data=$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Local)

# transformed <base> <variant> <name>: both hosts write the transform from
# base to variant, which msi.dll turns into the variant.
transformed() {
  local from=$1 to=$2 name=$3 status
  native transform "$from" "$to" -o "$work/linux/$name.mst" \
    && echo "ok: $name: velkin-pack writes the transform" || fail "$name: velkin-pack failed"
  windows transform "$(windows_path "$from")" "$(windows_path "$to")" -o "$(windows_path "$work/windows/$name.mst")" \
    && cmp -s "$work/linux/$name.mst" "$work/windows/$name.mst" \
    && echo "ok: $name: velkin-pack.exe writes the same bytes" || fail "$name: the hosts' transforms differ"
  "$loader" "$bin/velkin-test-transform-oracle.exe" "$(windows_path "$from")" "$(windows_path "$to")" \
    "$(windows_path "$work/linux/$name.mst")" "$(windows_path "$work/$name-applied.msi")" \
    >"$work/$name-oracle.txt" 2>&1
  status=$?
  [ "$status" = 0 ] && echo "ok: $name: msi.dll applies it and gets the variant: $(tail -n1 "$work/$name-oracle.txt")" \
    || fail "$name: msi.dll's result differs from the variant ($status): $(head -n 20 "$work/$name-oracle.txt")"
}

for language in 1031 1036; do
  variant="$packages/language-$language.msi"
  transformed "$base" "$variant" "$language"
  mst="$work/linux/$language.mst"

  # Installed with the transform: the variant's readme, registry value and
  # product name; removed by its product code.
  "$loader" msiexec /i "$(windows_path "$base")" "TRANSFORMS=$(windows_path "$mst")" /qn </dev/null
  expected=$(tr -d '\r' <"$(dirname "$0")/packages/language/readme-$language.txt")
  [ "$(tr -d '\r' <"$local_app_data/VelkinLanguageTest/readme.txt" 2>/dev/null)" = "$expected" ] \
    && echo "ok: $language: the variant's file is installed" || fail "$language: the base's file was installed"
  # reg prints the value in the console's code page: its ASCII word alone.
  greeting=$("$loader" reg query 'HKCU\Software\Velkin\LanguageTest' /v Greeting </dev/null 2>/dev/null \
    | LC_ALL=C tr -dc '[:alnum:] \n')
  case $language in
    1031) wanted=Gott ;;
    1036) wanted=Bonjour ;;
  esac
  grep -q "REGSZ.*$wanted" <<<"$greeting" && echo "ok: $language: the variant's registry value is written" \
    || fail "$language: registry value: $greeting"
  "$loader" msiexec /x "$product_code" /qn </dev/null
  [ ! -e "$local_app_data/VelkinLanguageTest/readme.txt" ] && echo "ok: $language: removed" \
    || fail "$language: the file is left after the removal"
  "$loader" reg query 'HKCU\Software\Velkin\LanguageTest' /v Greeting </dev/null >/dev/null 2>&1 \
    && fail "$language: the registry value is left after the removal" || echo "ok: $language: registry value removed"
done

# String pools past 65,535 strings: three-byte references in both packages
# and in the transform.
transformed "$packages/language-1033-lexicon.msi" "$packages/language-1031-lexicon.msi" lexicon
# The demo package and a German variant of it that changes a property and
# the product's name and language.
transformed "$packages/demo.msi" "$packages/demo-1031.msi" demo

# What inspect tells of a transform, on both hosts alike.
native inspect "$work/linux/1031.mst" --json >"$work/linux/1031.json"
windows inspect "$(windows_path "$work/linux/1031.mst")" --json | tr -d '\r' >"$work/windows/1031.json"
cmp -s "$work/linux/1031.json" "$work/windows/1031.json" && echo "ok: inspect reports the same on both hosts" \
  || fail "the reports differ: $(diff "$work/linux/1031.json" "$work/windows/1031.json")"
python3 - "$work/linux/1031.json" "$product_code" <<'PYTHON' && echo "ok: inspect --json says what the transform is" || fail "inspect --json: $(cat "$work/linux/1031.json")"
import json, sys
report = json.load(open(sys.argv[1]))
assert report["kind"] == "transform", report
assert report["language"] == 1031 and report["baseLanguage"] == 1033, report
assert report["baseProductCode"] == report["productCode"] == sys.argv[2], report
assert report["baseProductVersion"] == report["productVersion"] == "2.1.0", report
for table in ("Property", "Registry", "Binary", "Glossary", "File", "Media"):
    assert table in report["tables"], (table, report["tables"])
for table in ("Feature", "Directory", "Component"):
    assert table not in report["tables"], (table, report["tables"])
PYTHON

# refused <name> <message pattern> <arguments...>: both hosts end in one line
# matching the pattern, with exit code 1, and write nothing.
refused() {
  local name=$1 pattern=$2 status windows_status args=()
  shift 2
  native transform "$@" -o "$work/refused.mst" >"$work/refused-linux.txt" 2>&1
  status=$?
  for arg in "$@"; do args+=("$(windows_path "$arg")"); done
  windows transform "${args[@]}" -o "$(windows_path "$work/refused.mst")" >"$work/refused-windows.txt" 2>&1
  windows_status=$?
  if [ "$status" = 1 ] && [ "$windows_status" = 1 ] && [ "$(wc -l <"$work/refused-linux.txt")" = 1 ] \
    && grep -Eq "$pattern" "$work/refused-linux.txt" && grep -Eq "$pattern" "$work/refused-windows.txt" \
    && [ ! -e "$work/refused.mst" ]; then
    echo "ok: $name: refused: $(cat "$work/refused-linux.txt")"
  else
    fail "$name: exit codes $status and $windows_status: $(cat "$work/refused-linux.txt" "$work/refused-windows.txt")"
  fi
  rm -f "$work/refused.mst"
}

cp "$base" "$work/copy.msi"
head -c 5000 "$base" >"$work/cut.msi"
echo "not a package" >"$work/text.msi"
refused "the same file" "are one file: there is nothing to transform" "$base" "$base"
refused "no difference" "there is nothing to transform" "$base" "$work/copy.msi"
refused "a table the variant lacks" "lacks the table Glossary" "$packages/language-1031.msi" "$base"
refused "another product" "a language variant keeps its product's ProductCode" "$base" "$packages/language-otherproduct.msi"
refused "another upgrade code" "a language variant keeps its product's ProductCode and UpgradeCode" \
  "$base" "$packages/language-otherupgrade.msi"
refused "a column's type" "column Glossary.Meaning is of type" "$packages/language-1031.msi" "$packages/language-glossint.msi"
refused "a table's key" "key columns" "$packages/language-1031.msi" "$packages/language-glosskey.msi"
refused "a damaged package" "is not a Windows Installer package" "$base" "$work/cut.msi"
refused "no package" "is not a Windows Installer package" "$work/text.msi" "$base"

finish
