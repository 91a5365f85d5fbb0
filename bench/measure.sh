#!/usr/bin/env bash
# The measurements of the benchmark on a built tree (bench/run.sh builds it
# first), in a Wine prefix of their own.
set -euo pipefail
usage() {
  cat <<'USAGE'
usage: bench/measure.sh <build directory> "<sizes in MiB>" <rounds> [<work directory>]

Measures, for each size: velkin-pack for Linux against cp of the package
(time and peak memory) and velkin-pack.exe's time and memory; under Wine,
extraction against a plain copy (msiexec replaced by a program that exits at
once), at 512 MiB and beyond also right after another program wrote and
deleted 512 MB before each run of either side, and the install end to end
against a copy followed by msiexec itself;
velkin-pack manifest --intune, --chocolatey and --winget against gzip,
openssl enc and sha256sum doing the same kind of work (time and peak memory);
velkin-pack transform between two packages whose cabinets differ against
reading both and copying one;
velkin-pack with two --language variants against making each transform
alone and packing the base;
and once the stub's start-up and size beside a program that does nothing,
and the sweep of leftovers (the smallest size in a crowded temporary
directory against an empty one).
Writes a markdown table to <work directory>/results.md (default
<build directory>/bench) and prints it.
USAGE
}
if [ $# -ge 1 ] && { [ "$1" = --help ] || [ "$1" = -h ]; }; then
  usage
  exit 0
fi
if [ $# -lt 3 ] || [ $# -gt 4 ]; then
  usage >&2
  exit 2
fi
source "$(dirname "$0")/../scripts/wine-prefix.sh"
velkin_without_aslr "$0" "$@"
cd "$(dirname "$0")/.."
velkin_build=$1
sizes=$2
rounds=$3

# The Windows programs, and velkin-pack for Linux.
bin="$(cd "$velkin_build/windows/bin" && pwd)"
pack="$(cd "$velkin_build/bin" && pwd)/velkin-pack"
bench=${4:-$velkin_build/bench}
mkdir -p "$bench"
bench="$(cd "$bench" && pwd)"
velkin_wine_start "$bench"
trap velkin_wine_stop EXIT

product_code="{7D6C5B4A-3928-4716-A5B4-C3D2E1F0A9B8}"

# make_package <package> <size in MiB> [<language>]: a package of
# incompressible bytes (in English unless told), made once and kept between
# runs.
make_package() {
  [ ! -f "$1" ] || return 0
  echo "Making a package of $2 MiB ..." >&2
  head -c $(($2 * 1048576)) /dev/urandom > "$bench/payload.bin"
  (cd bench && wixl -D Payload="$(realpath --relative-to=. "$bench/payload.bin")" -D Language="${3:-1033}" \
    -o "$1" payload.wxs)
  rm -f "$bench/payload.bin"
}
system32="$WINEPREFIX/drive_c/windows/system32"
harness="$bin/velkin-bench.exe"
run_harness() { "$velkin_wine_loader" "$harness" "$@" </dev/null; }

# Packages of incompressible bytes, made once and kept between runs; the
# setups are packed afresh, and velkin-pack measured doing it: for Linux
# against cp of the package, and velkin-pack.exe under Wine.
# First the demo package of 10 KB, where velkin-pack's own start is all
# there is: judged by its time alone.
echo "velkin-pack, the demo package ..." >&2
pack_rows=$(python3 bench/pack-speed.py "$pack" "$bin/velkin-setup.exe" "$velkin_build/windows/packages/demo.msi" \
  "10 KB (the demo)" "$rounds" "$bench" 8ms)$'\n'
for size in $sizes; do
  package="$bench/bench-$size.msi"
  make_package "$package" "$size"
  "$pack" "$package" -o "$bench/setup-$size.exe" --stub "$bin/velkin-setup.exe" 2>/dev/null
  echo "velkin-pack, $size MiB ..." >&2
  time_target=""
  [ "$size" -ge 512 ] && time_target=1.05
  pack_rows+=$(python3 bench/pack-speed.py "$pack" "$bin/velkin-setup.exe" "$package" "$size MiB" "$rounds" \
    "$bench" $time_target)$'\n'
  pack_rows+=$(run_harness --single "velkin-pack.exe under Wine, $size MiB" "$rounds" \
    "\"$(windows_path "$bin/velkin-pack.exe")\" \"$(windows_path "$package")\" -o \"$(windows_path "$bench/packed.exe")\" --stub \"$(windows_path "$bin/velkin-setup.exe")\"" \
    | tr -d '\r')$'\n'
done
rm -f "$bench/packed.exe"

# The deployment artefacts of the setup, each against everyday tools doing
# the same kind of work: the Intune package (deflate, encrypt, digest)
# against gzip -1 | openssl enc plus sha256sum, the Chocolatey package
# against gzip -1, the winget manifests against sha256sum (one pass over
# the setup). Judged at 512 MiB and beyond, where the setup's bytes dominate.
manifest_rows=""
judged() { [ "$size" -ge 512 ] && echo "$1" || true; }
for size in $sizes; do
  setup="$bench/setup-$size.exe"
  echo "Deployment artefacts, $size MiB ..." >&2
  manifest_rows+=$(python3 bench/manifest-speed.py \
    "velkin-pack manifest --intune, $size MiB (reference: gzip -1 | openssl enc -aes-256-cbc, and sha256sum)" \
    "$rounds" "$(judged 1.5)" "$bench/manifests" \
    "gzip -1 -c '$setup' | openssl enc -aes-256-cbc -pass pass:x -pbkdf2 >/dev/null && sha256sum '$setup' >/dev/null" \
    "$pack" manifest "$setup" --intune -o "$bench/manifests")$'\n'
  manifest_rows+=$(python3 bench/manifest-speed.py \
    "velkin-pack manifest --chocolatey, $size MiB (reference: gzip -1)" "$rounds" "$(judged 1.5)" \
    "$bench/manifests" "gzip -1 -c '$setup' >/dev/null" \
    "$pack" manifest "$setup" --chocolatey --id velkin-bench --url https://example.com/setup.exe \
    --description "The benchmark's package of incompressible bytes" -o "$bench/manifests")$'\n'
  manifest_rows+=$(python3 bench/manifest-speed.py \
    "velkin-pack manifest --winget, $size MiB (reference: sha256sum)" "$rounds" "$(judged 1.2)" \
    "$bench/manifests" "sha256sum '$setup' >/dev/null" \
    "$pack" manifest "$setup" --winget --id Velkin.Bench --url https://example.com/setup.exe --license MIT \
    -o "$bench/manifests")$'\n'
done
# A transform between two packages of the size whose cabinets differ, against
# reading both and copying the variant (what it must do at the least: compare
# the two, write the variant's cabinet). Judged from 256 MiB on.
for size in $sizes; do
  variant="$bench/bench-$size-variant.msi"
  make_package "$variant" "$size"
  transform_target=""
  [ "$size" -ge 256 ] && transform_target=1.5
  echo "velkin-pack transform, $size MiB ..." >&2
  manifest_rows+=$(python3 bench/manifest-speed.py \
    "velkin-pack transform, two packages of $size MiB whose cabinets differ (reference: cat of both, then cp of the variant)" \
    "$rounds" "$transform_target" "$bench/transform" \
    "cat '$bench/bench-$size.msi' '$variant' >/dev/null && cp '$variant' '$bench/transform/out.mst'" \
    "$pack" transform "$bench/bench-$size.msi" "$variant" -o "$bench/transform/out.mst")$'\n'
done
# A setup in three languages from packages of the size (a German and a
# French variant, each with a cabinet of its own), against what it does at
# the least: each transform made alone, then the base packed. Judged from
# 256 MiB on.
for size in $sizes; do
  variants=()
  for language in 1031 1036; do
    variant="$bench/bench-$size-$language.msi"
    make_package "$variant" "$size" "$language"
    variants+=("$variant")
  done
  languages_target=""
  [ "$size" -ge 256 ] && languages_target=1.20
  echo "velkin-pack --language, $size MiB ..." >&2
  manifest_rows+=$(python3 bench/manifest-speed.py \
    "velkin-pack --language twice, three packages of $size MiB (reference: velkin-pack transform of each variant, then velkin-pack of the base)" \
    "$rounds" "$languages_target" "$bench/languages" \
    "'$pack' transform '$bench/bench-$size.msi' '${variants[0]}' -o '$bench/languages/1031.mst' \
      && '$pack' transform '$bench/bench-$size.msi' '${variants[1]}' -o '$bench/languages/1036.mst' \
      && '$pack' '$bench/bench-$size.msi' -o '$bench/languages/bench-setup.exe' --stub '$bin/velkin-setup.exe'" \
    "$pack" "$bench/bench-$size.msi" --language "${variants[0]}" --language "${variants[1]}" \
    -o "$bench/languages/bench-setup.exe" --stub "$bin/velkin-setup.exe")$'\n'
done
# The packers wrote gigabytes: on disk before anything else is timed, so that
# the write-back does not fall into the measurements below.
sync

table="$bench/results.md"
{
  echo "| Measure | Velkin (median) | Reference (median) | Ratio | Target | Met |"
  echo "|---|---|---|---|---|---|"
} > "$table"

# Start-up: the stub's program returning at once from WinMain against a
# program that does nothing, alternating, so that noise hits both alike; and
# the stub itself, which ends at once for want of a package (a whole failure,
# quietly: no message box).
echo "Start-up ..." >&2
run_harness "start-up: the stub, returning at once from WinMain (reference: a program that does nothing)" \
  "$rounds" 1.10 0 "\"$(windows_path "$bin/velkin-bench-stub-at-once.exe")\"" \
  "\"$(windows_path "$bin/velkin-bench-exit0.exe")\"" | tr -d '\r' >> "$table"
run_harness --single "start-up: the stub, ending at once" "$rounds" \
  "\"$(windows_path "$bin/velkin-setup.exe")\" uninstall /qn" 2>/dev/null | tr -d '\r' >> "$table"

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

# Extraction when the disk is busy: before every run of either side another
# program writes 512 MB of fresh data and deletes it again, as a download or
# a build might just have done (at 512 MiB and beyond: it takes seconds a run).
# (From /dev/urandom, as `dd if=/dev/urandom of=noise bs=1M count=512; rm
# noise` would: how long the writing takes changes what it does to the run.)
pressure="\"$(windows_path "$bin/velkin-bench-noise.exe")\" \"$(windows_path "$bench/noise")\" 512 $(windows_path /dev/urandom)"
for size in $sizes; do
  [ "$size" -ge 512 ] || continue
  echo "Extraction under write pressure, $size MiB ..." >&2
  WINEDLLOVERRIDES="msiexec.exe=n" run_harness --before "$pressure" \
    "extraction, $size MiB, right after another program wrote and deleted 512 MB (reference: the copy, after the same)" \
    "$rounds" 1.20 0 \
    "\"$(windows_path "$bench/setup-$size.exe")\" /qn" \
    "\"$(windows_path "$bin/velkin-bench-copy.exe")\" \"$(windows_path "$bench/bench-$size.msi")\" C:\\windows\\system32\\msiexec.exe" \
    | tr -d '\r' >> "$table" || { restore_msiexec; exit 1; }
done

# The sweep of leftovers that every run makes: a temporary directory crowded
# with 2,000 entries of other programs and a leftover of a setup ended hard
# (planted again after every run), against an empty one.
smallest=${sizes%% *}
crowded="$bench/temp-crowded"
empty="$bench/temp-empty"
rm -rf "$crowded" "$empty"
mkdir -p "$crowded" "$empty"
for i in $(seq 1000); do
  : > "$crowded/tmp$i.tmp"
  mkdir "$crowded/$i.tmp"
done
leftover="$(windows_path "$crowded")\\velkin-00000000000000ab.tmp"
echo "Sweep ..." >&2
WINEDLLOVERRIDES="msiexec.exe=n" run_harness \
  --env-a TMP="$(windows_path "$crowded")" --env-a TEMP="$(windows_path "$crowded")" \
  --env-b TMP="$(windows_path "$empty")" --env-b TEMP="$(windows_path "$empty")" \
  "extraction, $smallest MiB: TEMP with 2,000 entries of others and a leftover of $smallest MiB (reference: an empty TEMP)" \
  "$rounds" 1.05 0 \
  "\"$(windows_path "$bench/setup-$smallest.exe")\" /qn" \
  "\"$(windows_path "$bench/setup-$smallest.exe")\" /qn" \
  "cmd /c mkdir $leftover 2>nul & copy /y $(windows_path "$bench/bench-$smallest.msi") $leftover\\main.msi >nul" \
  | tr -d '\r' >> "$table" || { restore_msiexec; exit 1; }
# Each run removed what the clean-up planted (the last one is still there),
# its own directory, and nothing else.
[ -z "$(ls -A "$empty")" ] && [ "$(ls "$crowded" | wc -l)" -eq 2001 ] || {
  restore_msiexec; echo "the sweep left or took what it should not have" >&2; exit 1; }
rm -rf "$crowded" "$empty"
restore_msiexec

# 2. End to end: install with the setup, or copy the package and install it
# with msiexec directly; removed after every run.
for size in $sizes; do
  echo "End to end, $size MiB ..." >&2
  run_harness "install, $size MiB (reference: copy + msiexec)" "$rounds" 1.05 0 \
    "\"$(windows_path "$bench/setup-$size.exe")\" /qn" \
    "\"$(windows_path "$bin/velkin-bench-copy.exe")\" \"$(windows_path "$bench/bench-$size.msi")\" C:\\windows\\system32\\msiexec.exe /qn" \
    "msiexec /x $product_code /qn" | tr -d '\r' >> "$table"
done
printf '%s' "$pack_rows" >> "$table"
printf '%s' "$manifest_rows" >> "$table"

# 4. Size of the stub, as linked (stripped), beside the program that does
# nothing: what the C and C++ runtimes cost any static program.
stub_kib=$(( $(stat -c %s "$bin/velkin-setup.exe") / 1024 ))
bare_kib=$(( $(stat -c %s "$bin/velkin-bench-exit0.exe") / 1024 ))
limit_kib=$(head -n 1 wrapper/stub-size-limit-kib)
met=no; [ "$stub_kib" -le "$limit_kib" ] && met=yes
echo "| velkin-setup.exe size (stripped) | $stub_kib KiB | $bare_kib KiB (a program that does nothing) | | <= $limit_kib KiB | $met |" >> "$table"

{
  echo
  echo "$(date -u +%Y-%m-%d), $(nproc) cores, $(free -g | awk '/Mem:/{print $2}') GiB, Wine $("$velkin_wine_loader" --version 2>/dev/null | sed 's/wine-//'), $rounds rounds after a warm-up, A B A B alternating"
} >> "$table"
cat "$table"
