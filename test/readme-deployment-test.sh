#!/usr/bin/env bash
# The README's "From package to deployment" commands run as written, from a
# directory that looks like the repository root after a build: the setup
# comes out signed in both layers and the manifests and packages are there.
# Usage: readme-deployment-test.sh <source directory> <build directory> <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
source_dir=$1
build=$2
work=$3

run_readme_commands "$source_dir" "$build" "$work" '^### From package to deployment' '^`osslsigncode verify'
cd "$work/root"
osslsigncode verify -CAfile cert.pem -in demo-setup.exe >"$work/verify.log" 2>&1 \
  && echo "ok: the setup's signature verifies" || fail "verify: $(tail -3 "$work/verify.log")"
build/bin/velkin-pack inspect demo-setup.exe | grep -q '^Signed: *yes$' && echo "ok: the package is signed" \
  || fail "the package is not signed"
expected=$(printf '%s\n' Velkin.Demo.installer.yaml Velkin.Demo.locale.en-US.yaml Velkin.Demo.yaml \
  demo-setup.intunewin demo-setup.win32LobApp.json velkin-demo.1.0.0.nupkg | LC_ALL=C sort)
[ "$(ls manifests | LC_ALL=C sort)" = "$expected" ] && echo "ok: the manifests and packages are there" \
  || fail "manifests: $(ls manifests)"
# The ready entries say what the descriptions hold: winget's switches, the
# Intune commands and Chocolatey's silent arguments, /norestart in each.
readme="$source_dir/README.md"
for line in 'Silent: "/qn /norestart"' 'SilentWithProgress: "/passive /norestart"'; do
  grep -qF "      $line" "$readme" && grep -qF "      $line" manifests/Velkin.Demo.installer.yaml \
    && echo "ok: README and manifest: $line" || fail "README or manifest without $line"
done
python3 - "$readme" manifests/demo-setup.win32LobApp.json <<'PYTHON' && echo "ok: README's Intune entries are the Graph body's" \
  || fail "the README's Intune entries differ from the Graph body"
import json, re, sys
readme, body = open(sys.argv[1], encoding="utf-8").read(), json.load(open(sys.argv[2], encoding="utf-8"))
install = re.search(r"^\| Install command \| `([^`]*)`", readme, re.M).group(1)
uninstall = re.search(r"^\| Uninstall command \| `([^`]*)`", readme, re.M).group(1)
assert body["installCommandLine"] == install + ' MSIINSTALLPERUSER=""', (install, body["installCommandLine"])
assert body["uninstallCommandLine"] == uninstall, (uninstall, body["uninstallCommandLine"])
PYTHON
python3 -c 'import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1]).read("tools/chocolateyInstall.ps1"))' \
  manifests/velkin-demo.1.0.0.nupkg | grep -qF -- "-SilentArgs '/qn /norestart MSIINSTALLPERUSER=\"\"'" \
  && grep -qF "(with \`MSIINSTALLPERUSER=\"\"\` for \`chosenAtInstall\`" "$readme" \
  && echo "ok: README and Chocolatey's script: /qn /norestart, per machine when chosen at install" \
  || fail "Chocolatey's silent arguments differ from the README's"
finish
