#!/usr/bin/env bash
# velkin-pack for Linux meets what a packager's machine can throw at it:
# hundreds of damaged packages, with random bytes changed or damaged at their
# structure (one line and exit 1 for each it refuses, never a crash, in
# bounded time), an end by SIGINT, SIGTERM or SIGKILL in the middle
# of packing (nothing left in the output directory), and the size limit to
# the byte (the largest package packs; one byte more is refused before
# anything is written).
# With the README, the limit it gives is held to velkin-pack's.
# Usage: pack-faults-test.sh <velkin-pack> <demo package> <work directory> [<README.md>]
set -u
source "$(dirname "$0")/support/checks.sh"
pack=$1
package=$2
work=$3
readme=${4:-}

rm -rf "$work" && mkdir -p "$work/mutants" "$work/out"

make_mutants "$package" "$work/mutants" 300 1
# And 300 damaged at the compound file's structure, by our own generator.
mkdir "$work/mutants/structure"
python3 "$(dirname "$0")/support/damaged_packages.py" "$package" "$work/mutants/structure" 300 1
refused=0
read=0
for mutant in "$work"/mutants/*.msi "$work"/mutants/structure/*.msi; do
  timeout 120 "$pack" inspect "$mutant" >"$work/stdout" 2>"$work/stderr" </dev/null
  status=$?
  case $status in
    0) read=$((read + 1)) ;;
    1) refused=$((refused + 1))
       [ "$(wc -l <"$work/stderr")" = 1 ] && grep -q "^velkin-pack: error: " "$work/stderr" \
         && grep -qF "$mutant" "$work/stderr" \
         || fail "$(basename "$mutant"): $(cat "$work/stderr")" ;;
    *) fail "$(basename "$mutant"): exit status $status" ;;
  esac
done
echo "ok: 600 damaged packages: $read read, $refused refused with one line naming the package"

# The demo package grown, sparse, to near the limit: packing takes long
# enough to be ended half-way.
cp "$package" "$work/big.msi"
truncate -s 2000M "$work/big.msi"
for signal in INT TERM KILL; do
  # A shell starts background jobs with SIGINT ignored; the packer gets it as
  # a terminal would give it.
  env --default-signal=INT "$pack" "$work/big.msi" -o "$work/out/big-setup.exe" 2>/dev/null </dev/null &
  pid=$!
  sleep 0.2
  kill -0 "$pid" 2>/dev/null || fail "SIG$signal: velkin-pack ended before the signal"
  kill -"$signal" "$pid"
  wait "$pid" 2>/dev/null
  [ -z "$(ls -A "$work/out")" ] && echo "ok: ended by SIG$signal, it leaves nothing" \
    || fail "SIG$signal left: $(ls -A "$work/out")"
  rm -rf "$work/out" && mkdir "$work/out"
done

# The limit, from the refusal's own words (2 GiB less a byte lies above it,
# and below what is refused before the package is read), then a package of
# exactly that size, and one byte more.
truncate -s $((2 * 1024 * 1024 * 1024 - 1)) "$work/big.msi"
"$pack" "$work/big.msi" -o "$work/out/app-setup.exe" 2>"$work/stderr" </dev/null
limit=$(sed -n 's/.* can carry at most \([0-9]*\) bytes .*/\1/p' "$work/stderr")
[ -n "$limit" ] && [ -z "$(ls -A "$work/out")" ] \
  && echo "ok: 2 GiB less a byte is refused before anything is written" \
  || fail "2 GiB less a byte: $(cat "$work/stderr")"
if [ -n "$readme" ]; then
  documented=$(sed -n 's/.*(\([0-9,]*\) bytes for the demo package with today.s stub and no icon).*/\1/p' "$readme" \
    | tr -d ,)
  [ "$documented" = "$limit" ] && echo "ok: the README gives the limit, $limit bytes" \
    || fail "the README gives the limit as '$documented' bytes, velkin-pack as $limit"
fi
truncate -s "$limit" "$work/big.msi"
"$pack" "$work/big.msi" -o "$work/out/app-setup.exe" 2>/dev/null </dev/null \
  && [ "$("$pack" inspect "$work/out/app-setup.exe" --json | sed -n 's/ *"packageSize": \([0-9]*\),/\1/p')" = "$limit" ] \
  && [ "$(stat -c %s "$work/out/app-setup.exe")" -lt 2147483648 ] \
  && echo "ok: a package of exactly $limit bytes packs" || fail "the package at the limit"
rm -f "$work/out/app-setup.exe"
# 4 GiB and a byte, which libmsi cannot open: refused for its size before
# any reader or signer sees it (the signer would leave its mark).
truncate -s $((4 * 1024 * 1024 * 1024 + 1)) "$work/big.msi"
"$pack" "$work/big.msi" -o "$work/out/app-setup.exe" --sign-command "touch '$work/signed'; cp %1 %2" \
  2>"$work/stderr" </dev/null
[ $? = 1 ] && grep -q "has 4294967297 bytes, more than a setup executable can carry (the whole executable must stay below 2 GiB)" "$work/stderr" \
  && [ -z "$(ls -A "$work/out")" ] && [ ! -e "$work/signed" ] && echo "ok: 4 GiB and a byte is refused for its size" \
  || fail "4 GiB and a byte: $(cat "$work/stderr")"
truncate -s $((limit + 1)) "$work/big.msi"
"$pack" "$work/big.msi" -o "$work/out/app-setup.exe" 2>"$work/stderr" </dev/null
[ $? = 1 ] && grep -q "can carry at most $limit bytes" "$work/stderr" && [ ! -e "$work/out/app-setup.exe" ] \
  && echo "ok: one byte more is refused, and nothing is written" || fail "one byte over: $(cat "$work/stderr")"
rm -rf "$work"
finish
