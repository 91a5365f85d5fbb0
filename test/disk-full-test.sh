#!/usr/bin/env bash
# A setup whose temporary directory lies on a full disk: a tiny tmpfs, made
# for the test and unmounted whatever happens. Mounting needs root; without it
# the test reports itself skipped (exit 77).
# Usage: disk-full-test.sh <wine loader> <velkin-wrapper-tests.exe> <work directory>
set -u
source "$(dirname "$0")/../scripts/wine-paths.sh"
loader=$1
tests=$2
full=$3/full-disk
mkdir -p "$full"
mountpoint -q "$full" && umount "$full"
if ! mount -t tmpfs -o size=4k tmpfs "$full" 2>/dev/null; then
  echo "SKIPPED: cannot mount a tmpfs here (needs root)"
  exit 77
fi
trap 'umount "$full"' EXIT
VELKIN_TEST_FULL_TEMP="$(windows_path "$full")" "$loader" "$tests" --gtest_filter='FullDiskTest.*' </dev/null
