#!/usr/bin/env bash
# velkin-pack manifest --winget: the three files read back with a YAML
# parser, every field winget requires there, the values the package and the
# options give (InstallerSha256 that of sha256sum), per user, per machine and
# chosen at install; hostile text in the package and in the options comes
# back as it was; what winget would refuse writes nothing (every character
# its pattern refuses in --id, Windows' device names); another --locale
# replaces the set; the setups of one version for three architectures share
# one set; velkin-pack.exe writes the same bytes.
# Usage: winget-manifest-test.sh <velkin-pack> <Windows bin directory> <package directory> <wine loader>
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

rm -rf "$work" && mkdir -p "$work"
url="https://example.com/downloads/app-setup.exe"

# check_manifests <directory> <setup> <package> <id> <locale> <expected JSON: Architecture, Scopes, and
#   License and ShortDescription where given>: every file parsed, every field checked against the package
#   as msitools reads it and the options given.
check_manifests() {
  local expected
  expected=$(python3 -c 'import json, sys; e = json.loads(sys.argv[1]); keys = ("Sha256", "ProductCode",
    "UpgradeCode", "Version", "ProductName", "Manufacturer", "Subject", "HostileLicense", "HostileSummary")
e.update(zip(keys, sys.argv[2:])); e.setdefault("License", e["HostileLicense"])
e.setdefault("ShortDescription", e["HostileSummary"] if e["License"] == e["HostileLicense"] else e["Subject"])
print(json.dumps(e))' "$6" "$(sha256sum "$2" | cut -d' ' -f1)" "$(package_property "$3" ProductCode)" \
    "$(package_property "$3" UpgradeCode)" "$(package_property "$3" ProductVersion)" "$(package_property "$3" ProductName)" \
    "$(package_property "$3" Manufacturer)" "$(msiinfo suminfo "$3" | sed -n 's/^Subject: //p')" "$hostile_license" \
    "$hostile_summary")
  python3 - "$1" "$4" "$5" "$expected" "$url" <<'PYTHON'
import json, os, sys, yaml
directory, id, locale, expected, url = sys.argv[1], sys.argv[2], sys.argv[3], json.loads(sys.argv[4]), sys.argv[5]
problems = []
def check(what, actual, wanted):
    if actual != wanted:
        problems.append(f"{what}: {actual!r}, not {wanted!r}")
names = sorted(os.listdir(directory))
check("files", names, sorted([f"{id}.yaml", f"{id}.installer.yaml", f"{id}.locale.{locale}.yaml"]))
manifests = {}
for kind, name in (("version", f"{id}.yaml"), ("installer", f"{id}.installer.yaml"),
                   ("defaultLocale", f"{id}.locale.{locale}.yaml")):
    raw = open(os.path.join(directory, name), "rb").read()
    check(f"{name}: CR bytes", raw.count(b"\r"), 0)
    check(f"{name}: last byte", raw[-1:], b"\n")
    manifests[kind] = m = yaml.safe_load(raw.decode("utf-8"))
    for key, value in (("PackageIdentifier", id), ("PackageVersion", expected["Version"]),
                       ("ManifestType", kind), ("ManifestVersion", "1.10.0")):
        check(f"{kind}: {key}", m.get(key), value)
check("DefaultLocale", manifests["version"].get("DefaultLocale"), locale)
loc = manifests["defaultLocale"]
for key, value in (("PackageLocale", locale), ("Publisher", expected["Manufacturer"]),
                   ("PackageName", expected["ProductName"]), ("License", expected["License"]),
                   ("ShortDescription", expected["ShortDescription"])):
    check(key, loc.get(key), value)
installers = manifests["installer"].get("Installers", [])
check("scopes", [i.get("Scope") for i in installers], expected["Scopes"])
codes = {1602: "cancelledByUser", 1618: "installInProgress", 1625: "blockedByPolicy", 1633: "systemNotSupported",
         1638: "alreadyInstalled", 1641: "rebootInitiated", 3010: "rebootRequiredToFinish"}
