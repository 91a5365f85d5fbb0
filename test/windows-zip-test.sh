#!/usr/bin/env bash
# The Windows zip holds exactly the files that the README lists (the table
# under "On Windows: the zip"), and velkin-pack.exe unpacked from it finds its
# stub by default.
# Usage: windows-zip-test.sh <zip> <README.md> <version> <demo package> <wine loader> <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
zip=$1
readme=$2
version=$3
package=$4
loader=$5
work=$6

rm -rf "$work" && mkdir -p "$work/unzipped"
listed=$(awk '/^##+ /{ section = /On Windows: the zip/ } section && /^\| `/' "$readme" \
  | sed -E 's/^\| `([^`]*)`.*/\1/' | sort)
held=$(cmake -E tar tf "$zip" | sort)
[ -n "$listed" ] && [ "$listed" = "$held" ] && echo "ok: the zip holds the README's files" \
  || fail "README lists: $(echo $listed); the zip holds: $(echo $held)"

(cd "$work/unzipped" && cmake -E tar xf "$zip") || fail "cannot unpack $zip"
cp "$package" "$work/app.msi"
cd "$work"
check_version "$version" "$loader" unzipped/velkin-pack.exe
"$loader" unzipped/velkin-pack.exe app.msi -o app-setup.exe </dev/null && [ -s app-setup.exe ] \
  && echo "ok: packs with the stub beside it" || fail "packing with the unpacked velkin-pack.exe"
finish
