#!/usr/bin/env bash
# velkin-pack for Linux in odd surroundings: FIFOs and devices as inputs and
# outputs (refused at once, by name and kind), a full or closed standard
# output, standard streams closed by the caller, `--` and `--help`, control
# characters in a path, a missing or full TMPDIR, a package cut short while
# it is packed, and, on a file system without unnamed files, a run ended by
# SIGKILL (its staging file goes with the next run, never a running one's)
# and a SIGINT that the caller ignores; `ulimit -n` and `ulimit -f` told as
# the causes, `--version extra` as a usage error.
# Usage: pack-surroundings-test.sh <velkin-pack> <demo package> <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
pack=$(realpath "$1")
package=$2
work=$3

mountpoint -q "$work/full" 2>/dev/null && umount "$work/full"
rm -rf "$work" && mkdir -p "$work/out"
mkfifo "$work/fifo"
"$pack" "$package" -o "$work/demo-setup.exe" </dev/null || fail "packing the demo"

# refused <what> <name in the message> <arguments...>: exit 1 within seconds,
# one line that names it, nothing written.
refused() {
  local what=$1 name=$2 status
  shift 2
  timeout 20 "$pack" "$@" >"$work/stdout" 2>"$work/stderr" </dev/null
  status=$?
  [ "$status" = 1 ] && [ "$(wc -l <"$work/stderr")" = 1 ] && grep -q "^velkin-pack: error: " "$work/stderr" \
    && grep -qF -- "$name" "$work/stderr" && [ -z "$(ls -A "$work/out")" ] \
    && echo "ok: $what: $(cat "$work/stderr")" || fail "$what: exit $status: $(cat "$work/stderr")"
}
out="$work/out/app-setup.exe"
refused "a FIFO as the package" "$work/fifo is a FIFO" "$work/fifo" -o "$out"
refused "/dev/zero as the package" "/dev/zero is a character device" /dev/zero -o "$out"
refused "a FIFO as the stub" "$work/fifo is a FIFO" "$package" -o "$out" --stub "$work/fifo"
refused "a FIFO as the icon" "$work/fifo is a FIFO" "$package" -o "$out" --icon "$work/fifo"
refused "a FIFO to inspect" "$work/fifo is a FIFO" inspect "$work/fifo"
refused "a FIFO to extract from" "$work/fifo is a FIFO" extract "$work/fifo" -o "$work/out/app.msi"
refused "/dev/null as the output" "/dev/null is a character device" "$package" -o /dev/null
refused "/dev/null as extract's output" "/dev/null is a character device" extract "$work/demo-setup.exe" -o /dev/null
refused "a FIFO as the output" "$work/fifo is a FIFO" "$package" -o "$work/fifo"
[ -c /dev/null ] && [ -p "$work/fifo" ] && echo "ok: /dev/null and the FIFO are as they were" \
  || fail "a node was replaced"
cp "$package" "$work/app.ico"
refused "the output named as the icon" "$work/app.ico is the icon itself" "$package" -o "$work/app.ico" \
  --icon "$work/./app.ico"
cmp -s "$package" "$work/app.ico" && echo "ok: the icon is as it was" || fail "the icon was written over"
# A setup whose package resource points into its code: extract finds no
# compound file there, and publishes nothing.
python3 - "$work/demo-setup.exe" "$work/code-setup.exe" <<'PYTHON'
import struct, sys
pe = bytearray(open(sys.argv[1], 'rb').read())
header = struct.unpack_from('<I', pe, 0x3C)[0]
count, optional_size = struct.unpack_from('<H', pe, header + 6)[0], struct.unpack_from('<H', pe, header + 20)[0]
resources_rva = struct.unpack_from('<I', pe, header + 24 + 112 + 16)[0]
sections = {}
for i in range(count):
    at = header + 24 + optional_size + 40 * i
    name = pe[at:at + 8].rstrip(b'\0').decode()
    sections[name] = struct.unpack_from('<IIII', pe, at + 8)  # size, address, raw size, raw offset
base = sections['.rsrc'][3] - sections['.rsrc'][1]
def entries(directory):
    named, numbered = struct.unpack_from('<HH', pe, base + resources_rva + directory + 12)
    return [struct.unpack_from('<II', pe, base + resources_rva + directory + 16 + 8 * i) for i in range(named + numbered)]
def name(field):
    at = base + resources_rva + (field & 0x7FFFFFFF)
    return pe[at + 2:at + 2 + 2 * struct.unpack_from('<H', pe, at)[0]].decode('utf-16-le')
rcdata = next(target for ident, target in entries(0) if ident == 10) & 0x7FFFFFFF
package = next(target for ident, target in entries(rcdata) if ident & 0x80000000 and name(ident) == 'MSI') & 0x7FFFFFFF
data = entries(package)[0][1]
struct.pack_into('<II', pe, base + resources_rva + data, sections['.text'][1], 4096)
open(sys.argv[2], 'wb').write(pe)
PYTHON
refused "extract from a setup whose package is its code" \
  "$work/code-setup.exe is a Velkin setup executable whose package cannot be read: it does not start as a compound file does" \
  extract "$work/code-setup.exe" -o "$work/out/app.msi"