for i in installers:
    scope = i.get("Scope")
    for key, value in (("Architecture", expected["Architecture"]), ("InstallerType", "exe"), ("InstallerUrl", url),
                       ("InstallerSha256", expected["Sha256"].upper()), ("UpgradeBehavior", "install"),
                       ("ProductCode", expected["ProductCode"]),
                       ("ElevationRequirement", "elevationRequired" if scope == "machine" else None)):
        check(f"{scope}: {key}", i.get(key), value)
    switches = i.get("InstallerSwitches", {})
    check(f"{scope}: switches", {k: v for k, v in switches.items() if k != "Custom"},
          {"Silent": "/qn /norestart", "SilentWithProgress": "/passive /norestart", "Log": '/l*v "<LOGPATH>"'})
    custom = {"user": "MSIINSTALLPERUSER=1", "machine": 'MSIINSTALLPERUSER=""'}[scope] if len(installers) > 1 else None
    check(f"{scope}: Custom", switches.get("Custom"), custom)
    check(f"{scope}: return codes", {c["InstallerReturnCode"]: c["ReturnResponse"]
                                     for c in i.get("ExpectedReturnCodes", [])}, codes)
    check(f"{scope}: AppsAndFeaturesEntries", i.get("AppsAndFeaturesEntries"), [{
        "DisplayName": expected["ProductName"], "Publisher": expected["Manufacturer"],
        "DisplayVersion": expected["Version"], "ProductCode": expected["ProductCode"],
        "UpgradeCode": expected["UpgradeCode"], "InstallerType": "msi"}])
for problem in problems:
    print("  " + problem)
sys.exit(1 if problems else 0)
PYTHON
  [ $? = 0 ] || { fail "$(basename "$2"): the manifests differ from what they should say"; return 1; }
}

# manifest_of <setup> <directory> <options...>
manifest_of() {
  local setup=$1 directory=$2
  shift 2
  rm -rf "$directory" && mkdir -p "$directory"
  "$pack" manifest "$setup" --winget --url "$url" -o "$directory" "$@" >"$work/stdout" 2>"$work/stderr" </dev/null
}

# A hostile package: YAML's own characters in its name and manufacturer, and
# built for x64.
cp "$packages/demo.msi" "$work/hostile.msi"
msibuild "$work/hostile.msi" -q "UPDATE \`Property\` SET \`Value\` = '- Demo: #1 \"Q\" [x] & {y} *z' WHERE \`Property\` = 'ProductName'" \
  -q "UPDATE \`Property\` SET \`Value\` = '? Velkin, Inc. | %TEMP% @ \`b\`' WHERE \`Property\` = 'Manufacturer'" \
  -s "Hostile demo" "Velkin" "x64;1033" "{3C1A5D0E-9B7F-4E21-8D64-0F2B7A9C5E13}" \
  || fail "msibuild cannot make the hostile package"
hostile_license=$'MIT: "quoted" #hash\nsecond line \\ back\ttab \u00FC\u00DF \u65E5\u672C \U0001F4E6'
hostile_summary=$'- starts like a list: {a: b} & *alias !tag\n\u2028after a separator'

# package|id|options|expected JSON (Architecture, Scopes, and License and ShortDescription where given)
while IFS='|' read -r name id options expected; do
  setup="$work/$name-setup.exe"
  package=$packages/$name.msi
  [ "$name" = hostile ] && package=$work/hostile.msi
  "$pack" "$package" -o "$setup" 2>/dev/null </dev/null || fail "$name: cannot pack"
  eval "set -- $options"
  locale=en-US
  [ "$name" = peruser ] && locale=de-CH
  manifest_of "$setup" "$work/$name" --id "$id" "$@" \
    && check_manifests "$work/$name" "$setup" "$package" "$id" "$locale" "$expected" \
    && echo "ok: $name: the manifests say what they should" || fail "$name: $(cat "$work/stderr")"
