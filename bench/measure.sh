#!/usr/bin/env bash
# The measurements of the benchmark on a built tree (bench/run.sh builds it
# first), in a Wine prefix of their own.
# Usage: bench/measure.sh <build directory> "<sizes in MiB>" <rounds> [<work directory>]
set -euo pipefail
source "$(dirname "$0")/../scripts/wine-prefix.sh"
velkin_without_aslr "$0" "$@"
cd "$(dirname "$0")/.."
velkin_build=$1
sizes=$2
rounds=$3

bin="$(cd "$velkin_build/bin" && pwd)"
bench=${4:-$velkin_build/bench}
mkdir -p "$bench"
bench="$(cd "$bench" && pwd)"
velkin_wine_start "$bench"
trap velkin_wine_stop EXIT

windows_path() { local p; p=$(realpath -m -- "$1"); printf 'Z:%s' "${p//\//\\}"; }
product_code="{7D6C5B4A-3928-4716-A5B4-C3D2E1F0A9B8}"
system32="$WINEPREFIX/drive_c/windows/system32"
harness="$bin/velkin-bench.exe"
run_harness() { "$velkin_wine_loader" "$harness" "$@" </dev/null; }

# Packages of incompressible bytes, made once and kept between runs.
for size in $sizes; do
  package="$bench/bench-$size.msi"
  if [ ! -f "$package" ]; then
    echo "Making a package of $size MiB ..." >&2
    head -c $((size * 1048576)) /dev/urandom > "$bench/payload.bin"
    (cd bench && wixl -D Payload="$(realpath --relative-to=. "$bench/payload.bin")" -o "$package" payload.wxs)
    rm -f "$bench/payload.bin"
  fi
  "$bin/velkin-pack" "$package" -o "$bench/setup-$size.exe" --stub "$bin/velkin-setup.exe"
done

table="$bench/results.md"
{
  echo "| Measure | Velkin (median) | Reference (median) | Ratio | Target | Met |"
  echo "|---|---|---|---|---|---|"
} > "$table"

# 1 and 3. Extraction: msiexec.exe replaced by a program that exits at once.
cp "$system32/msiexec.exe" "$bench/msiexec.exe.saved"
cp "$bin/velkin-bench-exit0.exe" "$system32/msiexec.exe"
restore_msiexec() { cp "$bench/msiexec.exe.saved" "$system32/msiexec.exe"; }
for size in $sizes; do
  memory_target=0
  [ "$size" -ge 64 ] && memory_target=16
  echo "Extraction, $size MiB ..." >&2
  WINEDLLOVERRIDES="msiexec.exe=n" run_harness "extraction, $size MiB" "$rounds" 1.10 "$memory_target" \
    "\"$(windows_path "$bench/setup-$size.exe")\" /qn" \
    "\"$(windows_path "$bin/velkin-bench-copy.exe")\" \"$(windows_path "$bench/bench-$size.msi")\" C:\\windows\\system32\\msiexec.exe" \
    | tr -d '\r' >> "$table" || { restore_msiexec; exit 1; }
done
restore_msiexec

# 2. End to end: install with the setup, or with msiexec directly; removed
# after every run.
for size in $sizes; do
  echo "End to end, $size MiB ..." >&2
  run_harness "install, $size MiB" "$rounds" 1.05 0 \
    "\"$(windows_path "$bench/setup-$size.exe")\" /qn" \
    "msiexec /i \"$(windows_path "$bench/bench-$size.msi")\" /qn" \
    "msiexec /x $product_code /qn" | tr -d '\r' >> "$table"
done

# 4. Size of the stub, as linked (stripped).
stub_kib=$(( $(stat -c %s "$bin/velkin-setup.exe") / 1024 ))
met=no; [ "$stub_kib" -le 1280 ] && met=yes
echo "| velkin-setup.exe size (stripped) | $stub_kib KiB | | | <= 1280 KiB | $met |" >> "$table"

{
  echo
  echo "$(date -u +%Y-%m-%d), $(nproc) cores, $(free -g | awk '/Mem:/{print $2}') GiB, Wine $("$velkin_wine_loader" --version 2>/dev/null | sed 's/wine-//'), $rounds rounds after a warm-up, A B A B alternating"
} >> "$table"
cat "$table"
