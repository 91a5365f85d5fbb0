#!/usr/bin/env bash
# Installs the Debian packages that building and testing Velkin need; with
# --programs, only those that building the programs and running the demo
# need. Does nothing when they are all there already.
set -euo pipefail

# What building the programs and running the demo take. GoogleTest's
# sources and msitools are here too: a build configures its tests, and
# the Windows tree makes its test packages, even when only the programs are
# built.
programs=(
  cmake                       # build system
  ninja-build                 # build tool
  g++                         # compiler for velkin-pack for Linux
  pkg-config                  # finds libmsi
  libmsi-dev libglib2.0-dev   # reads installer packages on Linux (libmsi's pkg-config needs glib's)
  g++-mingw-w64-x86-64-posix  # cross-compiler for Windows x86-64
  zlib1g-dev                  # deflate for the zip containers of the deployment packages (Linux)
  libz-mingw-w64-dev          # the same deflate, linked statically into velkin-pack.exe
  libssl-dev                  # AES, HMAC, SHA-256 and random keys of the deployment packages (Linux)
  wine64                      # the Windows APIs the Windows programs and their tests run on
  wixl                        # builds the test and demo installer packages
  googletest                  # unit-test framework, built from source for both hosts
  msitools                    # reads and changes installer packages (msiinfo, msibuild)
)
# What the tests add.
tests=(
  xvfb xauth                  # a virtual display for the message-box tests
  osslsigncode openssl        # the signing tests: a test certificate, sign, verify
  python3                     # reads velkin-pack's JSON back with a real parser in the tests
  python3-yaml                # reads the winget manifests back with a real YAML parser in the tests
  7zip                        # an independent reader of the setups' resources in the tests
  dpkg-dev                    # dpkg-shlibdeps: the Debian package's dependencies
  locales                     # the locales whose UI language Wine gives the language tests' setups
  python3-cryptography        # decrypts the Intune package in the tests, independently of velkin-pack
  # Mono and the assemblies that NuGet's client (nuget.exe) loads: the tests
  # install the Chocolatey packages from a folder feed with it.
  mono-runtime libmono-system-xml-linq4.0-cil libmono-system-io-compression4.0-cil
  libmono-system-io-compression-filesystem4.0-cil libmono-system-net-http4.0-cil
  libmono-system-componentmodel-composition4.0-cil libmono-system-componentmodel-dataannotations4.0-cil
  libmono-system-runtime-serialization4.0-cil libmono-system-data4.0-cil
  libmono-system-data-services-client4.0-cil libmono-system-servicemodel4.0a-cil
  libmono-windowsbase4.0-cil libmono-microsoft-build-utilities-v4.0-4.0-cil libmono-microsoft-csharp4.0-cil
)
packages=("${programs[@]}")
with_tests=yes
if [ "${1:-}" = --programs ]; then
  with_tests=no
else
  packages+=("${tests[@]}")
  # npm fetches nuget.exe (no Debian package carries it). Some systems'
  # nodejs brings its own npm, which Debian's npm package would conflict with.
  command -v npm >/dev/null || packages+=(npm)
fi

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$package")
  fi
done
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# A Wine process's UI language follows LANG only where that locale exists on
# this side (otherwise en-US, silently): the locales that the language tests
# run the setups in.
test_locales=(de_DE.UTF-8 de_AT.UTF-8 fr_FR.UTF-8 ja_JP.UTF-8)
if [ "$with_tests" = yes ]; then
  generate=no
  for locale in "${test_locales[@]}"; do
    # locale -a names de_DE.UTF-8 "de_DE.utf8".
    if ! locale -a 2>/dev/null | grep -qx "${locale%%.*}.utf8"; then
      grep -qx "$locale UTF-8" /etc/locale.gen ||
        echo "$locale UTF-8" | $sudo tee -a /etc/locale.gen >/dev/null
      generate=yes
    fi
  done
  if [ "$generate" = yes ]; then
    echo "Generating locales: ${test_locales[*]}"
    $sudo locale-gen >/dev/null
  fi
fi

# NuGet's command-line client 5.8, the npm package nuget-exe, where the
# tests look for it.
if [ "$with_tests" = yes ] && [ ! -f "$(npm root -g)/nuget-exe/nuget-5.8.0.exe" ]; then
  echo "Installing: nuget-exe 5.8.0 (npm)"
  $sudo npm install -g --no-audit --no-fund nuget-exe@5.8.0 >/dev/null
fi
