#!/usr/bin/env bash
# The main job: installs what is missing and builds Velkin's Windows programs.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
source scripts/configure-and-build.sh
echo
echo "Built (the setup executable around the demo package comes with the install flow):"
find "$velkin_build" -maxdepth 3 -name '*.exe' -not -path '*/wineprefix/*' | sort
