#!/usr/bin/env bash
# One setup for three languages, packed on both hosts from the English base
# and its German and French variants: the same bytes from both; the package
# inside judged by msi.dll (each embedded transform gives its variant's
# tables) and by its own streams (the base's, but for the summary's Template
# and PackageCode); installed by the setup in each user's language, or in the
# one an administrator names, and removed. Bad input ends in one line, the
# same on both hosts, and nothing written.
# Usage: multilingual-test.sh <velkin-pack> <Windows bin directory> <package directory> <wine loader>
#          <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
source "$(dirname "$0")/../scripts/wine-paths.sh"
source "$(dirname "$0")/support/languages.sh"
pack=$1
bin=$2
packages=$3
loader=$4
work=$5

rm -rf "$work" && mkdir -p "$work/linux" "$work/windows" "$work/again" "$work/tmp"
# The multilingual package is written in a private directory there: the test
# sees that nothing is left of it.
export TMPDIR="$work/tmp"
native() { "$pack" "$@" </dev/null; }
windows() { "$loader" "$bin/velkin-pack.exe" "$@" </dev/null; }
compound() { "$loader" "$bin/velkin-test-compound.exe" "$@" </dev/null | tr -d '\r'; }
base="$packages/language-1033.msi"
german="$packages/language-1031.msi"
french="$packages/language-1036.msi"
product_code=$(package_property "$base" ProductCode)
setup="$work/linux/language-setup.exe"

native "$base" --language "$german" --language "$french" -o "$setup" \
  && echo "ok: velkin-pack packs the three languages" || fail "velkin-pack failed"
# (Wine keeps a directory of its own there.)
left() { ls -A "$work/tmp" | grep -v '^wine-'; }
[ -z "$(left)" ] && echo "ok: nothing is left of the private directory" || fail "left in TMPDIR: $(left)"
windows "$(windows_path "$base")" --language "$(windows_path "$german")" --language "$(windows_path "$french")" \
  -o "$(windows_path "$work/windows/language-setup.exe")" \
  && cmp -s "$setup" "$work/windows/language-setup.exe" \
  && echo "ok: velkin-pack.exe writes the same setup" || fail "the hosts' setups differ"
native "$base" --language "$german" --language "$french" -o "$work/again/language-setup.exe" \
  && cmp -s "$setup" "$work/again/language-setup.exe" \
  && echo "ok: the same inputs give the same setup" || fail "a second run wrote other bytes"

# Other inputs, another PackageCode: the languages in another order, or a
# variant rebuilt with another payload of its own (another readme).
native "$base" --language "$french" --language "$german" -o "$work/again/swapped-setup.exe" \
  || fail "velkin-pack failed on the swapped languages"
cp "$german" "$work/again/german-changed.msi"
msibuild "$work/again/german-changed.msi" -a Binary.Banner "$(dirname "$0")/packages/language/banner-1036.txt" \
  || fail "msibuild"
native "$base" --language "$work/again/german-changed.msi" --language "$french" -o "$work/again/changed-setup.exe" \
  || fail "velkin-pack failed on the changed variant"
codes=$(for file in "$setup" "$work/again/swapped-setup.exe" "$work/again/changed-setup.exe"; do
  native inspect "$file" | sed -n 's/^Package code: *//p'; done | sort -u | wc -l)
[ "$codes" = 3 ] && echo "ok: other inputs give another PackageCode" || fail "PackageCodes: $codes distinct of 3"

# What inspect tells, alike on both hosts; and of the package inside.
native inspect "$setup" --json >"$work/linux/setup.json"
windows inspect "$(windows_path "$setup")" --json | tr -d '\r' >"$work/windows/setup.json"
cmp -s "$work/linux/setup.json" "$work/windows/setup.json" && echo "ok: inspect reports the same on both hosts" \
  || fail "the reports differ: $(diff "$work/linux/setup.json" "$work/windows/setup.json")"
native extract "$setup" -o "$work/multilingual.msi" && echo "ok: extract gives the package" || fail "extract failed"
native inspect "$work/multilingual.msi" --json >"$work/linux/package.json"
native inspect "$setup" | grep -q '^Languages: *1033 (en-US), 1031 (de-DE), 1036 (fr-FR)$' \
  && echo "ok: inspect lists the languages" || fail "inspect: $(native inspect "$setup")"
python3 - "$work/linux/setup.json" "$work/linux/package.json" "$(native inspect "$base" --json)" <<'PYTHON' \
  && echo "ok: inspect --json lists the languages, and the package's new PackageCode" \
  || fail "inspect --json: $(cat "$work/linux/setup.json")"
