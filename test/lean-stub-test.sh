#!/usr/bin/env bash
# The setup stub stays lean: every download carries it and every run loads
# it. It links nothing of the C++ stream library (the streams, their buffers,
# locales and facets: some 800 KiB in a static program, and their set-up at
# every start), and its stripped size stays within the limit.
# Usage: lean-stub-test.sh <stub> <the stub's link map> <size limit in KiB>
set -u
source "$(dirname "$0")/support/checks.sh"
stub=$1
map=$2
limit_kib=$3

# The map lists the sections the link kept after this heading, each with the
# object it came from; sections of members that nothing needed are listed
# before it, as discarded.
members=$(sed -n '/^Linker script and memory map/,$p' "$map" | grep -o 'libstdc++\.a([^)]*)' | sort -u)
if [ -z "$members" ]; then
  fail "$map names no member of the C++ library (exceptions alone need some): not a link map?"
fi
streams=$(grep -E '\(([a-z0-9_-]*(stream|ios|locale|facets|codecvt)[a-z0-9_-]*)\.o\)' <<<"$members")
if [ -z "$streams" ]; then
  echo "ok: the stub links no part of the stream library ($(wc -l <<<"$members") C++ library members)"
else
  fail "the stub links the stream library:"
  sed 's/^/    /' <<<"$streams"
fi

size=$(stat -c %s "$stub")
if [ "$size" -le $((limit_kib * 1024)) ]; then
  echo "ok: the stub is $((size / 1024)) KiB, within $limit_kib KiB"
else
  fail "the stub is $((size / 1024)) KiB ($size bytes), over the limit of $limit_kib KiB"
fi
finish
