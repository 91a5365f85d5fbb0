#!/usr/bin/env bash
# A packed setup can be signed afterwards and still works: sign it with a test
# certificate made here, verify the signature, then install and remove the
# demo with the signed copy under Wine.
# Usage: signing-test.sh <wine loader> <packed demo setup> <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
loader=$1
setup=$2
work=$3

rm -rf "$work" && mkdir -p "$work"
sign_with_test_certificate "$setup" "$work/signed-setup.exe" "$work" \
  && echo "ok: signed" || fail "signing: $(cat "$work/sign.log")"
osslsigncode verify -CAfile "$work/cert.pem" -in "$work/signed-setup.exe" >"$work/verify.log" 2>&1 \
  && echo "ok: the signature verifies" || fail "verification: $(tail -5 "$work/verify.log")"

check_demo_setup "$loader" "$work/signed-setup.exe"
finish
