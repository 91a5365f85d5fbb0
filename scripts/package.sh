#!/usr/bin/env bash
# Installs what is missing, builds, and makes the Debian package and the
# Windows zip in build/dist.
set -euo pipefail
source "$(dirname "$0")/../scripts/wine-prefix.sh"
velkin_without_aslr "$0" "$@"
cd "$(dirname "$0")/.."

source scripts/configure-and-build.sh
(cd "$velkin_build" && cpack)
