#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the Linux programs
# natively, the Windows programs under Wine.
set -euo pipefail
source "$(dirname "$0")/../scripts/wine-prefix.sh"
velkin_without_aslr "$0" "$@"
cd "$(dirname "$0")/.."

source scripts/configure-and-build.sh
velkin_wine_start "$velkin_build"
trap velkin_wine_stop EXIT
ctest --test-dir "$velkin_build" --output-on-failure