done <<'TABLE'
demo|Velkin.Demo|--license 'MIT License'|{"License": "MIT License", "Architecture": "x86", "Scopes": ["user", "machine"]}
peruser|Velkin.Demo.PerUser|--license MIT --short-description 'Per user' --locale de-CH|{"License": "MIT", "ShortDescription": "Per user", "Architecture": "x86", "Scopes": ["user"]}
permachine|Velkin.PerMachine|--license MIT|{"License": "MIT", "Architecture": "x86", "Scopes": ["machine"]}
hostile|Velkin.Hostile|--license "$hostile_license" --short-description "$hostile_summary"|{"Architecture": "x64", "Scopes": ["user", "machine"]}
TABLE

# velkin-pack.exe writes the same files, byte for byte.
mkdir -p "$work/windows"
"$loader" "$bin/velkin-pack.exe" manifest "$(windows_path "$work/demo-setup.exe")" --winget --id Velkin.Demo \
  --url "$url" --license 'MIT License' -o "$(windows_path "$work/windows")" >/dev/null 2>&1 </dev/null
diff -r "$work/demo" "$work/windows" >"$work/diff" && echo "ok: velkin-pack.exe writes the same manifests" \
  || fail "velkin-pack.exe's manifests differ: $(head -20 "$work/diff")"

# Refused before anything is written: exit 1 and one line naming what to mend.
while IFS='|' read -r what expected options; do
  eval "set -- $options"
  manifest_of "$work/demo-setup.exe" "$work/refused" "$@"
  status=$?
  [ "$status" = 1 ] && [ "$(wc -l <"$work/stderr")" = 1 ] && grep -qF -- "$expected" "$work/stderr" \
    && [ -z "$(ls -A "$work/refused")" ] && echo "ok: refused: $what" \
    || fail "$what: exit $status, $(ls -A "$work/refused"): $(cat "$work/stderr")"
done <<TABLE
no license|give --license|--id Velkin.Demo
an identifier of one part|--id 'Demo' is no winget PackageIdentifier|--id Demo --license MIT
an identifier that is a path|--id '../../x.y' is no winget PackageIdentifier|--id ../../x.y --license MIT
a locale that is a path|--locale 'en/../../x' is no language tag|--id Velkin.Demo --license MIT --locale en/../../x
TABLE
"$pack" manifest "$packages/demo.msi" --winget --id Velkin.Demo --url "$url" --license MIT -o "$work/refused" \
  2>"$work/stderr" </dev/null
[ $? = 1 ] && grep -q "is a package" "$work/stderr" && echo "ok: refused: a package" || fail "a package: $(cat "$work/stderr")"
"$pack" manifest "$work/demo-setup.exe" --id Velkin.Demo --url "$url" -o "$work/refused" 2>/dev/null </dev/null
[ $? = 2 ] && echo "ok: refused: no --winget" || fail "no --winget was not a usage error"

# --id: every character that winget's own pattern refuses (its schema's
# PackageIdentifier, with \s as Unicode has it, U+FEFF added as ECMAScript
# has it), and Windows' device names in any part, on this host as on Windows.
pattern='^[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}(\.[^\.\s\\/:\*\?"<>\|\x01-\x1f]{1,32}){1,7}$'
python3 - "$pattern" >"$work/refused-ids" <<'PYTHON'
import re, sys
pattern = re.compile(sys.argv[1])
for c in list(range(1, 0xD800)) + list(range(0xE000, 0x10000)):
    if c == 0xFEFF or not pattern.match(f"Velkin.De{chr(c)}mo"):
        print(f"Velkin.De{chr(c)}mo", end="\0")
PYTHON
count=$(tr -cd '\0' <"$work/refused-ids" | wc -c)
grep -q $'\u205F' "$work/refused-ids" && [ "$count" -gt 30 ] || fail "the pattern refuses too little: $count identifiers"
accepted=0
while IFS= read -r -d '' id; do
  manifest_of "$work/demo-setup.exe" "$work/refused" --id "$id" --license MIT
  [ $? = 1 ] && grep -qF "is no winget PackageIdentifier" "$work/stderr" && [ -z "$(ls -A "$work/refused")" ] \
    || { accepted=$((accepted + 1)); fail "--id $(printf %q "$id"): $(cat "$work/stderr")"; }
