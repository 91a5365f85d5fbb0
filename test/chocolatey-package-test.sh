#!/usr/bin/env bash
# velkin-pack manifest --chocolatey: the .nupkg read back with Python's
# zipfile and an XML parser (every part NuGet readers require, the nuspec's
# facts from the package and the options, the setup byte for byte, the
# install script's codes and byte order mark, with --license-file the two
# files the community repository asks for); the same bytes twice and from
# velkin-pack.exe; installed from a folder feed by NuGet's own client
# (nuget.exe 5.8 under Mono); refused ids and descriptions write nothing.
# Usage: chocolatey-package-test.sh <velkin-pack> <Windows bin directory> <package directory> <wine loader>
#          <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
source "$(dirname "$0")/../scripts/wine-paths.sh"
pack=$1
bin=$2
packages=$3
loader=$4
work=$5

rm -rf "$work" && mkdir -p "$work"
url="https://example.com/downloads/app-setup.exe"

# check_nupkg <nupkg> <setup> <package> <expected JSON: id, version, description, tags, license file or null>
check_nupkg() {
  python3 - "$1" "$2" "$4" "$(package_property "$3" ProductName)" "$(package_property "$3" Manufacturer)" \
    "$url" <<'PYTHON'
import json, re, sys, urllib.parse, zipfile, xml.etree.ElementTree as ET
nupkg, setup, expected, product, manufacturer, url = sys.argv[1:]
e = json.loads(expected)
problems = []
def check(what, actual, wanted):
    if actual != wanted:
        problems.append(f"{what}: {actual!r}, not {wanted!r}")
setup_name = setup.rsplit("/", 1)[1]
# NuGet's part names are percent-encoded UTF-8.
setup_part = "tools/" + urllib.parse.quote(setup_name, safe="-._~")
z = zipfile.ZipFile(nupkg)
check("CRCs", z.testzip(), None)
infos = z.infolist()
names = [i.filename for i in infos]
psmdcp = [n for n in names if re.fullmatch(r"package/services/metadata/core-properties/[0-9a-f]{32}\.psmdcp", n)]
check("one core properties part", len(psmdcp), 1)
extra = ["tools/LICENSE.txt"] if e["license"] else []
wanted = ["_rels/.rels", f"{e['id']}.nuspec", "tools/chocolateyInstall.ps1"] + extra + [setup_part] + \
    (["tools/VERIFICATION.txt"] if e["license"] else []) + ["[Content_Types].xml"] + psmdcp[:1]
check("parts", names, wanted)
check("methods", {i.compress_type for i in infos}, {zipfile.ZIP_DEFLATED})
check("times", {i.date_time for i in infos}, {(1980, 1, 1, 0, 0, 0)})
check("the setup", z.read(setup_part) == open(setup, "rb").read(), True)
ns = {"n": "http://schemas.microsoft.com/packaging/2015/06/nuspec.xsd"}
nuspec = z.read(f"{e['id']}.nuspec")
check("nuspec declaration", nuspec.startswith(b'<?xml version="1.0" encoding="utf-8"?>'), True)
meta = ET.fromstring(nuspec).find("n:metadata", ns)
for key, value in (("id", e["id"]), ("version", e["version"]), ("title", product), ("authors", manufacturer),
                   ("projectUrl", e.get("projectUrl")), ("tags", e["tags"]), ("description", e["description"])):
    check(f"nuspec {key}", meta.findtext(f"n:{key}", namespaces=ns), value)
rels = ET.fromstring(z.read("_rels/.rels"))
targets = {r.get("Type"): r.get("Target") for r in rels}
check("relationships", targets, {
    "http://schemas.microsoft.com/packaging/2010/07/manifest": f"/{e['id']}.nuspec",
    "http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties": "/" + psmdcp[0]})
check("relationship ids", len({r.get("Id") for r in rels}), 2)
types = ET.fromstring(z.read("[Content_Types].xml"))
defaults = {d.get("Extension"): d.get("ContentType") for d in types}
for name in names[:-2] + names[-1:]:
    extension = name.rsplit(".", 1)[1].lower()
    typ = {"rels": "application/vnd.openxmlformats-package.relationships+xml",
           "psmdcp": "application/vnd.openxmlformats-package.core-properties+xml"}.get(extension, "application/octet")
    check(f"content type of {name}", defaults.get(extension), typ)
core = ET.fromstring(z.read(psmdcp[0]))
dc = "{http://purl.org/dc/elements/1.1/}"
cp = "{http://schemas.openxmlformats.org/package/2006/metadata/core-properties}"
check("core properties", (core.findtext(dc + "identifier"), core.findtext(cp + "version"),
                          core.findtext(dc + "creator"), core.findtext(dc + "description"), core.findtext(cp + "keywords")),
      (e["id"], e["version"], manufacturer, e["description"], e["tags"]))
script = z.read("tools/chocolateyInstall.ps1")
check("script BOM", script[:3], b"\xef\xbb\xbf")
text = script[3:].decode("utf-8")
for piece in ("Install-ChocolateyInstallPackage ", "-FileType exe", f"-SilentArgs '{e['silent']}' ",
              "-ValidExitCodes @(0, 3010, 1641)", f"Join-Path $toolsDir '{setup_name}'"):
    check(f"script holds {piece}", piece in text, True)
if e["license"]:
    check("LICENSE.txt", z.read("tools/LICENSE.txt"), open(e["license"], "rb").read())
    verification = z.read("tools/VERIFICATION.txt").decode("utf-8")
    import hashlib
    digest = hashlib.sha256(open(setup, "rb").read()).hexdigest()
    check("VERIFICATION.txt: SHA-256", digest.upper() in verification.upper(), True)
    check("VERIFICATION.txt: URL", url in verification, True)
for problem in problems:
    print("  " + problem)
sys.exit(1 if problems else 0)
PYTHON
}

