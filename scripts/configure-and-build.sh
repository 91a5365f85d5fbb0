# Sourced: installs the Debian packages that are missing, then configures
# and builds the release build in $velkin_build: velkin-pack for Linux with
# the system's compiler, and the Windows programs with MinGW-w64 in
# $velkin_build/windows, which that build configures and builds itself.
# Builds everything, tests included, unless $velkin_build_target names less
# (the main job's velkin-programs).
velkin_build=${VELKIN_BUILD_DIR:-build}
# The programs alone need fewer packages than the tests.
if [ "${velkin_build_target:-all}" = velkin-programs ]; then
  bash scripts/install-deps.sh --programs
else
  bash scripts/install-deps.sh
fi
# A build directory of the earlier layout was configured for Windows alone.
if grep -qs '^CMAKE_TOOLCHAIN_FILE' "$velkin_build/CMakeCache.txt"; then
  echo "Starting $velkin_build afresh: it holds a build of an earlier layout"
  rm -rf "$velkin_build"
fi
cmake -S . -B "$velkin_build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$velkin_build" --target "${velkin_build_target:-all}"
