#!/usr/bin/env bash
# The main job's build target (velkin-programs) builds velkin-pack for Linux
# and the setup stub, and no test program: judged by what Ninja would run
# for it, in this tree and in the Windows tree it builds the stub in.
# Usage: programs-target-test.sh <ninja> <build directory> <Windows build directory>
set -u
source "$(dirname "$0")/support/checks.sh"
ninja=$1
host_build=$2
windows_build=$3

host=$("$ninja" -C "$host_build" -t commands velkin-programs)
windows=$("$ninja" -C "$windows_build" -t commands velkin-setup)
commands="$host"$'\n'"$windows"

grep -q -- '-o bin/velkin-pack\b' <<<"$host" && echo "ok: it links velkin-pack" \
  || fail "it does not link velkin-pack"
grep -q -- '-o bin/velkin-setup.exe\b' <<<"$windows" && echo "ok: it links the stub" \
  || fail "it does not link the stub"
grep -q -- "--build $windows_build --target velkin-setup" <<<"$host" \
  && echo "ok: it builds the stub alone in the Windows tree" \
  || fail "it does not build the stub in the Windows tree"
# What the commands make (compilers' and the linker's -o, the archiver's
# archive), named relative to their tree: nothing of the tests, their
# support or GoogleTest, nor the benchmark's helpers.
outputs=$(grep -o -E -- '(-o|ar qc) [^ ]+' <<<"$commands" | cut -d' ' -f2- | sort -u)
[ -n "$outputs" ] || fail "no command makes anything: not Ninja's commands?"
unwanted=$(grep -E -- '(^|/)(test|googletest)/|-tests(\.exe)?$|velkin-bench' <<<"$outputs")
[ -z "$unwanted" ] && echo "ok: it makes $(wc -l <<<"$outputs") files, none of the tests'" \
  || fail "it makes test programs:"$'\n'"$unwanted"
# Nor does it build the Windows tree whole, or the sanitizer tree.
steps=$(grep -o -E 'velkin-windows-programs-(build|install|done|stub-beside-velkin-pack)|velkin-sanitized-programs' \
  <<<"$commands" | sort -u)
[ -z "$steps" ] && echo "ok: of the other trees, it only configures the Windows tree" \
  || fail "it runs steps beyond the Windows tree's configuration:"$'\n'"$steps"
finish
