#!/usr/bin/env bash
# The setup executable imports only libraries that Windows always takes from
# the system directory (known DLLs): none can be planted next to it.
# Usage: import-table-test.sh <objdump> <executable>
set -u
objdump=$1
executable=$2
known="advapi32.dll kernel32.dll msvcrt.dll ole32.dll shell32.dll shlwapi.dll user32.dll"

imports=$("$objdump" -p "$executable" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z' | sort -u)
if [ -z "$imports" ]; then
  echo "FAILED: no import table read from $executable"
  exit 1
fi
status=0
for library in $imports; do
  if [[ " $known " == *" $library "* ]]; then
    echo "ok: $library"
  else
    echo "FAILED: $executable imports $library, which Windows may take from beside it"
    status=1
  fi
done
exit $status
