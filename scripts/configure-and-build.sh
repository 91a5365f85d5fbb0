# Sourced: configures and builds the release build in $velkin_build.
velkin_build=${VELKIN_BUILD_DIR:-build}
cmake -S . -B "$velkin_build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$velkin_build"
