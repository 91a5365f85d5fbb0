#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/configure-and-build.sh
source scripts/wine-prefix.sh
velkin_wine_start "$velkin_build"
trap velkin_wine_stop EXIT
ctest --test-dir "$velkin_build" --output-on-failure