done <"$work/refused-ids"
[ "$accepted" = 0 ] && echo "ok: every identifier winget's pattern refuses is refused ($count)"
for id in Velkin.Dé.日本 Velkin.CONSOLE Velkin.COM10 A.B; do
  manifest_of "$work/demo-setup.exe" "$work/accepted" --id "$id" --license MIT \
    || fail "--id $id, which winget takes: $(cat "$work/stderr")"
done
echo "ok: identifiers that winget takes are taken"
for id in CON.NUL Velkin.con Velkin.Com1.App Velkin.LPT9 Velkin.AUX Velkin.CONIN\$; do
  manifest_of "$work/demo-setup.exe" "$work/refused" --id "$id" --license MIT
  [ $? = 1 ] && grep -qF "which Windows takes for a device" "$work/stderr" && [ -z "$(ls -A "$work/refused")" ] \
    && echo "ok: refused: --id $id: $(cat "$work/stderr")" || fail "--id $id: $(cat "$work/stderr")"
done
"$loader" "$bin/velkin-pack.exe" manifest "$(windows_path "$work/demo-setup.exe")" --winget --id CON.NUL \
  --url "$url" --license MIT -o "$(windows_path "$work/refused")" >/dev/null 2>"$work/stderr" </dev/null
[ $? = 1 ] && grep -qF "which Windows takes for a device" "$work/stderr" \
  && echo "ok: velkin-pack.exe refuses CON.NUL alike" || fail "velkin-pack.exe, CON.NUL: $(cat "$work/stderr")"

# Written again with another locale: the set is replaced, one default locale;
# a locale manifest of another language stays.
manifest_of "$work/demo-setup.exe" "$work/relocale" --id Velkin.Demo --license MIT --locale en-US
printf 'PackageIdentifier: Velkin.Demo\nManifestType: locale\nManifestVersion: 1.10.0\n' \
  >"$work/relocale/Velkin.Demo.locale.fr-FR.yaml"
"$pack" manifest "$work/demo-setup.exe" --winget --url "$url" --id Velkin.Demo --license MIT --locale de-DE \
  -o "$work/relocale" 2>"$work/stderr" </dev/null
[ "$(ls "$work/relocale" | tr '\n' ' ')" = "Velkin.Demo.installer.yaml Velkin.Demo.locale.de-DE.yaml Velkin.Demo.locale.fr-FR.yaml Velkin.Demo.yaml " ] \
  && grep -qx 'DefaultLocale: "de-DE"' "$work/relocale/Velkin.Demo.yaml" \
  && echo "ok: another locale replaces the default locale's manifest" \
  || fail "another locale: $(ls "$work/relocale"): $(cat "$work/stderr")"

# One version for three architectures: one set, an installer per setup (its
# Architecture, URL in the order given, SHA-256, scope and ProductCode), held
# to the schema's rules for them.
for arch in x64 Arm64; do
  cp "$packages/demo.msi" "$work/$arch.msi"
  code=$(python3 -c 'import uuid; print("{%s}" % str(uuid.uuid4()).upper())')
  msibuild "$work/$arch.msi" -q "UPDATE \`Property\` SET \`Value\` = '$code' WHERE \`Property\` = 'ProductCode'" \
    -s "Demo" "Velkin" "$arch;1033" "$code" || fail "msibuild cannot make the $arch package"
  "$pack" "$work/$arch.msi" -o "$work/$arch-setup.exe" 2>/dev/null </dev/null || fail "cannot pack for $arch"
done
rm -rf "$work/multi" && mkdir -p "$work/multi"
"$pack" manifest "$work/demo-setup.exe" "$work/x64-setup.exe" "$work/Arm64-setup.exe" --winget --id Velkin.Demo \
  --url https://example.com/x86.exe --url https://example.com/x64.exe --url https://example.com/arm64.exe \
  --license MIT -o "$work/multi" 2>"$work/stderr" </dev/null || fail "three setups: $(cat "$work/stderr")"
