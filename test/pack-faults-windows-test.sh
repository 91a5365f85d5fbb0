#!/usr/bin/env bash
# velkin-pack.exe under Wine meets damaged files as velkin-pack for Linux
# does: damaged packages are read in a child process, so that msi.dll's
# crashes never end velkin-pack.exe (each package is read, or refused with one
# line naming it); Ctrl+C ends packing and inspecting with 0xC000013A; paths
# of 300 characters are packed, read and written, and a setup there runs; a
# setup or stub whose header counts wrap in 32 bits gets the same one line
# from both hosts.
# Usage: pack-faults-windows-test.sh <velkin-pack> <Windows bin directory> <demo package> <wine loader>
#          <work directory> [<damaged packages>]
set -u
source "$(dirname "$0")/support/checks.sh"
source "$(dirname "$0")/../scripts/wine-paths.sh"
pack=$1
bin=$2
package=$3
loader=$4
work=$5
count=${6:-40}

rm -rf "$work" && mkdir -p "$work/mutants"
windows() { "$loader" "$bin/velkin-pack.exe" "$@" </dev/null; }

make_mutants "$package" "$work/mutants" "$count" 25
read=0
refused=0
crashed=0
for mutant in "$work"/mutants/*.msi; do
  shown=$(windows_path "$mutant")
  windows inspect "$shown" >"$work/stdout" 2>"$work/stderr"
  status=$?
  case $status in
    0) read=$((read + 1)) ;;
    1) refused=$((refused + 1))
       [ "$(wc -l <"$work/stderr")" = 1 ] && grep -q "^velkin-pack: error: " "$work/stderr" \
         && grep -qF "$shown" "$work/stderr" \
         || fail "$(basename "$mutant"): $(cat "$work/stderr")"
       grep -q "the reader crashed" "$work/stderr" && crashed=$((crashed + 1)) ;;
    *) fail "$(basename "$mutant"): exit status $status: $(head -3 "$work/stderr")" ;;
  esac
done
echo "ok: $count damaged packages: $read read, $refused refused with one line naming the package" \
  "($crashed of them crashed msi.dll in the reader)"
# The sample holds packages that crash msi.dll: the isolation is put to the
# test, not assumed.
[ "$crashed" -gt 0 ] || fail "no damaged package crashed the reader; the sample tests no isolation"

# Ended hard while its reader reads a setup's package (a sound one of
# 400,000 Property rows, which takes the reader a second or so: a damaged one
# that msi.dll would never finish is refused before the reader starts),
# velkin-pack.exe leaves no reader running; the package's copy left in the
# temporary directory goes with the next inspect of a setup.
cp "$package" "$work/rows.msi"
msiinfo export "$work/rows.msi" Property >"$work/Property.idt"
python3 -c "import sys; open(sys.argv[1], 'a', newline='').writelines('R%07d\tv\r\n' % i for i in range(400000))" \
  "$work/Property.idt"
msibuild "$work/rows.msi" -i "$work/Property.idt" || fail "msibuild cannot add 400,000 rows"
"$pack" "$work/rows.msi" -o "$work/rows-setup.exe" </dev/null || fail "the package of 400,000 rows does not pack"
temp=$(echo "$WINEPREFIX"/drive_c/users/*/Temp)
readers() { ps -eo pid=,args= | grep -F -- "--velkin-read-package" | grep -F "$1" | grep -v grep; }
# Wine's loader becomes the Windows process: $! is velkin-pack.exe.
"$loader" "$bin/velkin-pack.exe" inspect "$(windows_path "$work/rows-setup.exe")" </dev/null >/dev/null 2>&1 &
parent=$!
copy=
for _ in $(seq 100); do
  copy=$(cd "$temp" && ls -d velkin-????????????????.tmp 2>/dev/null | head -1)
  [ -n "$copy" ] && [ -n "$(readers "$copy")" ] && break
  sleep 0.1
done
if [ -z "$copy" ] || [ -z "$(readers "$copy")" ]; then
  fail "no reader of the setup's package was seen"
else
  kill -KILL "$parent"
  wait "$parent" 2>/dev/null
  for _ in $(seq 50); do [ -z "$(readers "$copy")" ] && break; sleep 0.1; done
  [ -z "$(readers "$copy")" ] && echo "ok: velkin-pack.exe ended hard leaves no reader running" \
    || fail "a reader outlived velkin-pack.exe: $(readers "$copy")"
  windows inspect "$(windows_path "$bin/velkin-setup-demo.exe")" >/dev/null 2>&1
  [ ! -e "$temp/$copy" ] && echo "ok: the next inspect removes the copy it left" \
    || fail "the copy of the package stays: $(ls -A "$temp/$copy")"
fi