import json, sys
setup, package, base = json.load(open(sys.argv[1])), json.load(open(sys.argv[2])), json.loads(sys.argv[3])
for report in (setup, package):
    assert report["languages"] == [1033, 1031, 1036], report
    assert report["languageTags"] == ["en-US", "de-DE", "fr-FR"], report
assert base["languages"] == [1033], base
assert setup["packageCode"] == package["packageCode"] != base["packageCode"], (setup, base)
assert setup["productCode"] == base["productCode"] and setup["productLanguage"] == "1033", setup
PYTHON
msiinfo suminfo "$work/multilingual.msi" | grep -q '^Template: Intel;1033,1031,1036$' \
  && echo "ok: the Template lists the languages, the base first" || fail "$(msiinfo suminfo "$work/multilingual.msi")"
# The rest of the summary as it was: every line but the two that change.
diff <(msiinfo suminfo "$base" | grep -v '^Template\|^Revision') \
  <(msiinfo suminfo "$work/multilingual.msi" | grep -v '^Template\|^Revision') >/dev/null \
  && echo "ok: the other summary properties are the base's" || fail "the summary differs otherwise"

# Every stream of the base, byte for byte, but the summary; a storage per
# language.
compound streams "$(windows_path "$base")" | grep -v 'SummaryInformation ' >"$work/base-streams.txt"
compound streams "$(windows_path "$work/multilingual.msi")" >"$work/multilingual-streams.txt"
grep -v 'SummaryInformation \|^1031/\|^1036/' "$work/multilingual-streams.txt" | diff - "$work/base-streams.txt" >/dev/null \
  && [ -s "$work/base-streams.txt" ] && echo "ok: the base's streams are there unchanged" \
  || fail "streams differ: $(grep -v '^1031/\|^1036/' "$work/multilingual-streams.txt" | diff - "$work/base-streams.txt")"

# Each substorage, applied by msi.dll to the base, gives its variant; then
# Wine's installer, given the language by hand, installs it.
for language in 1031 1036; do
  variant="$packages/language-$language.msi"
  compound storage "$(windows_path "$work/multilingual.msi")" "$language" "$(windows_path "$work/$language.mst")" \
    || fail "$language: no substorage"
  native inspect "$work/$language.mst" --json | python3 -c '
import json, sys; r = json.load(sys.stdin); assert r["kind"] == "transform" and r["language"] == int(sys.argv[1]), r' \
    "$language" && echo "ok: $language: the substorage is its transform" || fail "$language: not a transform"
  "$loader" "$bin/velkin-test-transform-oracle.exe" "$(windows_path "$base")" "$(windows_path "$variant")" \
    "$(windows_path "$work/$language.mst")" "$(windows_path "$work/$language-applied.msi")" \
    >"$work/$language-oracle.txt" 2>&1 </dev/null \
    && echo "ok: $language: msi.dll applies it and gets the variant: $(tail -n1 "$work/$language-oracle.txt")" \
    || fail "$language: msi.dll's result differs from the variant: $(head -n 20 "$work/$language-oracle.txt")"
done

# runs <locale> <expected language> <setup arguments...>: the setup, run by a
# user of that locale, installs that language; its uninstall removes it all.
runs() {
  local locale=$1 expected=$2 installed
  shift 2
  LANG=$locale "$loader" "$(windows_path "$setup")" "$@" </dev/null
  installed=$(installed_language)
  [ "$installed" = "$expected" ] && echo "ok: $locale $*: installs $expected" \
    || fail "$locale $*: installed $installed, not $expected"
  LANG=$locale "$loader" "$(windows_path "$setup")" uninstall /qn </dev/null
  installed=$(installed_language)
  [ "$installed" = none ] && echo "ok: $locale: uninstall removes it" || fail "$locale: left after uninstall: $installed"
}

runs de_DE.UTF-8 1031 /qn
runs fr_FR.UTF-8 1036 /qn
runs ja_JP.UTF-8 1033 /qn
runs de_DE.UTF-8 1036 /qn TRANSFORMS=:1036
"$loader" msiexec /x "$product_code" /qn </dev/null

