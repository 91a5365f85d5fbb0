#!/usr/bin/env bash
# The README's "From one WiX source to one setup" commands run as written,
# from a directory that looks like the repository root after a build: the
# setup offers the three languages, English first.
# Usage: readme-languages-test.sh <source directory> <build directory> <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
source_dir=$1
build=$2
work=$3

run_readme_commands "$source_dir" "$build" "$work" '^### From one WiX source to one setup' '^### What the setup chooses'
python3 - "$work/commands.log" <<'PYTHON' && echo "ok: the setup offers English, German and French" \
  || fail "inspect: $(cat "$work/commands.log")"
import json, sys
report = json.loads(open(sys.argv[1]).read())
assert report["languages"] == [1033, 1031, 1036], report
assert report["languageTags"] == ["en-US", "de-DE", "fr-FR"], report
PYTHON
finish