refused "a path with control characters" 'new\x0Aline\x1B[2J.msi' "$work/new"$'\n'"line"$'\e'"[2J.msi" -o "$out"
refused "a path with bytes that are no UTF-8" 'bad\xFFname\xC3.msi' "$work/bad"$'\xff'"name"$'\xc3'".msi" -o "$out"

# Limits of the process, each told as the cause: too few file descriptors
# (libmsi short of them read a package as one without tables), a file size
# limit reached (a failed write naming the output, not SIGXFSZ's silent end).
for what in "$package -o $out" "inspect $work/demo-setup.exe"; do
  (ulimit -n 8; $pack $what >/dev/null 2>"$work/stderr" </dev/null)
  [ $? = 1 ] && grep -qx "velkin-pack: error: Too many open files: reading a package takes 8 free file descriptors, and the limit (ulimit -n) leaves [0-7]" \
    "$work/stderr" && [ -z "$(ls -A "$work/out")" ] && echo "ok: ulimit -n 8 for ${what%% *}: $(cat "$work/stderr")" \
    || fail "ulimit -n 8 for ${what%% *}: $(cat "$work/stderr")"
done
(ulimit -f 100; "$pack" "$package" -o "$out" 2>"$work/stderr" </dev/null)
status=$?
[ "$status" = 1 ] && [ "$(cat "$work/stderr")" = "velkin-pack: error: Cannot write $out: File too large" ] \
  && [ -z "$(ls -A "$work/out")" ] && echo "ok: ulimit -f: $(cat "$work/stderr")" \
  || fail "ulimit -f: exit $status: $(cat "$work/stderr")"
# A usage error shows what it was given as it shows paths: escaped.
"$pack" $'--x\e[2J' >/dev/null 2>"$work/stderr" </dev/null
[ $? = 2 ] && [ "$(head -1 "$work/stderr")" = 'velkin-pack: unknown option --x\x1B[2J' ] \
  && echo "ok: an unknown option's control characters are escaped" || fail "unknown option: $(head -1 "$work/stderr")"
"$pack" --version extra >/dev/null 2>"$work/stderr" </dev/null
[ $? = 2 ] && [ "$(head -1 "$work/stderr")" = "velkin-pack: --version takes nothing after it; extra given" ] \
  && echo "ok: --version extra is a usage error" || fail "--version extra: $(head -1 "$work/stderr")"

# inspect's copy of a setup's package is private: no name that another user
# can take first; a temporary directory that takes no file is named as such.
mkdir -p "$work/tmp/velkin-package.msi"
TMPDIR="$work/tmp" "$pack" inspect "$work/demo-setup.exe" >/dev/null 2>"$work/stderr" </dev/null \
  && [ -z "$(ls -A "$work/tmp" | grep -vx velkin-package.msi)" ] \
  && echo "ok: inspect leaves nothing in TMPDIR and trips over nothing there" || fail "TMPDIR: $(cat "$work/stderr")"
TMPDIR="$work/absent" "$pack" inspect "$work/demo-setup.exe" >/dev/null 2>"$work/stderr" </dev/null
[ $? = 1 ] && [ "$(cat "$work/stderr")" = "velkin-pack: error: Cannot make a file in the temporary directory $work/absent (TMPDIR): No such file or directory" ] \
  && echo "ok: a missing TMPDIR is told as such" || fail "a missing TMPDIR: $(cat "$work/stderr")"
# A full one, on a tiny tmpfs where mounting is allowed (root).
mkdir -p "$work/full"
if mount -t tmpfs -o size=4k tmpfs "$work/full" 2>/dev/null; then
  TMPDIR="$work/full" "$pack" inspect "$work/demo-setup.exe" >/dev/null 2>"$work/stderr" </dev/null
  [ $? = 1 ] && grep -qx "velkin-pack: error: Cannot write a file in the temporary directory $work/full (TMPDIR): No space left on device" \
    "$work/stderr" \
    && echo "ok: a full TMPDIR is told as such" || fail "a full TMPDIR: $(cat "$work/stderr")"
  umount "$work/full"
else
  echo "skipped: a full TMPDIR (no tmpfs can be mounted here)"
fi

# Standard output: a full disk is an error; a reader gone is none.
"$pack" inspect "$package" >/dev/full 2>"$work/stderr" </dev/null
[ $? = 1 ] && [ "$(cat "$work/stderr")" = "velkin-pack: error: Cannot write to standard output: No space left on device" ] \
  && echo "ok: a full standard output ends with exit 1 and the reason" || fail "/dev/full: $(cat "$work/stderr")"
python3 - "$pack" "$package" <<'PYTHON' && echo "ok: a closed pipe ends nothing" || fail "a closed pipe"
import os, subprocess, sys
read, write = os.pipe()
os.close(read)
run = subprocess.run([sys.argv[1], 'inspect', sys.argv[2]], stdout=write, stderr=subprocess.PIPE, stdin=subprocess.DEVNULL)
sys.exit(run.returncode != 0 or run.stderr != b'')
PYTHON

