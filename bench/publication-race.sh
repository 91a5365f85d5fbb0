#!/usr/bin/env bash
# SIGTERM at random moments while velkin-pack manifest --intune and --winget
# replace a set of outputs with another: how many sets are left mixed (files
# of both setups) or partial (a file missing), and how many staging files
# (.velkin-pack-*.tmp) stay. The target is none of either.
set -uo pipefail
usage() {
  cat <<'USAGE'
usage: bench/publication-race.sh <velkin-pack> <demo package> <work directory> [<rounds per kind>]

Two setups of one file name (the demo, and a copy of another name and
version) take turns: each round starts from a whole set of one and writes
the other's, and sends SIGTERM at a moment drawn at random over a run's
length; every other round stages named files (VELKIN_PACK_STAGING=named),
and every other round widens the publication with the tests' hook
(VELKIN_PACK_TEST_PUBLISH_PAUSE=5: 5 ms before it and after each output). Prints, per kind, the exit codes seen, the
sets left old, new, mixed or partial, the signals that came during a
publication (held off until the set was whole), and the staging files left.
Default: 400 rounds per kind.
USAGE
}
if [ $# -lt 3 ] || [ $# -gt 4 ]; then
  usage >&2
  exit 2
fi
pack=$1
package=$2
work=$3
rounds=${4:-400}

rm -rf "$work" && mkdir -p "$work/a" "$work/b" "$work/out"
cp "$package" "$work/other.msi"
msibuild "$work/other.msi" \
  -q "UPDATE \`Property\` SET \`Value\` = '1.0.1' WHERE \`Property\` = 'ProductVersion'" \
  -q "UPDATE \`Property\` SET \`Value\` = 'Velkin Demo Other' WHERE \`Property\` = 'ProductName'" || exit 1
"$pack" "$package" -o "$work/a/app-setup.exe" 2>/dev/null </dev/null || exit 1
"$pack" "$work/other.msi" -o "$work/b/app-setup.exe" 2>/dev/null </dev/null || exit 1

# arguments <kind> <setup directory>: velkin-pack's arguments, in $arguments
# (velkin-pack itself is the background job that the signal goes to, not a
# shell around it).
arguments() {
  if [ "$1" = intune ]; then
    arguments=(manifest "$2/app-setup.exe" --intune -o "$work/out")
  else
    arguments=(manifest "$2/app-setup.exe" --winget --id Velkin.Race --license MIT
      --url https://example.com/app-setup.exe -o "$work/out")
  fi
}

# Which setup each file of the set is from ("a" or "b"), "partial" when a
# file is missing, and the staging files.
classify() {
  python3 - "$1" "$work/out" <<'PYTHON'
import json, os, sys, zipfile
kind, out = sys.argv[1:]
names = os.listdir(out)
staging = [n for n in names if n.startswith(".velkin-pack-")]
sides = []
try:
    if kind == "intune":
        body = json.load(open(os.path.join(out, "app-setup.win32LobApp.json"), encoding="utf-8"))
        sides.append("b" if body["displayName"].endswith("Other") else "a")
        xml = zipfile.ZipFile(os.path.join(out, "app-setup.intunewin")).read("IntuneWinPackage/Metadata/Detection.xml")
        sides.append("b" if b"Other</Name>" in xml else "a")
    else:
        for name in ("Velkin.Race.yaml", "Velkin.Race.locale.en-US.yaml", "Velkin.Race.installer.yaml"):
            text = open(os.path.join(out, name), encoding="utf-8").read()
            sides.append("b" if 'PackageVersion: "1.0.1"' in text else "a")
    state = sides[0] if len(set(sides)) == 1 else "mixed"
except (OSError, KeyError, zipfile.BadZipFile):
    state = "partial"
print(state, len(staging))
PYTHON
}

for kind in intune winget; do
  # A run's length, as the median of five.
  lengths=()
  for _ in 1 2 3 4 5; do
    rm -rf "$work/out" && mkdir -p "$work/out"
    start=$(date +%s%N)
    arguments "$kind" "$work/a"
    "$pack" "${arguments[@]}" >/dev/null 2>&1 </dev/null
    lengths+=($((($(date +%s%N) - start) / 1000)))
  done
  length=$(printf '%s\n' "${lengths[@]}" | sort -n | sed -n 3p)
  declare -A exits=() states=()
  staging_left=0
  during=0
  for round in $(seq "$rounds"); do
    if [ $((round % 2)) = 0 ]; then old=a new=b; else old=b new=a; fi
    rm -rf "$work/out" && mkdir -p "$work/out"
    arguments "$kind" "$work/$old"
    "$pack" "${arguments[@]}" >/dev/null 2>&1 </dev/null
    staging=unnamed
    [ $((round % 4)) -lt 2 ] && staging=named
    # Every other round widens the publication with the test hook (5 ms
    # before it and after each output), where a signal is to wait.
    pause=
    span=$length
    if [ $((round % 8)) -ge 4 ]; then
      pause=5
      span=$((length + 20000))
    fi
    delay=$((RANDOM * 32768 + RANDOM))
    delay=$((delay % span))
    arguments "$kind" "$work/$new"
    VELKIN_PACK_STAGING=$staging VELKIN_PACK_TEST_PUBLISH_PAUSE=$pause "$pack" "${arguments[@]}" \
      >/dev/null 2>"$work/stderr" </dev/null &
    runner=$!
    sleep "$(printf '%d.%06d' $((delay / 1000000)) $((delay % 1000000)))"
    kill -TERM "$runner" 2>/dev/null
    wait "$runner"
    status=$?
    read -r state left < <(classify "$kind")
    [ "$state" = "$old" ] && state=old
    [ "$state" = "$new" ] && state=new
    exits[$status]=$((${exits[$status]:-0} + 1))
    grep -q "after every output was published" "$work/stderr" && during=$((during + 1))
    states[$state]=$((${states[$state]:-0} + 1))
    staging_left=$((staging_left + left))
  done
  printf '%s: %d rounds, a run takes %d ms (median); exit codes:' "$kind" "$rounds" $((length / 1000))
  for code in "${!exits[@]}"; do printf ' %s×%d' "$code" "${exits[$code]}"; done
  printf '; sets:'
  for state in old new mixed partial; do printf ' %s %d' "$state" "${states[$state]:-0}"; done
  printf '; signals held off until the set was whole: %d; staging files left: %d\n' "$during" "$staging_left"
  unset exits states
done
