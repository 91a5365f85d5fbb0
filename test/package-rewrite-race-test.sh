#!/usr/bin/env bash
# A package rewritten in place while velkin-pack packs it (a build step still
# writing it) is refused or packed whole: a published setup's ProductCode
# resource always names the package it carries. A writer rewrites the file
# over and over, alternating two packages of different product codes, while
# velkin-pack packs it <runs> times; prints how many runs published, were
# refused and published a mismatch (which fails the test).
# Usage: package-rewrite-race-test.sh <velkin-pack> <package> <other package> <work directory> [runs]
set -u
source "$(dirname "$0")/support/checks.sh"
pack=$1
first=$2
second=$3
work=$4
runs=${5:-20}

rm -rf "$work" && mkdir -p "$work"
cp "$first" "$work/package.msi"
# In place, as a build step writes its output: the same file truncated and
# written again, in pieces.
python3 - "$first" "$second" "$work/package.msi" "$work/writer.stop" <<'PYTHON' &
import os, random, sys, time
contents = [open(sys.argv[1], 'rb').read(), open(sys.argv[2], 'rb').read()]
random.seed(42)
turn = 0
while not os.path.exists(sys.argv[4]):
    with open(sys.argv[3], 'r+b') as out:
        out.truncate(0)
        data = contents[turn % 2]
        for at in range(0, len(data), 65536):
            out.write(data[at:at + 65536])
            out.flush()
            time.sleep(0.001)
    turn += 1
    time.sleep(random.uniform(0, 0.05))
PYTHON
writer=$!

published=0 refused=0 mismatched=0
for run in $(seq "$runs"); do
  rm -f "$work/setup.exe"
  if "$pack" "$work/package.msi" -o "$work/setup.exe" >/dev/null 2>"$work/stderr" </dev/null; then
    published=$((published + 1))
    # A setup whose package cannot be read counts as a mismatch too.
    if ! "$pack" inspect "$work/setup.exe" --json >"$work/inspect.json" 2>&1 || ! python3 -c '
import json, sys
sys.exit(0 if json.load(open(sys.argv[1]))["productCodeMatches"] is True else 1)' "$work/inspect.json"; then
      mismatched=$((mismatched + 1))
      fail "run $run published a setup whose product code is not its package's: $(cat "$work/inspect.json")"
    fi
  else
    refused=$((refused + 1))
    grep -q "velkin-pack: error: " "$work/stderr" || fail "run $run failed without a message: $(cat "$work/stderr")"
  fi
done
touch "$work/writer.stop"
wait "$writer"
echo "ok: $runs runs while the package was rewritten: $published published, $refused refused, $mismatched mismatched"
[ "$mismatched" = 0 ] || fail "$mismatched of $runs runs published a mismatch"
rm -rf "$work"
finish
