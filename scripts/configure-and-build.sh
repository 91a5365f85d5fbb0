# Sourced: installs the Debian packages that are missing, then configures
# and builds the release build in $velkin_build. The build packs setup executables with velkin-pack under Wine, so the build's
# Wine prefix is started first (see wine-prefix.sh); the caller stops it.
velkin_build=${VELKIN_BUILD_DIR:-build}
bash scripts/install-deps.sh
source scripts/wine-prefix.sh
cmake -S . -B "$velkin_build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
velkin_wine_start "$velkin_build"
trap velkin_wine_stop EXIT
cmake --build "$velkin_build"
