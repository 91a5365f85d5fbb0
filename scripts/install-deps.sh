#!/usr/bin/env bash
# Installs the Debian packages that building and testing Velkin need. Does
# nothing when they are all there already.
set -euo pipefail

packages=(
  cmake                       # build system
  ninja-build                 # build tool
  g++                         # compiler for velkin-pack for Linux
  pkg-config                  # finds libmsi
  libmsi-dev libglib2.0-dev   # reads installer packages on Linux (libmsi's pkg-config needs glib's)
  g++-mingw-w64-x86-64-posix  # cross-compiler for Windows x86-64
  wine64                      # the Windows APIs the Windows programs and their tests run on
  googletest                  # unit-test framework, built from source for both hosts
  wixl                        # builds the test and demo installer packages
  xvfb xauth                  # a virtual display for the message-box tests
  msitools                    # reads and changes installer packages (msiinfo, msibuild)
  osslsigncode openssl        # the signing tests: a test certificate, sign, verify
  python3                     # reads velkin-pack's JSON back with a real parser in the tests
  python3-yaml                # reads the winget manifests back with a real YAML parser in the tests
  7zip                        # an independent reader of the setups' resources in the tests
  dpkg-dev                    # dpkg-shlibdeps: the Debian package's dependencies
  zlib1g-dev                  # deflate for the zip containers of the deployment packages (Linux)
  libz-mingw-w64-dev          # the same deflate, linked statically into velkin-pack.exe
  libssl-dev                  # AES, HMAC and random keys of the Intune package (Linux)
  python3-cryptography        # decrypts the Intune package in the tests, independently of velkin-pack
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
