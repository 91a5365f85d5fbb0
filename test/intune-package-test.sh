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
import base64, hashlib, hmac, io, json, os, sys, zipfile, xml.etree.ElementTree as ET
from cryptography.hazmat.primitives import padding
from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes
directory, setup, e, inner_copy = sys.argv[1], sys.argv[2], json.loads(sys.argv[3]), sys.argv[4]
problems = []
def check(what, actual, wanted):
    if actual != wanted:
        problems.append(f"{what}: {actual!r}, not {wanted!r}")
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
check("ToolVersion", info.get("ToolVersion", "").startswith("1.8."), True)
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
             ("installCommandLine", f'"{setup_name}" /qn{e["arguments"]}'),
             ("uninstallCommandLine", f"msiexec /x {pc} /qn"),
             ("installExperience", {"runAsAccount": e["runAsAccount"], "deviceRestartBehavior": "basedOnReturnCode"}),
             ("returnCodes", [{"returnCode": 0, "type": "success"}, {"returnCode": 1707, "type": "success"},
                              {"returnCode": 3010, "type": "softReboot"}, {"returnCode": 1641, "type": "hardReboot"},
                              {"returnCode": 1618, "type": "retry"}]),
             ("rules", [{"@odata.type": "#microsoft.graph.win32LobAppProductCodeRule", "ruleType": "detection",
                         "productCode": pc, "productVersionOperator": "greaterThanOrEqual", "productVersion": pv}]),
             ("applicableArchitectures", e["architectures"]),
             ("msiInformation", {"productCode": pc, "productVersion": pv, "upgradeCode": e["UpgradeCode"],
                                 "requiresReboot": False, "packageType": e["packageType"],
                                 "productName": e["ProductName"], "publisher": e["Manufacturer"]})):
    check(f"Graph body: {k}", app.get(k), v)
check("Graph body: description", bool(app.get("description")), True)
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
finish