python3 - "$work/multi" "$(sha256sum "$work/demo-setup.exe" | cut -d' ' -f1)" \
  "$(sha256sum "$work/x64-setup.exe" | cut -d' ' -f1)" "$(sha256sum "$work/Arm64-setup.exe" | cut -d' ' -f1)" \
  "$(package_property "$packages/demo.msi" ProductCode)" "$(package_property "$work/x64.msi" ProductCode)" \
  "$(package_property "$work/Arm64.msi" ProductCode)" <<'PYTHON' && echo "ok: three setups, one installer manifest" || fail "three setups"
import os, re, sys, yaml
directory, sums, codes = sys.argv[1], sys.argv[2:5], sys.argv[5:8]
names = sorted(os.listdir(directory))
assert names == ["Velkin.Demo.installer.yaml", "Velkin.Demo.locale.en-US.yaml", "Velkin.Demo.yaml"], names
m = yaml.safe_load(open(os.path.join(directory, "Velkin.Demo.installer.yaml"), encoding="utf-8"))
installers = m["Installers"]
expected = [("x86", "https://example.com/x86.exe", 0), ("x64", "https://example.com/x64.exe", 1),
            ("arm64", "https://example.com/arm64.exe", 2)]
# The demo installs per user or per machine, chosen at install: two each.
assert [(i["Architecture"], i["InstallerUrl"]) for i in installers] == \
    [(a, u) for a, u, _ in expected for _ in (0, 1)], installers
seen = set()
for installer, (_, _, index) in zip(installers, [e for e in expected for _ in (0, 1)]):
    assert installer["InstallerSha256"] == sums[index].upper() or installer["InstallerSha256"].lower() == sums[index]
    assert re.fullmatch(r"[A-Fa-f0-9]{64}", installer["InstallerSha256"])
    assert installer["ProductCode"] == codes[index], (installer["ProductCode"], codes[index])
    assert installer["Architecture"] in ("x86", "x64", "arm", "arm64", "neutral")
    key = (installer["Architecture"], installer["Scope"])
    assert key not in seen, key
    seen.add(key)
assert m["PackageVersion"] == "1.0.0" and m["ManifestType"] == "installer"
PYTHON
cp "$packages/demo.msi" "$work/newer.msi"
msibuild "$work/newer.msi" -q "UPDATE \`Property\` SET \`Value\` = '1.0.1' WHERE \`Property\` = 'ProductVersion'" \
  -s "Demo" "Velkin" "x64;1033" "{5A0E3C21-7B9D-4F61-8E2A-3C4D5E6F7081}" && "$pack" "$work/newer.msi" \
  -o "$work/newer-setup.exe" 2>/dev/null </dev/null || fail "cannot make the newer setup"
while IFS='|' read -r what expected status setups urls; do
  rm -rf "$work/refused" && mkdir -p "$work/refused"
  eval "set -- $setups"
  eval "urls=($urls)"
  "$pack" manifest "$@" --winget --id Velkin.Demo "${urls[@]}" --license MIT -o "$work/refused" \
    >/dev/null 2>"$work/stderr" </dev/null
  got=$?
  [ "$got" = "$status" ] && grep -qF -- "$expected" "$work/stderr" && [ -z "$(ls -A "$work/refused")" ] \
    && echo "ok: refused: $what" || fail "$what: exit $got: $(cat "$work/stderr")"
done <<TABLE
setups of two versions|The setups are not of one product version: $work/demo-setup.exe has 1.0.0, $work/newer-setup.exe has 1.0.1|1|"$work/demo-setup.exe" "$work/newer-setup.exe"|--url https://e.com/a.exe --url https://e.com/b.exe
two setups for x64|are both for x64|1|"$work/x64-setup.exe" "$work/x64-setup.exe"|--url https://e.com/a.exe --url https://e.com/b.exe
fewer URLs than setups|one --url per setup, in the same order: 2 setups, 1 --url|2|"$work/demo-setup.exe" "$work/x64-setup.exe"|--url https://e.com/a.exe
TABLE

# A setup in three languages: for each language, in the setup's order, the
# installers of its base packed alone, each with the language's
# InstallerLocale and its TRANSFORMS (the base's empty) after the scope's
# Custom; a language that has no tag writes nothing.
"$pack" "$packages/language-1033.msi" -o "$work/language-base-setup.exe" 2>/dev/null </dev/null \
  && "$pack" "$packages/language-1033.msi" --language "$packages/language-1031.msi" \
    --language "$packages/language-1036.msi" -o "$work/language-setup.exe" 2>/dev/null </dev/null \
  || fail "cannot pack the language setups"
