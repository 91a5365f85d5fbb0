#!/usr/bin/env bash
# A packed setup can be signed afterwards and still works: sign it with a test
# certificate made here, verify the signature, then install and remove the
# demo with the signed copy under Wine.
# Usage: signing-test.sh <wine loader> <packed demo setup> <work directory>
set -u
loader=$1
setup=$2
work=$3
failures=0
fail() { echo "FAILED: $*"; failures=$((failures + 1)); }

rm -rf "$work" && mkdir -p "$work"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velkin Test Signing" \
  -addext "extendedKeyUsage=codeSigning" \
  -keyout "$work/key.pem" -out "$work/cert.pem" >/dev/null 2>&1 || fail "no test certificate"

osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Velkin Demo" \
  -in "$setup" -out "$work/signed-setup.exe" >"$work/sign.log" 2>&1 \
  && echo "ok: signed" || fail "signing: $(cat "$work/sign.log")"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed-setup.exe" >"$work/verify.log" 2>&1 \
  && echo "ok: the signature verifies" || fail "verification: $(tail -5 "$work/verify.log")"

"$loader" "$work/signed-setup.exe" /qn </dev/null
status=$?
[ "$status" = 0 ] && echo "ok: the signed setup installs" || fail "install exited with $status"
ls "$WINEPREFIX"/drive_c/users/*/AppData/Local/VelkinDemo/readme.txt >/dev/null 2>&1 \
  && echo "ok: the files are there" || fail "nothing installed"
"$loader" "$work/signed-setup.exe" uninstall </dev/null
status=$?
[ "$status" = 0 ] && echo "ok: the signed setup removes" || fail "uninstall exited with $status"
ls "$WINEPREFIX"/drive_c/users/*/AppData/Local/VelkinDemo/readme.txt >/dev/null 2>&1 \
  && fail "files left after the removal" || echo "ok: the files are gone"

[ "$failures" = 0 ] && echo "all checks passed" || echo "$failures check(s) failed"
exit "$failures"