# Closed standard streams: velkin-pack opens them on /dev/null first, so that
# no file it opens takes their place (the package read as standard input by
# the reader's child, a report or a message written into the package).
cp "$package" "$work/closed.msi"
"$pack" "$work/closed.msi" -o "$work/out/closed-setup.exe" <&- 2>"$work/stderr" \
  && "$pack" inspect "$work/out/closed-setup.exe" >/dev/null </dev/null \
  && echo "ok: packing with standard input closed" || fail "standard input closed: $(cat "$work/stderr")"
"$pack" inspect "$work/closed.msi" >&- 2>&- </dev/null
status=$?
"$pack" "$work/closed.msi" -o "$work/out/closed-setup.exe" --icon "$work/missing.ico" >&- 2>&- <&-
status=$status/$?
[ "$status" = 0/1 ] && cmp -s "$work/closed.msi" "$package" && echo "ok: a report and an error with both outputs closed" \
  || fail "outputs closed: exit $status, the package $(cmp -s "$work/closed.msi" "$package" && echo kept || echo changed)"
rm -f "$work/closed.msi" "$work/out/closed-setup.exe"

for help in --help -h "inspect --help"; do
  $pack $help >"$work/stdout" 2>"$work/stderr" </dev/null
  [ $? = 0 ] && head -1 "$work/stdout" | grep -q "^usage: velkin-pack" && [ ! -s "$work/stderr" ] \
    && echo "ok: $help prints the usage" || fail "$help: $(cat "$work/stdout" "$work/stderr")"
done
cp "$package" "$work/-demo.msi"
(cd "$work" && "$pack" -o out/dash-setup.exe -- -demo.msi && "$pack" inspect -- out/dash-setup.exe >/dev/null) </dev/null \
  && echo "ok: -- ends the options" || fail "--"
rm -f "$work/out/dash-setup.exe"

# staging_file [<name to pass over>]: the name of a staging file in out/,
# waited for up to 10 s.
staging_file() {
  local name
  for _ in $(seq 100); do
    name=$(ls -A "$work/out" | grep '^\.velkin-pack-' | grep -vxF -- "${1:-}" | head -1)
    [ -n "$name" ] && echo "$name" && return
    sleep 0.1
  done
}
# The demo package grown, sparse: packing it takes seconds.
cp "$package" "$work/big.msi"
truncate -s 2000M "$work/big.msi"
named=VELKIN_PACK_STAGING=named

cp "$work/big.msi" "$work/shrinking.msi"
# Cut short once the copy has begun (its staging file is there), whatever
# the machine's speed.
env "$named" "$pack" "$work/shrinking.msi" -o "$out" 2>"$work/stderr" </dev/null &
pid=$!
staging_file >/dev/null
truncate -s 1M "$work/shrinking.msi"
wait "$pid"
status=$?
[ "$status" = 1 ] && [ "$(wc -l <"$work/stderr")" = 1 ] && grep -qF "$work/shrinking.msi" "$work/stderr" \
  && [ -z "$(ls -A "$work/out")" ] && echo "ok: a package cut short while packed: $(cat "$work/stderr")" \
  || fail "a package cut short: exit $status: $(cat "$work/stderr")"

env "$named" "$pack" "$work/big.msi" -o "$out" 2>/dev/null </dev/null &
pid=$!
lost=$(staging_file)
kill -KILL "$pid"
wait "$pid" 2>/dev/null
[ -n "$lost" ] && [ -e "$work/out/$lost" ] && echo "ok: SIGKILL leaves the named staging file $lost" \
  || fail "no staging file after SIGKILL"
env "$named" "$pack" "$work/big.msi" -o "$out" 2>/dev/null </dev/null &
running_pid=$!
running=$(staging_file "$lost")
"$pack" "$package" -o "$work/out/demo-setup.exe" </dev/null
[ -n "$running" ] && [ ! -e "$work/out/$lost" ] && [ -e "$work/out/$running" ] && [ -e "$work/out/demo-setup.exe" ] \
  && echo "ok: the next runs remove the lost staging file and keep the running one's" \
  || fail "after the next runs: $(ls -A "$work/out")"
kill -TERM "$running_pid"
wait "$running_pid" 2>/dev/null
[ "$(ls -A "$work/out")" = demo-setup.exe ] && echo "ok: SIGTERM removes the named staging file" \
  || fail "after SIGTERM: $(ls -A "$work/out")"
rm -f "$work/out/demo-setup.exe"

env --ignore-signal=INT "$named" "$pack" "$work/big.msi" -o "$out" 2>/dev/null </dev/null &
pid=$!
staging=$(staging_file)
kill -INT "$pid"
# Ignored, the signal changes nothing: the run goes on to its end and
# publishes the setup, however long it takes.
wait "$pid"
status=$?
[ -n "$staging" ] && [ "$status" = 0 ] && [ -e "$out" ] \
  && echo "ok: an ignored SIGINT stays ignored" || fail "the ignored SIGINT ended velkin-pack (exit $status)"
rm -rf "$work"
finish