manifest_of "$work/language-base-setup.exe" "$work/language-base" --id Velkin.Language --license MIT \
  && manifest_of "$work/language-setup.exe" "$work/language" --id Velkin.Language --license MIT \
  || fail "the language setups' manifests: $(cat "$work/stderr")"
python3 - "$work/language-base" "$work/language" "$(sha256sum "$work/language-setup.exe" | cut -d' ' -f1)" <<'PYTHON' \
  && echo "ok: a setup in three languages has an installer per language" || fail "the language setup's manifests"
import os, re, sys, yaml
base_dir, directory, sha = sys.argv[1], sys.argv[2], sys.argv[3]
def load(d, name):
    return yaml.safe_load(open(os.path.join(d, name), encoding="utf-8"))
for name in ("Velkin.Language.yaml", "Velkin.Language.locale.en-US.yaml"):
    assert load(base_dir, name) == load(directory, name), name
base, multi = (load(d, "Velkin.Language.installer.yaml") for d in (base_dir, directory))
assert "InstallerLocale" not in str(base) and "TRANSFORMS" not in str(base), base
expected = []
for tag, transforms in (("en-US", 'TRANSFORMS=""'), ("de-DE", "TRANSFORMS=:1031"), ("fr-FR", "TRANSFORMS=:1036")):
    for installer in base["Installers"]:
        e = dict(installer, InstallerLocale=tag, InstallerSha256=sha.upper())
        switches = dict(e["InstallerSwitches"])
        switches["Custom"] = " ".join(filter(None, (switches.get("Custom"), transforms)))
        e["InstallerSwitches"] = switches
        expected.append(e)
installers = multi.pop("Installers")
assert len(installers) == len(expected) == 3 * len(base.pop("Installers")), installers
for got, wanted in zip(installers, expected):
    assert got == wanted, (got, wanted)
    # The schema's Locale.
    assert re.fullmatch(r"([a-zA-Z]{2,3}|[iI]-[a-zA-Z]+|[xX]-[a-zA-Z]{1,8})(-[a-zA-Z]{1,8})*", got["InstallerLocale"])
assert multi == base, (multi, base)
keys = [(i["Architecture"], i["Scope"], i["InstallerLocale"]) for i in installers]
assert len(set(keys)) == len(keys), keys
PYTHON
mkdir -p "$work/windows-language"
"$loader" "$bin/velkin-pack.exe" manifest "$(windows_path "$work/language-setup.exe")" --winget --id Velkin.Language \
  --url "$url" --license MIT -o "$(windows_path "$work/windows-language")" >/dev/null 2>&1 </dev/null
diff -r "$work/language" "$work/windows-language" >"$work/diff" \
  && echo "ok: velkin-pack.exe writes the same manifests for the language setup" \
  || fail "velkin-pack.exe's language manifests differ: $(head -20 "$work/diff")"
# Each variant's installer per user, run as winget runs it (Silent, then
# Custom) by a Japanese user, for whom the setup alone would install English:
# the installer's language. (The base's TRANSFORMS="" would reach the setup
# otherwise quoted from here; the wrapper's tests hand it over as typed.)
python3 - "$work/language/Velkin.Language.installer.yaml" >"$work/language-runs" <<'PYTHON'
import sys, yaml
for i in yaml.safe_load(open(sys.argv[1], encoding="utf-8"))["Installers"]:
    switches = i["InstallerSwitches"]
    if i["Scope"] == "user" and '"' not in switches["Custom"]:
        print({"de-DE": 1031, "fr-FR": 1036}[i["InstallerLocale"]], switches["Silent"], switches["Custom"])
