# Sourced by the outside-in test scripts: counting failures, the closing
# line, velkin-pack's version line, signing with a test certificate, damaged
# copies of a package, and the demo product installed and removed by a setup
# under Wine.
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

finish() {
  [ "$failures" = 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
  exit "$failures"
}

# check_version <version> <command...>: the command's --version prints
# "velkin-pack <version>".
check_version() {
  local version=$1 printed
  shift
  printed=$("$@" --version </dev/null | tr -d '\r')
  [ "$printed" = "velkin-pack $version" ] && echo "ok: $* --version: $printed" \
    || fail "$* --version printed '$printed'"
}

# check_demo_setup <wine loader> <setup around the demo package>: installs
# quietly and removes in $WINEPREFIX, judged by the files that land and go.
check_demo_setup() {
  local loader=$1 setup=$2 status
  local installed="$WINEPREFIX/drive_c/users/*/AppData/Local/VelkinDemo/readme.txt"
  "$loader" "$setup" /qn </dev/null
  status=$?
  [ "$status" = 0 ] && echo "ok: the setup installs" || fail "install exited with $status"
  ls $installed >/dev/null 2>&1 && echo "ok: the files are there" || fail "nothing installed"
  "$loader" "$setup" uninstall </dev/null
  status=$?
  [ "$status" = 0 ] && echo "ok: the setup removes" || fail "uninstall exited with $status"
  ls $installed >/dev/null 2>&1 && fail "files left after the removal" || echo "ok: the files are gone"
}

# sign_with_test_certificate <file> <signed copy> <directory>: signs with the
# code-signing certificate and key in <directory> (cert.pem, key.pem), made on
# first use; the tools' output goes to <directory>/sign.log.
sign_with_test_certificate() {
  local file=$1 signed=$2 dir=$3
  if [ ! -e "$dir/cert.pem" ]; then
    openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velkin Test Signing" \
      -addext "extendedKeyUsage=codeSigning" \
      -keyout "$dir/key.pem" -out "$dir/cert.pem" >"$dir/sign.log" 2>&1 || return
  fi
  osslsigncode sign -certs "$dir/cert.pem" -key "$dir/key.pem" -n "Velkin Demo" \
    -in "$file" -out "$signed" >>"$dir/sign.log" 2>&1
}

# make_mutants <package> <directory> <count> <seed>: writes <count> copies of
# the package, each with 1 to 8 random bytes changed, as 000.msi, 001.msi, ...;
# the same seed gives the same copies on every run.
make_mutants() {
  python3 - "$@" <<'PYTHON'
import random, sys
data = open(sys.argv[1], 'rb').read()
random.seed(int(sys.argv[4]))
for i in range(int(sys.argv[3])):
    mutant = bytearray(data)
    for _ in range(random.randint(1, 8)):
        mutant[random.randrange(len(mutant))] = random.randrange(256)
    open(f'{sys.argv[2]}/{i:03}.msi', 'wb').write(mutant)
PYTHON
}

# package_property <package> <name>: the value of a property in the
# package's Property table (msitools' reading), empty when it sets none.
package_property() {
  msiinfo export "$1" Property | tr -d '\r' | awk -F'\t' -v name="$2" '$1 == name { print $2 }'
}

# run_readme_commands <source directory> <build directory> <work directory>
# <first line> <last line>: runs the README's shell blocks between the lines
# matching the two patterns, as written, from <work directory>/root, which
# looks like the repository root after a build; their output goes to
# <work directory>/commands.log.
run_readme_commands() {
  local source_dir=$1 build=$2 work=$3
  rm -rf "$work" && mkdir -p "$work/root"
  ln -s "$source_dir/test" "$work/root/test"
  ln -s "$build" "$work/root/build"
  sed -n "/$4/,/$5/p" "$source_dir/README.md" | sed -n '/^```sh$/,/^```$/p' | sed '1d;$d' >"$work/commands.sh"
  [ -s "$work/commands.sh" ] || fail "no commands found in the README"
  (cd "$work/root" && bash -e "$work/commands.sh") >"$work/commands.log" 2>&1 \
    && echo "ok: the commands run" || fail "the commands: $(tail -5 "$work/commands.log")"
}
