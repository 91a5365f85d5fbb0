#!/usr/bin/env bash
# The main job: installs what is missing, builds velkin-pack for Linux, the
# setup stub and the demo package (from test/packages/demo.wxs, with wixl),
# and none of the tests; wraps the package into a setup executable with
# velkin-pack (for Linux: no Wine), and runs that under Wine: a quiet
# install, what landed where, and the removal.
set -euo pipefail
source "$(dirname "$0")/../scripts/wine-prefix.sh"
velkin_without_aslr "$0" "$@"
cd "$(dirname "$0")/.."

velkin_build_target=velkin-programs
source scripts/configure-and-build.sh

# A prefix of the demo's own, so that the tests' prefix stays as they leave it.
demo_root="$velkin_build/demo"
mkdir -p "$demo_root"
velkin_wine_start "$demo_root"
trap velkin_wine_stop EXIT

setup="$demo_root/velkin-demo-setup.exe"
echo
package="$velkin_build/windows/packages/demo.msi"
echo "Running: velkin-pack $package -o $setup"
"$velkin_build/bin/velkin-pack" "$package" -o "$setup"
echo "Setup executable: $setup ($(stat -c %s "$setup") bytes)"
echo "Running: velkin-demo-setup.exe /qn"
set +e
"$velkin_wine_loader" "$setup" /qn
status=$?
set -e
# A Linux shell sees a Windows exit code modulo 256.
echo "Exit code: $status"

installed=$(find "$WINEPREFIX/drive_c/users" -type d -name VelkinDemo -path '*AppData/Local/*' | head -n 1)
if [ -z "$installed" ]; then
  echo "Nothing was installed."
  exit 1
fi
windows_path="C:${installed#"$WINEPREFIX/drive_c"}"
echo "Installed into ${windows_path//\//\\} (on Linux: $installed):"
(cd "$installed" && find . -type f | sed 's|^\./|  |' | sort)

echo
echo "Running: velkin-demo-setup.exe uninstall"
set +e
"$velkin_wine_loader" "$setup" uninstall
status=$?
set -e
echo "Exit code: $status"
remaining=$( (find "$installed" -type f 2>/dev/null || true) | wc -l)
echo "Files left in ${windows_path//\//\\}: $remaining"
exit "$status"
