#!/usr/bin/env bash
# The benchmark: the setup executable against the physical limit and against
# msiexec alone, under Wine, in a Wine prefix of its own (build/bench).
#   bash bench/run.sh [--sizes "1 64 512"] [--rounds 5]
# Prints a markdown table and writes it to build/bench/results.md.
set -euo pipefail
source "$(dirname "$0")/../scripts/wine-prefix.sh"
velkin_without_aslr "$0" "$@"
cd "$(dirname "$0")/.."

sizes="1 64 512"
rounds=5
while [ $# -gt 0 ]; do
  case "$1" in
    --sizes) sizes=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    *) echo "usage: bench/run.sh [--sizes \"1 64 512\"] [--rounds N]" >&2; exit 2 ;;
  esac
done

source scripts/configure-and-build.sh
exec bash bench/measure.sh "$velkin_build" "$sizes" "$rounds"