# chocolatey_of <setup> <directory> <options...>
chocolatey_of() {
  local setup=$1 directory=$2
  shift 2
  rm -rf "$directory" && mkdir -p "$directory"
  "$pack" manifest "$setup" --chocolatey --url "$url" -o "$directory" "$@" >"$work/stdout" 2>"$work/stderr" </dev/null
}

for name in demo permachine; do
  "$pack" "$packages/$name.msi" -o "$work/$name-setup.exe" 2>/dev/null </dev/null || fail "$name: cannot pack"
done
printf 'MIT License\r\n\r\nCopyright \xc2\xa9 Velkin\r\n' >"$work/LICENSE"
long_description="A description long enough for the community repository, with <markup> & \"quotes\""

# name|id|nupkg version|options|expected JSON (description, tags, license)
while IFS='|' read -r name id version options expected; do
  eval "set -- $options"
  chocolatey_of "$work/$name-setup.exe" "$work/$name" --id "$id" "$@"
  nupkg="$work/$name/$id.$version.nupkg"
  if [ ! -f "$nupkg" ]; then
    fail "$name: no $id.$version.nupkg: $(ls "$work/$name") $(cat "$work/stderr")"
    continue
  fi
  check_nupkg "$nupkg" "$work/$name-setup.exe" "$packages/$name.msi" \
    "$(python3 -c 'import json, sys; e = json.loads(sys.argv[1]); e["id"], e["version"] = sys.argv[2:4]
e["license"] = e["license"] and sys.argv[5]; e["description"] = e["description"] or sys.argv[4]; print(json.dumps(e))' \
      "$expected" "$id" "$version" "$long_description" "$work/LICENSE")" \
    && echo "ok: $name: the package says what it should" || fail "$name: the package differs from what it should be"
done <<'TABLE'
demo|velkin-demo|1.0.0||{"description": "Installed by a Velkin setup executable", "tags": "velkin demo", "license": false, "silent": "/qn /norestart MSIINSTALLPERUSER=\"\""}
permachine|Velkin.PerMachine_2|2.5.1|--description "$long_description" --tags ' grüße  test ' --license-file "$work/LICENSE" --project-url https://example.com/home|{"description": "", "tags": "grüße test", "license": true, "silent": "/qn /norestart", "projectUrl": "https://example.com/home"}
TABLE

# A setup whose name is no part name as it stands (but one Windows can
# hold): percent-encoded in the package, as it is in the script.
odd="$work/odd/Grüße & [Setup] {100%}.exe"
mkdir -p "$work/odd" && cp "$work/demo-setup.exe" "$odd"
chocolatey_of "$odd" "$work/odd/out" --id velkin-odd \
  && check_nupkg "$work/odd/out/velkin-odd.1.0.0.nupkg" "$odd" "$packages/demo.msi" \
    '{"id": "velkin-odd", "version": "1.0.0", "description": "Installed by a Velkin setup executable", "tags": "velkin demo", "license": false, "silent": "/qn /norestart MSIINSTALLPERUSER=\"\""}' \
  && echo "ok: a setup named with blanks, brackets, a percent sign and UTF-8" || fail "a setup with an odd name: $(cat "$work/stderr")"

