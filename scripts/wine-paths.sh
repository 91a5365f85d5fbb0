# Where Wine is, and where it shows a Unix file. Sourced by the scripts, and
# read by CMake (cmake/Wine.cmake): the assignments are the defaults of
# VELKIN_WINE_LOADER and VELKIN_WINE_SERVER, so they keep this shape, one
# assignment a line.

# Wine's 64-bit loader and its server, where Debian's wine64 puts them.
velkin_wine_loader=/usr/lib/wine/wine64
velkin_wine_server=/usr/lib/wine/wineserver64
# Wine's own Windows programs, of which a prefix's system directory holds
# copies.
velkin_wine_windows_dir=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows

# The Windows path of a Unix file, relative or absolute, existing or not:
# Wine shows the Unix file system as drive Z.
windows_path() {
  local path
  path=$(realpath -m -- "$1")
  printf 'Z:%s' "${path//\//\\}"
}