PYTHON
[ "$(cut -d' ' -f1 "$work/language-runs" | tr '\n' ' ')" = "1031 1036 " ] || fail "runs: $(cat "$work/language-runs")"
while read -r expected arguments; do
  # shellcheck disable=SC2086 # the switches, split as winget's command line is
  LANG=ja_JP.UTF-8 "$loader" "$(windows_path "$work/language-setup.exe")" $arguments </dev/null
  installed=$(installed_language)
  [ "$installed" = "$expected" ] && echo "ok: ja_JP, $arguments: installs $expected" \
    || fail "ja_JP, $arguments: installed $installed, not $expected"
  LANG=ja_JP.UTF-8 "$loader" "$(windows_path "$work/language-setup.exe")" uninstall /qn </dev/null
  [ "$(installed_language)" = none ] || fail "$arguments: left after uninstall: $(installed_language)"
done <"$work/language-runs"
# Albanian (1052): a language that velkin-pack packs but knows no tag of.
cp "$packages/language-1031.msi" "$work/language-1052.msi"
msibuild "$work/language-1052.msi" -q "UPDATE \`Property\` SET \`Value\` = '1052' WHERE \`Property\` = 'ProductLanguage'" \
  && "$pack" "$packages/language-1033.msi" --language "$work/language-1052.msi" -o "$work/untagged-setup.exe" \
    2>/dev/null </dev/null || fail "cannot pack the setup in Albanian"
manifest_of "$work/untagged-setup.exe" "$work/refused" --id Velkin.Language --license MIT
status=$?
[ "$status" = 1 ] && [ "$(wc -l <"$work/stderr")" = 1 ] && [ -z "$(ls -A "$work/refused")" ] \
  && grep -qF "$work/untagged-setup.exe offers the language 1052, whose BCP-47 tag velkin-pack does not know" \
    "$work/stderr" && echo "ok: refused: a language without a tag: $(cat "$work/stderr")" \
  || fail "a language without a tag: exit $status, $(ls -A "$work/refused"): $(cat "$work/stderr")"

# -o naming a file.
"$pack" manifest "$work/demo-setup.exe" --winget --url "$url" --id Velkin.Demo --license MIT \
  -o "$work/demo-setup.exe" 2>"$work/stderr" </dev/null
[ $? = 1 ] && grep -qF "The output $work/demo-setup.exe is not a directory" "$work/stderr" \
  && echo "ok: -o naming a file: $(cat "$work/stderr")" || fail "-o naming a file: $(cat "$work/stderr")"

# SIGTERM while the set is published (the test hook waits before it and after each file)
# waits for the whole set: every file of the new version, exit 1 and one
# line; no staging file stays.
versions_in() {
  for f in "$1"/*.yaml; do sed -n 's/^PackageVersion: "\(.*\)"$/\1/p' "$f"; done | sort -u | tr '\n' ' '
}
for staging in unnamed named; do
  rm -rf "$work/race" && mkdir -p "$work/race"
  "$pack" manifest "$work/newer-setup.exe" --winget --url "$url" --id Velkin.Demo --license MIT -o "$work/race" \
    2>/dev/null </dev/null
  inode=$(stat -c %i "$work/race/Velkin.Demo.yaml")
  VELKIN_PACK_STAGING=$staging VELKIN_PACK_TEST_PUBLISH_PAUSE=2000 "$pack" manifest "$work/demo-setup.exe" --winget \
    --url "$url" --id Velkin.Demo --license MIT -o "$work/race" 2>"$work/stderr" </dev/null &
  runner=$!
  for _ in $(seq 2000); do
    [ "$(stat -c %i "$work/race/Velkin.Demo.yaml")" != "$inode" ] && break
    sleep 0.01
  done
  kill -TERM "$runner"
  wait "$runner"
  status=$?
  [ "$status" = 1 ] && [ "$(versions_in "$work/race")" = "1.0.0 " ] && [ "$(ls -A "$work/race" | wc -l)" = 3 ] \
    && grep -qx "velkin-pack: error: Ended by signal 15 (Terminated) after every output was published" "$work/stderr" \
    && echo "ok: $staging staging: SIGTERM during the publication waits for the whole set" \
    || fail "$staging staging: SIGTERM during the publication: exit $status, versions $(versions_in "$work/race"): $(ls -A "$work/race") $(cat "$work/stderr")"
done
finish
