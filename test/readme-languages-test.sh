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

rm -rf "$work" && mkdir -p "$work/root"
ln -s "$source_dir/test" "$work/root/test"
ln -s "$build" "$work/root/build"
sed -n '/^### From one WiX source to one setup/,/^### What the setup chooses/p' "$source_dir/README.md" \
  | sed -n '/^```sh$/,/^```$/p' | sed '1d;$d' >"$work/commands.sh"
[ -s "$work/commands.sh" ] || fail "no commands found in the README"
(cd "$work/root" && bash -e "$work/commands.sh") >"$work/commands.log" 2>&1 \
  && echo "ok: the commands run" || fail "the commands: $(tail -5 "$work/commands.log")"
python3 - "$work/commands.log" <<'PYTHON' && echo "ok: the setup offers English, German and French" \
  || fail "inspect: $(cat "$work/commands.log")"
import json, sys
report = json.loads(open(sys.argv[1]).read())
assert report["languages"] == [1033, 1031, 1036], report
assert report["languageTags"] == ["en-US", "de-DE", "fr-FR"], report
PYTHON
finish