# Ctrl+C (Wine gives SIGINT to a console program as one) in the middle of
# packing and of `inspect --json`: exit 0xC000013A, as Windows programs end
# on it (0x3A to a Linux shell), never 0, and nothing left in the output's
# directory.
cp "$package" "$work/big.msi"
truncate -s 1500M "$work/big.msi"
mkdir -p "$work/out"
# interrupted <what> <file that shows it is under way> <arguments...>
interrupted() {
  local what=$1 sign=$2 pid status
  shift 2
  env --default-signal=INT "$loader" "$bin/velkin-pack.exe" "$@" </dev/null >"$work/stdout" 2>/dev/null &
  pid=$!
  for _ in $(seq 100); do compgen -G "$sign" >/dev/null && break; sleep 0.1; done
  kill -0 "$pid" 2>/dev/null || fail "$what: velkin-pack.exe ended before Ctrl+C"
  kill -INT "$pid"
  wait "$pid"
  status=$?
  [ "$status" = $((0xC000013A & 0xFF)) ] && [ -z "$(ls -A "$work/out")" ] \
    && echo "ok: $what: Ctrl+C ends it with 0xC000013A, leaving nothing" \
    || fail "$what: Ctrl+C: exit $status, left: $(ls -A "$work/out")"
}
interrupted "packing" "$work/out/velkin-*.tmp" "$(windows_path "$work/big.msi")" \
  -o "$(windows_path "$work/out/app-setup.exe")"
interrupted "inspect --json" "$temp/velkin-*.tmp" inspect "$(windows_path "$work/rows-setup.exe")" --json
# Its copy of the package goes with the next inspect of a setup, as a
# killed run's does.
windows inspect "$(windows_path "$bin/velkin-setup-demo.exe")" >/dev/null 2>&1
compgen -G "$temp/velkin-*.tmp" >/dev/null && fail "the interrupted inspect's copy stays: $(ls "$temp")" \
  || echo "ok: the next inspect removes the interrupted one's copy"
rm -f "$work/big.msi"

# Paths of 300 characters: velkin-pack.exe packs, inspects and extracts
# there (msi.dll, which crashed on such a path, reads a private copy), and a
# setup stored there installs and removes.
deep=$work/$(printf 'd%.0s' $(seq 100))/$(printf 'e%.0s' $(seq 100))
shown=$(windows_path "$deep")
deep=$deep/$(printf 'f%.0s' $(seq $((300 - ${#shown} - 1 - 17))))
mkdir -p "$deep"
cp "$package" "$deep/long-package.msi"
shown=$(windows_path "$deep/long-package.msi")
[ "${#shown}" = 300 ] || fail "the long path has ${#shown} characters"
windows "$(windows_path "$deep/long-package.msi")" -o "$(windows_path "$deep/long-setup.exe")" 2>"$work/stderr" \
  && windows inspect "$(windows_path "$deep/long-package.msi")" >/dev/null 2>>"$work/stderr" \
  && windows inspect "$(windows_path "$deep/long-setup.exe")" >/dev/null 2>>"$work/stderr" \
  && windows extract "$(windows_path "$deep/long-setup.exe")" -o "$(windows_path "$deep/long-copy.msi")" 2>>"$work/stderr" \
  && cmp -s "$deep/long-package.msi" "$deep/long-copy.msi" \
  && echo "ok: packing, inspecting and extracting at paths of 300 characters" \
  || fail "at paths of 300 characters: $(cat "$work/stderr")"
check_demo_setup "$loader" "$deep/long-setup.exe"
rm -rf "$work/$(printf 'd%.0s' $(seq 100))"

# NumberOfRvaAndSizes 0x20000000: 8 bytes each wrap to 0 in 32-bit arithmetic.
python3 - "$bin/velkin-setup-demo.exe" "$work/wrapped.exe" <<'PYTHON'
import struct, sys
image = bytearray(open(sys.argv[1], 'rb').read())
optional = struct.unpack_from('<I', image, 0x3C)[0] + 24
struct.pack_into('<I', image, optional + 108, 0x20000000)
open(sys.argv[2], 'wb').write(image)
PYTHON
# same_line <what> <Linux stderr> <Windows stderr>: one line each, the same
# but for the form of the path.
same_line() {
  local linux windows
  linux=$(sed "s|$work/wrapped.exe|FILE|" "$2")
  windows=$(tr -d '\r' <"$3" | sed "s|$(windows_path "$work/wrapped.exe" | sed 's/\\/\\\\/g')|FILE|")
  [ "$(wc -l <"$2")" = 1 ] && [ "$linux" = "$windows" ] && echo "ok: $1: both hosts say: $linux" \
    || fail "$1: Linux: $(cat "$2") Windows: $(cat "$3")"
}
"$pack" inspect "$work/wrapped.exe" >/dev/null 2>"$work/linux.err" </dev/null
windows inspect "$(windows_path "$work/wrapped.exe")" >/dev/null 2>"$work/windows.err"
same_line "a setup with 0x20000000 directories" "$work/linux.err" "$work/windows.err"
"$pack" "$package" -o "$work/out.exe" --stub "$work/wrapped.exe" 2>"$work/linux.err" </dev/null
windows "$(windows_path "$package")" -o "$(windows_path "$work/out.exe")" --stub "$(windows_path "$work/wrapped.exe")" \
  2>"$work/windows.err"
same_line "a stub with 0x20000000 directories" "$work/linux.err" "$work/windows.err"
[ ! -e "$work/out.exe" ] || fail "a setup was made from the stub with 0x20000000 directories"
rm -rf "$work"
finish
