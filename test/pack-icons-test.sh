#!/usr/bin/env bash
# velkin-pack for Linux and icons made to hurt: one image listed 20,000
# times, 65,535 entries, images that overlap each other or the directory, a
# file over the 16 MiB limit (each refused at once with one line that names
# the cause), and 25,000 small images, the most a setup takes, packed in
# bounded memory (ulimit -v) and time.
# Usage: pack-icons-test.sh <velkin-pack> <demo package> <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
pack=$1
package=$2
work=$3

rm -rf "$work" && mkdir -p "$work/out"

# make_icon <file> <count> <image size> <offset expression>: an icon of
# <count> entries; entry i's image lies at the Python expression <offset>
# (of i, and `end`, where the directory ends) and is filled with i's bytes.
make_icon() {
  python3 - "$@" <<'PYTHON'
import struct, sys
path, count, size, where = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), sys.argv[4]
end = 6 + 16 * count
entries, data = bytearray(struct.pack('<HHH', 0, 1, count)), bytearray()
for i in range(count):
    offset = eval(where, {'i': i, 'end': end, 'size': size})
    entries += struct.pack('<BBBBHHII', 16, 16, 0, 0, 1, 32, size, offset)
    stop = offset - end + size
    if len(data) < stop:
        data += bytes(stop - len(data))
    data[offset - end:stop] = bytes([i % 251 + 1]) * size
open(path, 'wb').write(entries + data)
PYTHON
}

# bounded <what> <expected status> <text in the message> <icon>: packs the
# demo package with the icon in 768 MiB of address space and 20 s at most.
bounded() {
  local what=$1 expected=$2 text=$3 icon=$4 status start took
  start=$(date +%s%N)
  (ulimit -v $((768 * 1024)); timeout 20 "$pack" "$package" -o "$work/out/setup.exe" --icon "$icon" \
    >"$work/stdout" 2>"$work/stderr" </dev/null)
  status=$?
  took=$((($(date +%s%N) - start) / 1000000))
  if [ "$expected" = 0 ]; then
    # Linear time: well under a second; in the square of the images' count,
    # over ten.
    [ "$status" = 0 ] && [ -s "$work/out/setup.exe" ] && [ "$took" -lt 5000 ] && echo "ok: $what packs in $took ms" \
      || fail "$what: exit $status after $took ms: $(cat "$work/stderr")"
  else
    [ "$status" = 1 ] && [ "$(wc -l <"$work/stderr")" = 1 ] && grep -qF -- "$text" "$work/stderr" \
      && [ -z "$(ls -A "$work/out")" ] && echo "ok: $what ($took ms): $(cat "$work/stderr")" \
      || fail "$what: exit $status after $took ms: $(cat "$work/stderr")"
  fi
  rm -f "$work/out/setup.exe"
}

make_icon "$work/shared.ico" 20000 32768 'end'
bounded "one 32 KiB image listed 20,000 times" 1 "its images add up to 655360000 bytes" "$work/shared.ico"
make_icon "$work/many.ico" 65535 16384 'end'
bounded "65,535 entries" 1 "has 65535 images; a setup's resources may hold at most 25000" "$work/many.ico"
make_icon "$work/overlap.ico" 3 64 'end + [400, 48, 0][i]'
bounded "images that overlap" 1 "images 2 and 3 overlap" "$work/overlap.ico"
make_icon "$work/directory.ico" 2 64 'end - 8 + i * 64'
bounded "an image over the directory" 1 "image 1 lies outside it" "$work/directory.ico"
make_icon "$work/huge.ico" 1 $((16 * 1024 * 1024)) 'end'
bounded "an icon over the limit" 1 "an icon file may have at most 16777216 bytes (16 MiB)" "$work/huge.ico"
make_icon "$work/most.ico" 25000 64 'end + i * size'
bounded "25,000 images of 64 bytes" 0 "" "$work/most.ico"
(ulimit -v $((768 * 1024)); timeout 20 "$pack" "$package" -o "$work/most-setup.exe" --icon "$work/most.ico" </dev/null \
  && timeout 20 "$pack" inspect "$work/most-setup.exe" >"$work/stdout" </dev/null) \
  && [ "$(stat -c %s "$work/most-setup.exe")" -lt $(($(stat -c %s "$work/most.ico") + $(stat -c %s "$package") + 2 * 1024 * 1024)) ] \
  && echo "ok: the setup with 25,000 images reads back, its icon held once" \
  || fail "the setup with 25,000 images: $(ls -l "$work/most-setup.exe" 2>&1)"
rm -rf "$work"
finish