# refused <name> <message pattern> <arguments...>: both hosts end in one line
# matching the pattern, with exit code 1, and write nothing.
refused() {
  local name=$1 pattern=$2 status windows_status args=()
  shift 2
  native "$@" -o "$work/refused.exe" >"$work/refused-linux.txt" 2>&1
  status=$?
  for arg in "$@"; do
    case $arg in
      /*) args+=("$(windows_path "$arg")") ;;
      *=/*) args+=("${arg%%=*}=$(windows_path "${arg#*=}")") ;;
      *) args+=("$arg") ;;
    esac
  done
  windows "${args[@]}" -o "$(windows_path "$work/refused.exe")" >"$work/refused-windows.txt" 2>&1
  windows_status=$?
  if [ "$status" = 1 ] && [ "$windows_status" = 1 ] && [ "$(wc -l <"$work/refused-linux.txt")" = 1 ] \
    && grep -Eq "$pattern" "$work/refused-linux.txt" && grep -Eq "$pattern" "$work/refused-windows.txt" \
    && [ ! -e "$work/refused.exe" ] && [ -z "$(left)" ]; then
    echo "ok: $name: refused: $(cat "$work/refused-linux.txt")"
  else
    fail "$name: exit codes $status and $windows_status: $(cat "$work/refused-linux.txt" "$work/refused-windows.txt")"
  fi
  rm -f "$work/refused.exe"
}

native transform "$base" "$german" -o "$work/german.mst" || fail "transform failed"
# A transform of another product: from language-otherproduct to a French
# copy of it.
cp "$packages/language-otherproduct.msi" "$work/other-fr.msi"
msibuild "$work/other-fr.msi" -q "UPDATE \`Property\` SET \`Value\` = '1036' WHERE \`Property\` = 'ProductLanguage'" \
  && native transform "$packages/language-otherproduct.msi" "$work/other-fr.msi" -o "$work/other.mst" \
  || fail "no transform of another product"
native transform "$german" "$french" -o "$work/from-german.mst" || fail "transform from German failed"
sign_with_test_certificate "$base" "$work/signed.msi" "$work" || fail "test certificate: $(cat "$work/sign.log")"
refused "a signed base" "is signed, and adding languages changes it" "$work/signed.msi" --language "$german"
refused "two variants of one language" "are both in the language 1031" "$base" --language "$german" \
  --language "1031=$work/german.mst"
cp "$base" "$work/base-copy.msi"
refused "a variant in the base's language" "is in the language 1033, which is .*'s own" "$base" \
  --language "$work/base-copy.msi"
refused "LANGID 0" "0 is no language" "$base" --language "0=$work/german.mst"
refused "LANGID 99999" "99999 is no language" "$base" --language "99999=$work/german.mst"
refused "a package as a transform" "is no transform" "$base" --language "1031=$german"
refused "a transform of another base" "applies to the language 1031" "$base" --language "1036=$work/from-german.mst"
refused "a transform of another product" "applies to the product \\{11111111-2222-4333-8444-555555555555\\}" \
  "$base" --language "1036=$work/other.mst"
refused "another product" "a language variant keeps its product's ProductCode" "$base" \
  --language "$packages/language-otherproduct.msi"
refused "a table the variant lacks" "lacks the table Glossary" "$german" --language "$base"
cp "$base" "$work/external.msi"
msibuild "$work/external.msi" -q "UPDATE \`Media\` SET \`Cabinet\` = 'outside.cab'" || fail "msibuild"
refused "a base whose cabinet is outside it" "keeps its cabinet outside.cab outside itself" "$work/external.msi" \
  --language "$german"
refused "a missing variant" "The variant package .* does not exist|The variant package" "$base" \
  --language "$work/missing.msi"

# With --sign-command the multilingual package is signed (a signed base's
# signature gives way to the new one), then the setup.
signer="osslsigncode sign -certs '$work/cert.pem' -key '$work/key.pem' -n 'Velkin Test' -time 1700000000 -in %1 -out %2"
native "$work/signed.msi" --language "$german" -o "$work/signed-setup.exe" --sign-command "$signer" >/dev/null 2>&1 \
  && native extract "$work/signed-setup.exe" -o "$work/signed-multilingual.msi" \
  && osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed-multilingual.msi" >"$work/verify.log" 2>&1 \
  && osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed-setup.exe" >>"$work/verify.log" 2>&1 \
  && msiinfo suminfo "$work/signed-multilingual.msi" | grep -q '^Template: Intel;1033,1031$' \
  && echo "ok: with --sign-command the multilingual package and the setup are signed" \
  || fail "--sign-command: $(tail -n 5 "$work/verify.log")"

# A transform made elsewhere is embedded as it is.
native "$base" --language "1031=$work/german.mst" -o "$work/given-setup.exe" \
  && native extract "$work/given-setup.exe" -o "$work/given.msi" \
  && compound streams "$(windows_path "$work/given.msi")" | grep '^1031/' | sed 's|^1031/||' >"$work/given-streams.txt" \
  && compound streams "$(windows_path "$work/german.mst")" | diff - "$work/given-streams.txt" >/dev/null \
  && echo "ok: LANGID=FILE.mst embeds that transform as it is" || fail "LANGID=FILE.mst"

finish
