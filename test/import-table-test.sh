#!/usr/bin/env bash
# The setup executable binds at start only the kernel, advapi32 and the C
# runtime: libraries that Windows always takes from the system directory, so
# none can be planted next to it, and few to load before it does anything.
# Every other library is loaded from the system directory when needed.
# Usage: import-table-test.sh <objdump> <executable>
set -u
source "$(dirname "$0")/support/checks.sh"
objdump=$1
executable=$2
expected="advapi32.dll kernel32.dll msvcrt.dll"

imports=$("$objdump" -p "$executable" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u | tr '\n' ' ')
imports=${imports% }
[ "$imports" = "$expected" ] && echo "ok: $executable imports exactly $expected" \
  || fail "$executable imports '$imports', expected exactly '$expected'"
finish