# A setup named as another part of the package (the install script, or the
# license with --license-file) would make two parts of one name: refused,
# and nothing written.
mkdir -p "$work/clash"
while IFS='|' read -r name options; do
  cp "$work/demo-setup.exe" "$work/clash/$name"
  eval "chocolatey_of \"\$work/clash/\$name\" \"\$work/clash/out\" --id velkin-clash $options"
  status=$?
  [ "$status" = 1 ] && grep -qF "The setup's file name $name is that of another file of the package" "$work/stderr" \
    && [ -z "$(ls -A "$work/clash/out")" ] && echo "ok: a setup named $name is refused" \
    || fail "a setup named $name: exit $status: $(cat "$work/stderr") $(ls -A "$work/clash/out")"
  rm -f "$work/clash/$name"
done <<'TABLE'
chocolateyInstall.ps1|
LICENSE.txt|--license-file "$work/LICENSE"
VERIFICATION.txt|--license-file "$work/LICENSE"
TABLE

# The same bytes on every run, and from velkin-pack.exe.
cp "$work/demo/velkin-demo.1.0.0.nupkg" "$work/first.nupkg"
chocolatey_of "$work/demo-setup.exe" "$work/demo" --id velkin-demo
cmp -s "$work/first.nupkg" "$work/demo/velkin-demo.1.0.0.nupkg" && echo "ok: the same bytes twice" \
  || fail "a second run writes other bytes"
mkdir -p "$work/windows"
"$loader" "$bin/velkin-pack.exe" manifest "$(windows_path "$work/demo-setup.exe")" --chocolatey --id velkin-demo \
  --url "$url" -o "$(windows_path "$work/windows")" >/dev/null 2>"$work/stderr" </dev/null
cmp -s "$work/first.nupkg" "$work/windows/velkin-demo.1.0.0.nupkg" && echo "ok: velkin-pack.exe writes the same bytes" \
  || fail "velkin-pack.exe's package differs: $(ls "$work/windows") $(cat "$work/stderr")"

# NuGet's own client installs the packages from a folder feed: the parts it
# requires are there and readable, the files land where Chocolatey runs them.
nuget="$(npm root -g 2>/dev/null)/nuget-exe/nuget-5.8.0.exe"
if [ -f "$nuget" ] && command -v mono >/dev/null; then
  mkdir -p "$work/feed" "$work/installed"
  cp "$work/first.nupkg" "$work/feed/velkin-demo.1.0.0.nupkg"
  cp "$work/permachine/Velkin.PerMachine_2.2.5.1.nupkg" "$work/odd/out/velkin-odd.1.0.0.nupkg" "$work/feed/"
  for id in velkin-demo Velkin.PerMachine_2 velkin-odd; do
    mono "$nuget" install "$id" -Source "$work/feed" -OutputDirectory "$work/installed" -NonInteractive \
      >"$work/nuget.log" 2>&1
    status=$?
    folder=$(ls -d "$work/installed/$id".* 2>/dev/null)
    [ "$status" = 0 ] && [ -f "$folder/tools/chocolateyInstall.ps1" ] && ls "$folder/tools/"*.exe >/dev/null 2>&1 \
      && echo "ok: nuget.exe installs $id from a folder feed" \
      || fail "nuget.exe install $id: exit $status: $(grep -v '^  at' "$work/nuget.log" | tail -5)"
  done
  cmp -s "$work/installed/velkin-demo.1.0.0/tools/demo-setup.exe" "$work/demo-setup.exe" \
    && cmp -s "$work/installed/velkin-odd.1.0.0/tools/$(basename "$odd")" "$odd" \
    && echo "ok: the setups NuGet unpacked are the setups, under their own names" \
    || fail "NuGet unpacked other setups: $(ls "$work/installed/"*/tools)"
else
  fail "no NuGet client: $nuget under mono (scripts/install-deps.sh installs both)"
fi

