#!/usr/bin/env bash
# The Debian package: its metadata and file list, then, as root, installed
# with apt and used as the README shows, in a directory outside the
# repository: wixl, velkin-pack, osslsigncode on the demo package (the signed
# setup installs and removes under Wine); removed again whatever happens. A
# velkin package that this test did not install is left alone (the rest is
# skipped, exit 77).
# Usage: debian-package-test.sh <package.deb> <version> <WiX sources directory> <wine loader> <work directory>
#          <bin directory> <stub directory> <package config directory> <documentation directory>
# (the install directories as the build was configured, relative to the
# package's prefix /usr)
set -u
source "$(dirname "$0")/support/checks.sh"
deb=$1
version=$2
sources=$3
loader=$4
work=$5
bin=/usr/$6
stubs=/usr/$7
config=/usr/$8
doc=/usr/$9
# Written before installing, removed after removing: a run that was killed
# in between left the package installed, and the next run removes it.
marker="$work/installed-by-this-test"

installed() { dpkg-query -W -f='${Status}' velkin 2>/dev/null | grep -q ' installed$'; }
if [ -e "$marker" ] && installed; then
  dpkg -r velkin >/dev/null 2>&1
fi
rm -rf "$work" && mkdir -p "$work"

info=$(dpkg-deb -I "$deb")
for field in "Package: velkin" "Version: $version" "Architecture: $(dpkg --print-architecture)"; do
  grep -qx " $field" <<<"$info" && echo "ok: $field" || fail "no '$field' in: $info"
done
depends=$(sed -n 's/^ Depends: //p' <<<"$info")
grep -q 'libmsi0' <<<"$depends" && ! grep -qi 'wine' <<<"$depends" \
  && echo "ok: it depends on libmsi0 and not on Wine" || fail "Depends: $depends"

listing=$(dpkg-deb -c "$deb")
files=$(awk '$1 !~ /^d/ { print $6 }' <<<"$listing" | sed 's/VelkinTargets-[a-z]*\.cmake$/VelkinTargets-CONFIG.cmake/' | sort)
expected=$(sort <<LIST
.$bin/velkin-pack
.$stubs/velkin-setup.exe
.$config/VelkinConfig.cmake
.$config/VelkinConfigVersion.cmake
.$config/VelkinSetup.cmake
.$config/VelkinTargets.cmake
.$config/VelkinTargets-CONFIG.cmake
.$doc/LICENSE
.$doc/README.md
LIST
)
[ "$files" = "$expected" ] && echo "ok: the package holds the expected files" \
  || fail "files differ: $(diff <(echo "$expected") <(echo "$files"))"
grep -q "^-rwxr-xr-x root/root .* \\.$bin/velkin-pack\$" <<<"$listing" \
  && echo "ok: velkin-pack is executable" || fail "$(grep velkin-pack$ <<<"$listing")"

if [ "$(id -u)" != 0 ]; then
  echo "skipped: installing the package needs root"
  exit 77
fi
if installed; then
  echo "skipped: a velkin package is installed here already; left alone"
  exit 77
fi

outside=$(mktemp -d)
remove() {
  dpkg -r velkin >"$work/remove.log" 2>&1
  local status=$?
  rm -f "$marker"
  rm -rf "$outside"
  return "$status"
}
trap remove EXIT
trap 'exit 1' INT TERM HUP
touch "$marker"
# Another installation under way (a second build's dependencies) holds
# dpkg's lock for a while: wait for it rather than fail.
DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends -o DPkg::Lock::Timeout=300 \
  "$(realpath "$deb")" \
  >"$work/install.log" 2>&1 && echo "ok: apt installs it" || fail "apt: $(cat "$work/install.log")"
sed -n '/NEW packages/,/^[0-9]/p' "$work/install.log" | grep -qi wine \
  && fail "apt pulled in Wine: $(cat "$work/install.log")" || echo "ok: apt pulls in no Wine"

cp -r "$sources/demo.wxs" "$sources/demo" "$outside"
tests_wineprefix=$WINEPREFIX
cd "$outside"
[ "$(command -v velkin-pack)" = "$bin/velkin-pack" ] && echo "ok: velkin-pack is on the path" \
  || fail "velkin-pack is '$(command -v velkin-pack)'"
check_version "$version" "$bin/velkin-pack"
wixl -o app.msi demo.wxs && echo "ok: wixl" || fail "wixl in $outside"
export WINEPREFIX="$outside/no-wine"
"$bin/velkin-pack" app.msi -o app-setup.exe </dev/null \
  && echo "ok: packed in $outside with the installed stub" || fail "packing in $outside"
"$bin/velkin-pack" inspect app-setup.exe --json </dev/null | grep -q '"kind": "setup"' \
  && echo "ok: inspected" || fail "inspect"
"$bin/velkin-pack" extract app-setup.exe -o back.msi </dev/null && cmp -s back.msi app.msi \
  && echo "ok: extracted byte for byte" || fail "extract"
[ ! -e "$outside/no-wine" ] && echo "ok: no Wine process started" || fail "velkin-pack started Wine"
export WINEPREFIX=$tests_wineprefix
sign_with_test_certificate app-setup.exe app-setup-signed.exe "$outside" \
  && echo "ok: signed" || fail "signing: $(cat sign.log)"
check_demo_setup "$loader" "$outside/app-setup-signed.exe"

cd /
trap - EXIT
remove && echo "ok: dpkg -r removes it" || fail "dpkg -r: $(cat "$work/remove.log")"
installed && fail "still installed after dpkg -r"
[ ! -e "$bin/velkin-pack" ] && [ ! -e "$stubs" ] && [ ! -e "$config" ] \
  && echo "ok: nothing of it is left" || fail "files left after dpkg -r"
finish
