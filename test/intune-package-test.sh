#!/usr/bin/env bash
# velkin-pack manifest --intune: the .intunewin decoded by an independent
# reader (Python's zipfile, XML parser and cryptography): two stored outer
# entries in order, Detection.xml in the packager's shape without MsiInfo,
# the MAC verifies, the plaintext's SHA-256 and size are FileDigest and
# UnencryptedContentSize, the inner zip holds exactly the setup; the Graph
# body's facts per machine, per user and chosen at install; keys differ
# between runs while the inner zip stays the same, also from velkin-pack.exe;
# what Intune cannot take writes nothing.
# Usage: intune-package-test.sh <velkin-pack> <Windows bin directory> <package directory> <wine loader>
#          <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
source "$(dirname "$0")/../scripts/wine-paths.sh"
GRAPH_SCHEMA_DIR=$(cd "$(dirname "$0")/support" && pwd)
export GRAPH_SCHEMA_DIR
pack=$1
bin=$2
packages=$3
loader=$4
work=$5

rm -rf "$work" && mkdir -p "$work"

# check_intune <directory> <setup> <package> <expected JSON: runAsAccount, packageType, install arguments,
#   architectures> <inner zip copy>: everything decoded and compared; the plaintext is kept for comparisons.
check_intune() {
  local expected
  expected=$(python3 -c 'import json, sys; e = json.loads(sys.argv[1])
e.update(zip(("ProductCode", "ProductVersion", "UpgradeCode", "ProductName", "Manufacturer"), sys.argv[2:]))
print(json.dumps(e))' "$4" "$(package_property "$3" ProductCode)" "$(package_property "$3" ProductVersion)" \
    "$(package_property "$3" UpgradeCode)" "$(package_property "$3" ProductName)" "$(package_property "$3" Manufacturer)")
  python3 - "$1" "$2" "$expected" "$5" <<'PYTHON'
import base64, hashlib, hmac, io, json, os, re, sys, zipfile, xml.etree.ElementTree as ET
from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
directory, setup, e, inner_copy = sys.argv[1], sys.argv[2], json.loads(sys.argv[3]), sys.argv[4]
problems = []
def check(what, actual, wanted):
    if actual != wanted:
        problems.append(f"{what}: {actual!r}, not {wanted!r}")
sys.path.insert(0, os.environ["GRAPH_SCHEMA_DIR"])
from graph_beta_win32lobapp import graph_beta_problems
setup_name = os.path.basename(setup)
name = setup_name[:-4]
check("files", sorted(os.listdir(directory)), sorted([f"{name}.intunewin", f"{name}.win32LobApp.json"]))
outer = zipfile.ZipFile(os.path.join(directory, f"{name}.intunewin"))
check("outer CRCs", outer.testzip(), None)
contents, detection = "IntuneWinPackage/Contents/IntunePackage.intunewin", "IntuneWinPackage/Metadata/Detection.xml"
check("outer entries", [i.filename for i in outer.infolist()], [contents, detection])
check("outer methods", [i.compress_type for i in outer.infolist()], [zipfile.ZIP_STORED] * 2)
raw = outer.read(detection)
check("no XML declaration", raw.startswith(b"<ApplicationInfo "), True)
info = ET.fromstring(raw)
check("ToolVersion", re.fullmatch(r"1\.8\.\d+\.\d+", info.get("ToolVersion", "")) is not None, True)
check("elements", [c.tag for c in info], ["Name", "UnencryptedContentSize", "FileName", "SetupFile", "EncryptionInfo"])
check("Name", info.findtext("Name"), e["ProductName"])
check("FileName", info.findtext("FileName"), "IntunePackage.intunewin")
check("SetupFile", info.findtext("SetupFile"), setup_name)
enc = info.find("EncryptionInfo")
check("EncryptionInfo", [c.tag for c in enc], ["EncryptionKey", "MacKey", "InitializationVector", "Mac",
      "ProfileIdentifier", "FileDigest", "FileDigestAlgorithm"])
check("ProfileIdentifier", enc.findtext("ProfileIdentifier"), "ProfileVersion1")
check("FileDigestAlgorithm", enc.findtext("FileDigestAlgorithm"), "SHA256")
key, mac_key, iv, mac, digest = (base64.b64decode(enc.findtext(k)) for k in
                                 ("EncryptionKey", "MacKey", "InitializationVector", "Mac", "FileDigest"))
check("key sizes", [len(key), len(mac_key), len(iv)], [32, 32, 16])
blob = outer.read(contents)
check("Mac at the front", blob[:32], mac)
check("IV after it", blob[32:48], iv)
check("the MAC verifies", hmac.compare_digest(hmac.new(mac_key, blob[32:], hashlib.sha256).digest(), mac), True)
decryptor = Cipher(algorithms.AES(key), modes.CBC(iv)).decryptor()
padded = decryptor.update(blob[48:]) + decryptor.finalize()
unpadder = padding.PKCS7(128).unpadder()
plain = unpadder.update(padded) + unpadder.finalize()
check("FileDigest", hashlib.sha256(plain).digest(), digest)
check("UnencryptedContentSize", info.findtext("UnencryptedContentSize"), str(len(plain)))
inner = zipfile.ZipFile(io.BytesIO(plain))
check("inner entries", [(i.filename, i.compress_type) for i in inner.infolist()], [(setup_name, zipfile.ZIP_DEFLATED)])
check("the setup inside", inner.read(setup_name) == open(setup, "rb").read(), True)
open(inner_copy, "wb").write(plain)
open(inner_copy + ".keys", "w").write(" ".join(enc.findtext(k) for k in ("EncryptionKey", "MacKey", "InitializationVector")))
app = json.load(open(os.path.join(directory, f"{name}.win32LobApp.json"), encoding="utf-8"))
pc, pv = e["ProductCode"], e["ProductVersion"]
for k, v in (("@odata.type", "#microsoft.graph.win32LobApp"), ("displayName", e["ProductName"]),
             ("publisher", e["Manufacturer"]), ("fileName", f"{name}.intunewin"), ("setupFilePath", setup_name),
             ("installCommandLine", f'"{setup_name}" /qn /norestart{e["arguments"]}'),
             ("uninstallCommandLine", f"msiexec /x {pc} /qn /norestart"),
             ("installExperience", {"runAsAccount": e["runAsAccount"], "deviceRestartBehavior": "basedOnReturnCode"}),
             ("returnCodes", [{"returnCode": 0, "type": "success"}, {"returnCode": 1707, "type": "success"},
                              {"returnCode": 3010, "type": "softReboot"}, {"returnCode": 1641, "type": "hardReboot"},
                              {"returnCode": 1618, "type": "retry"}]),
             ("rules", [{"@odata.type": "#microsoft.graph.win32LobAppProductCodeRule", "ruleType": "detection",
                         "productCode": pc, "productVersionOperator": "greaterThanOrEqual", "productVersion": pv}]),
             ("applicableArchitectures", "none"), ("allowedArchitectures", e["architectures"]),
             ("msiInformation", {"productCode": pc, "productVersion": pv, "upgradeCode": e["UpgradeCode"],
                                 "requiresReboot": False, "packageType": e["packageType"],
                                 "productName": e["ProductName"], "publisher": e["Manufacturer"]})):
    check(f"Graph body: {k}", app.get(k), v)
check("Graph body: description", bool(app.get("description")), True)
problems += graph_beta_problems(app)
for problem in problems:
    print("  " + problem)
sys.exit(1 if problems else 0)
PYTHON
}

# intune_of <setup> <directory> <velkin-pack options...>
intune_of() {
  local setup=$1 directory=$2
  shift 2
  rm -rf "$directory" && mkdir -p "$directory"
  "$pack" manifest "$setup" --intune -o "$directory" "$@" >"$work/stdout" 2>"$work/stderr" </dev/null
}

# name|expected JSON (runAsAccount, packageType, install arguments, architectures)
while IFS='|' read -r name expected; do
  "$pack" "$packages/$name.msi" -o "$work/$name-setup.exe" 2>/dev/null </dev/null || fail "$name: cannot pack"
  intune_of "$work/$name-setup.exe" "$work/$name" \
    && check_intune "$work/$name" "$work/$name-setup.exe" "$packages/$name.msi" "$expected" "$work/$name.zip" \
    && echo "ok: $name: the package decodes and says what it should" || fail "$name: $(cat "$work/stderr")"
done <<'TABLE'
demo|{"runAsAccount": "system", "packageType": "dualPurpose", "arguments": " MSIINSTALLPERUSER=\"\"", "architectures": "x86,x64"}
peruser|{"runAsAccount": "user", "packageType": "perUser", "arguments": "", "architectures": "x86,x64"}
permachine|{"runAsAccount": "system", "packageType": "perMachine", "arguments": "", "architectures": "x86,x64"}
TABLE

# A second run: new keys, the same inner zip.
cp "$work/demo.zip.keys" "$work/first.keys"
intune_of "$work/demo-setup.exe" "$work/again" \
  && check_intune "$work/again" "$work/demo-setup.exe" "$packages/demo.msi" \
    '{"runAsAccount": "system", "packageType": "dualPurpose", "arguments": " MSIINSTALLPERUSER=\"\"", "architectures": "x86,x64"}' \
    "$work/again.zip" || fail "a second run: $(cat "$work/stderr")"
cmp -s "$work/demo.zip" "$work/again.zip" && echo "ok: the same inner zip twice" || fail "the inner zip differs"
python3 -c 'import sys; a, b = (open(f).read().split() for f in sys.argv[1:]); sys.exit(any(x == y for x, y in zip(a, b)))' \
  "$work/first.keys" "$work/again.zip.keys" && echo "ok: every key differs between runs" \
  || fail "a key repeats: $(cat "$work/first.keys") / $(cat "$work/again.zip.keys")"

# velkin-pack.exe: its package decodes the same way, around the same inner zip.
mkdir -p "$work/windows"
"$loader" "$bin/velkin-pack.exe" manifest "$(windows_path "$work/demo-setup.exe")" --intune \
  -o "$(windows_path "$work/windows")" >/dev/null 2>"$work/stderr" </dev/null
check_intune "$work/windows" "$work/demo-setup.exe" "$packages/demo.msi" \
  '{"runAsAccount": "system", "packageType": "dualPurpose", "arguments": " MSIINSTALLPERUSER=\"\"", "architectures": "x86,x64"}' \
  "$work/windows.zip" && cmp -s "$work/demo.zip" "$work/windows.zip" \
  && echo "ok: velkin-pack.exe writes the same inner zip" || fail "velkin-pack.exe: $(cat "$work/stderr")"
cmp -s "$work/demo/demo-setup.win32LobApp.json" "$work/windows/demo-setup.win32LobApp.json" \
  && echo "ok: velkin-pack.exe writes the same Graph body" || fail "velkin-pack.exe's Graph body differs"

# Refused before anything is written: both files or neither.
intune_of "$packages/demo.msi" "$work/refused"
[ $? = 1 ] && grep -q "is a package" "$work/stderr" && [ -z "$(ls -A "$work/refused")" ] \
  && echo "ok: refused: a package" || fail "a package: $(cat "$work/stderr")"
intune_of "$bin/velkin-setup.exe" "$work/refused"
[ $? = 1 ] && [ -z "$(ls -A "$work/refused")" ] && echo "ok: refused: the stub alone" \
  || fail "the stub alone: $(cat "$work/stderr")"
truncate -s 5G "$work/huge-setup.exe"
intune_of "$work/huge-setup.exe" "$work/refused"
[ $? = 1 ] && grep -q "bytes: velkin-pack makes Intune packages of setups up to" "$work/stderr" \
  && [ -z "$(ls -A "$work/refused")" ] && echo "ok: refused: a setup too large for a zip without ZIP64" \
  || fail "a setup of 5 GiB: $(cat "$work/stderr")"
rm -f "$work/huge-setup.exe"
rm -rf "$work/refused" && mkdir -p "$work/refused/demo-setup.win32LobApp.json"
"$pack" manifest "$work/demo-setup.exe" --intune -o "$work/refused" 2>"$work/stderr" </dev/null
[ $? = 1 ] && [ "$(ls -A "$work/refused")" = demo-setup.win32LobApp.json ] \
  && echo "ok: refused: one of the two outputs is a directory, and the other is not written" \
  || fail "an output that is a directory: $(ls -A "$work/refused") $(cat "$work/stderr")"
"$pack" manifest "$work/demo-setup.exe" --intune --id x -o "$work/refused" 2>/dev/null </dev/null
[ $? = 2 ] && echo "ok: refused: an option of another kind" || fail "--id with --intune was not a usage error"

# An Arm64 package: allowed on Arm64 alone, as Graph beta says it.
cp "$packages/demo.msi" "$work/arm64.msi"
msibuild "$work/arm64.msi" -s "Demo" "Velkin" "Arm64;1033" "{2B7D0C51-3E8A-4F9B-A1C2-D3E4F5061728}" \
  && "$pack" "$work/arm64.msi" -o "$work/arm64-setup.exe" 2>/dev/null </dev/null || fail "cannot make the Arm64 setup"
intune_of "$work/arm64-setup.exe" "$work/arm64" \
  && check_intune "$work/arm64" "$work/arm64-setup.exe" "$work/arm64.msi" \
    '{"runAsAccount": "system", "packageType": "dualPurpose", "arguments": " MSIINSTALLPERUSER=\"\"", "architectures": "arm64"}' \
    "$work/arm64.zip" && echo "ok: Arm64: allowedArchitectures arm64, applicableArchitectures none" \
  || fail "Arm64: $(cat "$work/stderr")"

# Refused before anything is written, with the same line on both hosts: a
# setup name whose second output's name would be too long for Windows, one
# Windows cannot hold, -o naming a file, a version Windows Installer does
# not take.
long="$work/long/$(printf 'l%.0s' $(seq 240)).exe"
mkdir -p "$work/long" && cp "$work/demo-setup.exe" "$long"
cp "$packages/demo.msi" "$work/beta.msi"
msibuild "$work/beta.msi" -q "UPDATE \`Property\` SET \`Value\` = '1.2-beta' WHERE \`Property\` = 'ProductVersion'" \
  && "$pack" "$work/beta.msi" -o "$work/beta-setup.exe" 2>/dev/null </dev/null || fail "cannot make the 1.2-beta setup"
cp "$work/demo-setup.exe" "$work/long/trail.exe "
while IFS='|' read -r what setup expected; do
  rm -rf "$work/refused" && mkdir -p "$work/refused"
  "$pack" manifest "$setup" --intune -o "$work/refused" 2>"$work/stderr.linux" </dev/null
  status=$?
  [ "$status" = 1 ] && grep -qF -- "$expected" "$work/stderr.linux" && [ -z "$(ls -A "$work/refused")" ] \
    && echo "ok: refused: $what" || fail "$what: exit $status, $(ls -A "$work/refused"): $(cat "$work/stderr.linux")"
  "$loader" "$bin/velkin-pack.exe" manifest "$(windows_path "$setup")" --intune -o "$(windows_path "$work/refused")" \
    >/dev/null 2>"$work/stderr" </dev/null
  status=$?
  linux_line=$(sed "s|$work/|/W/|g" "$work/stderr.linux")
  windows_line=$(tr -d '\r' <"$work/stderr" | sed "s|$(windows_path "$work")\\\\|/W/|g; s|\\\\|/|g")
  [ "$status" = 1 ] && [ "$windows_line" = "$linux_line" ] && [ -z "$(ls -A "$work/refused")" ] \
    && echo "ok: velkin-pack.exe refuses $what with the same line" \
    || fail "velkin-pack.exe, $what: exit $status: $windows_line / $linux_line"
done <<TABLE
a name too long for the Graph body's file|$long|The output's name '$(basename "$long" .exe).win32LobApp.json' is no file name that Windows can hold: it has 257 characters
a name with a trailing blank|$work/long/trail.exe |The setup's file name 'trail.exe ' is no file name that Windows can hold: it ends with a blank
a version Windows Installer does not take|$work/beta-setup.exe|The ProductVersion '1.2-beta' is no version that Windows Installer takes
TABLE
"$pack" manifest "$work/demo-setup.exe" --intune -o "$work/demo-setup.exe" 2>"$work/stderr" </dev/null
[ $? = 1 ] && grep -qF "The output $work/demo-setup.exe is not a directory" "$work/stderr" \
  && echo "ok: -o naming a file: $(cat "$work/stderr")" || fail "-o naming a file: $(cat "$work/stderr")"
"$pack" inspect "$work/beta-setup.exe" >/dev/null 2>"$work/stderr" </dev/null
[ $? = 0 ] && grep -qF "warning: The ProductVersion '1.2-beta' is no version" "$work/stderr" \
  && echo "ok: inspect warns of the version" || fail "inspect of 1.2-beta: $(cat "$work/stderr")"

# Polite signals around the publication (the test hook waits before it and
# after each output is published): SIGTERM while the set is published waits for it
# and ends the run with exit 1 and one line, the set whole; before it,
# nothing is published and no staging file stays; a failure of the second
# output puts the first one's predecessor back.
old_set() {
  rm -rf "$work/race" && mkdir -p "$work/race"
  intune_of "$work/demo-setup.exe" "$work/race" && cp "$work/race/demo-setup.intunewin" "$work/old.intunewin"
}
# published_inode_changes <file> <old inode>: waits up to 20 s for another file at the name.
published_inode_changes() {
  for _ in $(seq 2000); do
    [ "$(stat -c %i "$1" 2>/dev/null)" != "$2" ] && return 0
    sleep 0.01
  done
  return 1
}
for staging in unnamed named; do
  old_set
  inode=$(stat -c %i "$work/race/demo-setup.intunewin")
  VELKIN_PACK_STAGING=$staging VELKIN_PACK_TEST_PUBLISH_PAUSE=3000 \
    "$pack" manifest "$work/demo-setup.exe" --intune -o "$work/race" 2>"$work/stderr" </dev/null &
  runner=$!
  published_inode_changes "$work/race/demo-setup.intunewin" "$inode" && kill -TERM "$runner"
  wait "$runner"
  status=$?
  [ "$status" = 1 ] && grep -qx "velkin-pack: error: Ended by signal 15 (Terminated) after every output was published" \
    "$work/stderr" && [ "$(ls -A "$work/race")" = "$(printf 'demo-setup.intunewin\ndemo-setup.win32LobApp.json')" ] \
    && ! cmp -s "$work/race/demo-setup.intunewin" "$work/old.intunewin" \
    && echo "ok: $staging staging: SIGTERM during the publication waits for the whole set" \
    || fail "$staging staging: SIGTERM during the publication: exit $status, $(ls -A "$work/race"): $(cat "$work/stderr")"
  old_set
  VELKIN_PACK_STAGING=$staging VELKIN_PACK_TEST_PUBLISH_PAUSE=3000 \
    "$pack" manifest "$work/demo-setup.exe" --intune -o "$work/race" 2>"$work/stderr" </dev/null &
  runner=$!
  # Staged, and waiting before the publication.
  sleep 1
  kill -TERM "$runner"
  wait "$runner"
  status=$?
  [ "$status" = 1 ] && grep -qx "velkin-pack: error: Ended by signal 15 (Terminated); nothing was published" \
      "$work/stderr" && [ "$(ls -A "$work/race")" = "$(printf 'demo-setup.intunewin\ndemo-setup.win32LobApp.json')" ] \
    && cmp -s "$work/race/demo-setup.intunewin" "$work/old.intunewin" \
    && echo "ok: $staging staging: SIGTERM before the publication leaves the old set alone" \
    || fail "$staging staging: SIGTERM before the publication: exit $status, $(ls -A "$work/race"): $(cat "$work/stderr")"
  old_set
  inode=$(stat -c %i "$work/race/demo-setup.intunewin")
  rm "$work/race/demo-setup.win32LobApp.json"
  VELKIN_PACK_STAGING=$staging VELKIN_PACK_TEST_PUBLISH_PAUSE=3000 \
    "$pack" manifest "$work/demo-setup.exe" --intune -o "$work/race" 2>"$work/stderr" </dev/null &
  runner=$!
  published_inode_changes "$work/race/demo-setup.intunewin" "$inode" && mkdir "$work/race/demo-setup.win32LobApp.json"
  wait "$runner"
  status=$?
  [ "$status" = 1 ] && grep -qF "Cannot write $work/race/demo-setup.win32LobApp.json" "$work/stderr" \
    && cmp -s "$work/race/demo-setup.intunewin" "$work/old.intunewin" \
    && [ "$(ls -A "$work/race")" = "$(printf 'demo-setup.intunewin\ndemo-setup.win32LobApp.json')" ] \
    && echo "ok: $staging staging: a failure of the second output puts the first one's predecessor back" \
    || fail "$staging staging: a failure of the second output: exit $status, $(ls -A "$work/race"): $(cat "$work/stderr")"
done

# velkin-pack.exe puts the first output's predecessor back alike.
old_set
inode=$(stat -c %i "$work/race/demo-setup.intunewin")
rm "$work/race/demo-setup.win32LobApp.json"
VELKIN_PACK_TEST_PUBLISH_PAUSE=3000 "$loader" "$bin/velkin-pack.exe" manifest "$(windows_path "$work/demo-setup.exe")" \
  --intune -o "$(windows_path "$work/race")" >/dev/null 2>"$work/stderr" </dev/null &
runner=$!
published_inode_changes "$work/race/demo-setup.intunewin" "$inode" && mkdir "$work/race/demo-setup.win32LobApp.json"
wait "$runner"
status=$?
[ "$status" = 1 ] && grep -qF "Cannot write" "$work/stderr" && cmp -s "$work/race/demo-setup.intunewin" "$work/old.intunewin" \
  && [ "$(ls -A "$work/race")" = "$(printf 'demo-setup.intunewin\ndemo-setup.win32LobApp.json')" ] \
  && echo "ok: velkin-pack.exe: a failure of the second output puts the first one's predecessor back" \
  || fail "velkin-pack.exe: a failure of the second output: exit $status, $(ls -A "$work/race"): $(cat "$work/stderr")"
finish
