#!/usr/bin/env bash
# Velkin as a CMake user gets it: `cmake --install` into a staging prefix,
# moved elsewhere (the tree is relocatable), then the project in consumer/
# finds it and wraps the demo package with velkin_add_setup(), with no Wine
# in the build. The setup installs and removes (under Wine); it is made again
# when an input changes, and only then; a version requirement above ours
# fails to configure.
# Usage: install-consumer-test.sh <build directory> <version> <demo package>
#          <icon> <wine loader> <work directory> <bin directory>
#          <stub directory> <package config directory>
# (the three install directories as the build was configured, relative to
# the prefix)
set -u
source "$(dirname "$0")/support/checks.sh"
build=$1
version=$2
package=$3
icon=$4
loader=$5
work=$6
bindir=$7
stubdir=$8
configdir=$9
consumer_source="$(cd "$(dirname "$0")/consumer" && pwd)"
consumer="$work/consumer"

rm -rf "$work" && mkdir -p "$work"
cmake --install "$build" --prefix "$work/staging" >"$work/install.log" 2>&1 \
  || fail "install: $(cat "$work/install.log")"
mv "$work/staging" "$work/moved"
tree="$work/moved"
check_version "$version" "$tree/$bindir/velkin-pack"

cp "$package" "$work/app.msi"
cp "$icon" "$work/app.ico"
configure() {
  cmake -S "$consumer_source" -B "$1" -G Ninja -DCMAKE_PREFIX_PATH="$tree" \
    -DCONSUMER_MSI="$work/app.msi" -DCONSUMER_ICON="$work/app.ico" "${@:2}" </dev/null
}
configure "$consumer" >"$work/configure.log" 2>&1 \
  && echo "ok: the consumer configures" || fail "configure: $(cat "$work/configure.log")"
grep -qx "Velkin_DIR:PATH=$tree/$configdir" "$consumer/CMakeCache.txt" \
  && echo "ok: it found the staged Velkin" || fail "$(grep Velkin_DIR "$consumer/CMakeCache.txt")"

# A Wine process would make the prefix it is given.
WINEPREFIX="$work/no-wine" timeout 300 cmake --build "$consumer" </dev/null >"$work/build.log" 2>&1
status=$?
[ "$status" = 124 ] && fail "the build hung"
[ "$status" = 0 ] && echo "ok: the consumer builds" || fail "build exited with $status: $(cat "$work/build.log")"
[ ! -e "$work/no-wine" ] && echo "ok: the build started no Wine" || fail "the build started Wine"
check_demo_setup "$loader" "$consumer/setups/App Setup.exe"

pending() { cmake --build "$consumer" -- -n </dev/null 2>&1 | grep -c "Packing"; }
[ "$(pending)" = 0 ] && echo "ok: nothing to do after the build" || fail "the setup is made on every build"
for input in "$work/app.msi" "$work/app.ico" "$tree/$bindir/velkin-pack" "$tree/$stubdir/velkin-setup.exe"; do
  touch "$input"
  [ "$(pending)" = 1 ] && echo "ok: made again after ${input#"$work/"} changed" \
    || fail "${input#"$work/"} changed, but the setup is not made again"
  touch -d "2000-01-01" "$input"
done

above=$(awk -F. '{ printf "%d.%d.%d", $1, $2, $3 + 1 }' <<<"$version")
configure "$work/too-new" -DCONSUMER_VELKIN_VERSION="$above" >"$work/too-new.log" 2>&1 \
  && fail "a requirement of $above configured"
# CMake wraps its messages.
tr -s ' \n' ' ' <"$work/too-new.log" | grep -q "compatible with requested version \"$above\"" \
  && echo "ok: a requirement of $above is refused" || fail "$(cat "$work/too-new.log")"
finish