# Refused before anything is written: exit 1 and one line naming what to mend.
: >"$work/empty"
cp "$packages/demo.msi" "$work/v256.msi"
msibuild "$work/v256.msi" -q "UPDATE \`Property\` SET \`Value\` = '256.0.0' WHERE \`Property\` = 'ProductVersion'" \
  && "$pack" "$work/v256.msi" -o "$work/v256-setup.exe" 2>"$work/stderr" </dev/null \
  && grep -qF "warning: The ProductVersion '256.0.0' is no version that Windows Installer takes" "$work/stderr" \
  && echo "ok: packing warns of a ProductVersion that Windows Installer does not take" \
  || fail "packing 256.0.0: $(cat "$work/stderr")"
while IFS='|' read -r what setup expected options; do
  eval "set -- $options"
  chocolatey_of "$work/$setup-setup.exe" "$work/refused" "$@"
  status=$?
  [ "$status" = 1 ] && [ "$(wc -l <"$work/stderr")" = 1 ] && grep -qF -- "$expected" "$work/stderr" \
    && [ -z "$(ls -A "$work/refused")" ] && echo "ok: refused: $what" \
    || fail "$what: exit $status, $(ls -A "$work/refused"): $(cat "$work/stderr")"
done <<'TABLE'
an id with a blank|demo|--id 'velkin demo'|--id 'velkin demo'
an id that is a path|demo|--id '../x'|--id ../x
an id ending in a hyphen|demo|--id 'velkin-'|--id velkin-
a description too short|demo|--description must have 30 to 4000 characters|--id velkin-demo --description short
tags with a comma|demo|--tags 'a, b'|--id velkin-demo --tags 'a, b'
a license file that is missing|demo|The license file|--id velkin-demo --license-file /nonexistent/LICENSE
a license file without a size|demo|The license file /proc/self/status is empty, or has no size to read|--id velkin-demo --license-file /proc/self/status
an empty license file|demo|is empty, or has no size to read|--id velkin-demo --license-file "$work/empty"
tags that are blanks alone|demo|--tags ' ' holds no tag|--id velkin-demo --tags ' '
a description that is no UTF-8|demo|--description 'thirty characters and a \xFF byte ...' holds bytes that are no UTF-8 text|--id velkin-demo --description "$(printf 'thirty characters and a \xff byte ...')"
an id that is a device|demo|--id 'CON' is no file name that Windows can hold: CON is the name of a device there|--id CON
an id that is a device in lower case|demo|--id 'nul' is no file name that Windows can hold: NUL is the name|--id nul
an id whose first word is a device|demo|--id 'aux.x' is no file name that Windows can hold: AUX is the name|--id aux.x
a home page that is no web address|demo|--project-url 'example.com' is no http|--id velkin-demo --project-url example.com
a version Windows Installer does not take|v256|The ProductVersion '256.0.0' is no version that Windows Installer takes|--id velkin-demo
-o naming a file|demo|is not a directory: -o names the directory|--id velkin-demo -o "$work/demo-setup.exe"
TABLE
"$pack" manifest "$packages/demo.msi" --chocolatey --id velkin-demo --url "$url" -o "$work/refused" \
  2>"$work/stderr" </dev/null
[ $? = 1 ] && grep -q "is a package" "$work/stderr" && echo "ok: refused: a package" || fail "a package: $(cat "$work/stderr")"
"$pack" manifest "$work/demo-setup.exe" --chocolatey --id velkin-demo --url "$url" --license MIT -o "$work/refused" \
  2>/dev/null </dev/null
[ $? = 2 ] && echo "ok: refused: a winget option" || fail "--license with --chocolatey was not a usage error"
for id in CON aux.x; do
  "$pack" manifest "$work/demo-setup.exe" --chocolatey --id "$id" --url "$url" -o "$work/refused" \
    2>"$work/stderr.linux" </dev/null
  "$loader" "$bin/velkin-pack.exe" manifest "$(windows_path "$work/demo-setup.exe")" --chocolatey --id "$id" \
    --url "$url" -o "$(windows_path "$work/refused")" >/dev/null 2>"$work/stderr" </dev/null
  [ $? = 1 ] && [ "$(tr -d '\r' <"$work/stderr")" = "$(cat "$work/stderr.linux")" ] && [ -z "$(ls -A "$work/refused")" ] \
    && echo "ok: velkin-pack.exe refuses --id $id with the same line" \
    || fail "velkin-pack.exe, --id $id: $(cat "$work/stderr") / $(cat "$work/stderr.linux")"
done
finish
