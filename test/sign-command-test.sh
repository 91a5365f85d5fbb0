#!/usr/bin/env bash
# velkin-pack --sign-command with osslsigncode and a certificate made here:
# both layers signed and verified, the signed setup read back, installed and
# removed under Wine, packed again to the same bytes; a package signed before
# is kept byte for byte; a signer that fails, writes nothing or changes
# nothing ends velkin-pack with one message and leaves no file anywhere.
# Usage: sign-command-test.sh <velkin-pack> <demo package> <wine loader> <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
pack=$1
package=$2
loader=$3
work=$4

rm -rf "$work" && mkdir -p "$work/out" "$work/again" "$work/tmp"
# The private copies go here, so that the test sees what is left of them.
export TMPDIR="$work/tmp"
sign_with_test_certificate "$package" "$work/signed-before.msi" "$work" || fail "test certificate: $(cat "$work/sign.log")"
signer="osslsigncode sign -certs '$work/cert.pem' -key '$work/key.pem' -n 'Velkin Demo' -time 1700000000 -in %1 -out %2"

verifies() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify.log" 2>&1; }
# member <json file> <name>
member() { python3 -c 'import json, sys; print(json.dumps(json.load(open(sys.argv[1]))[sys.argv[2]]))' "$1" "$2"; }
nothing_left() {
  [ -z "$(ls -A "$work/tmp")" ] || fail "$1: left in TMPDIR: $(ls -A "$work/tmp")"
}

# Both layers.
setup="$work/out/demo-setup.exe"
"$pack" "$package" -o "$setup" --sign-command "$signer" >"$work/stdout" 2>"$work/stderr" </dev/null \
  && echo "ok: packed and signed" || fail "packing with the signer: $(cat "$work/stderr")"
verifies "$setup" && echo "ok: the setup's signature verifies" || fail "setup: $(tail -3 "$work/verify.log")"
"$pack" extract "$setup" -o "$work/extracted.msi" 2>"$work/stderr" || fail "extract: $(cat "$work/stderr")"
verifies "$work/extracted.msi" && echo "ok: the package's signature verifies" \
  || fail "package: $(tail -3 "$work/verify.log")"
"$pack" inspect "$setup" --json >"$work/setup.json" 2>"$work/stderr" || fail "inspect: $(cat "$work/stderr")"
[ "$(member "$work/setup.json" signed)/$(member "$work/setup.json" setupSigned)" = "true/true" ] \
  && echo "ok: inspect reports both signatures" || fail "inspect: $(cat "$work/setup.json")"
"$pack" inspect "$setup" | grep -q '^Setup signed: *yes$' && echo "ok: the text report says so too" \
  || fail "text report: $("$pack" inspect "$setup")"
[ "$(ls "$work/out")" = demo-setup.exe ] || fail "beside the output: $(ls "$work/out")"
nothing_left "signing"

# The signer takes a fixed time: the same bytes again, elsewhere, later.
sleep 1
(cd "$work/again" && TZ=Pacific/Auckland "$pack" "$package" -o demo-setup.exe --sign-command "$signer" >/dev/null 2>&1)
cmp -s "$work/again/demo-setup.exe" "$setup" && echo "ok: packing and signing again gives the same bytes" \
  || fail "packing and signing again gave other bytes"

# A signer that signs its file in place, as signtool does.
"$pack" "$package" -o "$work/out/in-place-setup.exe" \
  --sign-command "${signer/-out %2/-out %1.new} && mv %1.new %1" >/dev/null 2>"$work/stderr" </dev/null \
  && verifies "$work/out/in-place-setup.exe" && echo "ok: a signer working in place signs both" \
  || fail "in place: $(cat "$work/stderr") $(tail -3 "$work/verify.log")"
rm -f "$work/out/in-place-setup.exe"

# A package signed before keeps its signature, byte for byte.
"$pack" "$work/signed-before.msi" -o "$work/out/kept-setup.exe" --sign-command "$signer" \
  >/dev/null 2>"$work/stderr" </dev/null || fail "packing a signed package: $(cat "$work/stderr")"
grep -q "carries a signature already" "$work/stderr" && echo "ok: the report says the package was signed" \
  || fail "no note on the signed package: $(cat "$work/stderr")"
"$pack" extract "$work/out/kept-setup.exe" -o "$work/kept.msi" && cmp -s "$work/kept.msi" "$work/signed-before.msi" \
  && echo "ok: its signature is kept byte for byte" || fail "the signed package was changed"
verifies "$work/out/kept-setup.exe" || fail "kept: the setup's signature: $(tail -3 "$work/verify.log")"
nothing_left "a package signed before"

# Signers that fail: exit 1, one line of velkin-pack's naming the step, the
# exit code and the signer's last message (beside what the signer wrote to
# its standard output); an existing output stays as it was.
printf 'the old setup' >"$work/out/old-setup.exe"
while IFS='|' read -r name command expected; do
  "$pack" "$package" -o "$work/out/old-setup.exe" --sign-command "$command" >/dev/null 2>"$work/stderr" </dev/null
  status=$?
  [ "$status" = 1 ] && [ "$(grep -c '^velkin-pack: ' "$work/stderr")" = 1 ] \
    && grep -qF "velkin-pack: error: $expected" "$work/stderr" \
    && echo "ok: $name" || fail "$name: exit $status: $(cat "$work/stderr")"
  [ "$(cat "$work/out/old-setup.exe")" = "the old setup" ] || fail "$name: the old output was replaced"
  nothing_left "$name"
done <<TABLE
a failing signer|: %1; echo 'reading key' >&2; echo 'error: wrong password' >&2; exit 3|Signing the package failed: the sign command exited with 3; its last message: error: wrong password
a signer writing nothing|: %1 %2|Signing the package failed: the sign command exited with 0 but wrote no signed file
a signer changing nothing|touch %1|Signing the package failed: the sign command exited with 0 but left the file as it was
a signer that cannot sign the setup|case %1 in *.exe) echo 'unsupported file' >&2; exit 4;; esac; $signer|Signing the setup failed: the sign command exited with 4; its last message: unsupported file
a signer that signs nothing|cp %1 %2; printf x >>%2|Signing the package failed: the sign command wrote a package without a signature
TABLE
# A package left unsigned is refused before the setup is signed: the signer
# (whose signature may cost money or a touch of a token) runs once, not
# twice, and the setup's step never comes.
rm -f "$work/runs"
"$pack" "$package" -o "$work/out/old-setup.exe" \
  --sign-command "echo \"\$VELKIN_SIGN_STEP\" >>'$work/runs'; cp %1 %2; printf x >>%2" >/dev/null 2>"$work/stderr" </dev/null
status=$?
[ "$status" = 1 ] && [ "$(cat "$work/runs")" = package ] \
  && grep -qxF "velkin-pack: error: Signing the package failed: the sign command wrote a package without a signature" \
    "$work/stderr" && echo "ok: an unsigned package is refused after one signer run, before the setup's" \
  || fail "an unsigned package: exit $status, signer runs: $(tr '\n' ' ' <"$work/runs"), $(cat "$work/stderr")"
[ "$(cat "$work/out/old-setup.exe")" = "the old setup" ] || fail "an unsigned package: the old output was replaced"
nothing_left "a package left unsigned"
# A signature counts only when it verifies: one whose RSA signature value was
# changed after signing is well formed and holds the file's digest, but
# osslsigncode refuses it, inspect reports it unsigned and a sign command that
# returns it is refused.
cat >"$work/spoil-signature.py" <<'PYTHON'
import sys
data = bytearray(open(sys.argv[1], 'rb').read())
# The signer's RSA-2048 signature value, last in a signature without a timestamp.
at = data.rfind(b'\x04\x82\x01\x00')
data[at + 4 + 100] ^= 0x01
open(sys.argv[1], 'wb').write(data)
PYTHON
sign_with_test_certificate "$setup" "$work/spoiled.exe" "$work" && python3 "$work/spoil-signature.py" "$work/spoiled.exe" \
  || fail "spoiling a signature: $(cat "$work/sign.log")"
! verifies "$work/spoiled.exe" && echo "ok: osslsigncode refuses a changed signature value" \
  || fail "osslsigncode verifies a changed signature value"
"$pack" inspect "$work/spoiled.exe" --json >"$work/spoiled.json" 2>"$work/stderr" || fail "inspect: $(cat "$work/stderr")"
[ "$(member "$work/spoiled.json" setupSigned)" = false ] \
  && [ "$(member "$work/spoiled.json" setupSignatureProblem)" = "\"its signature does not verify with its certificate's key\"" ] \
  && echo "ok: inspect reports a changed signature value unsigned, with the reason" \
  || fail "inspect of a changed signature value: $(cat "$work/spoiled.json")"
"$pack" "$package" -o "$work/out/old-setup.exe" \
  --sign-command "$signer && case %2 in *.exe) python3 '$work/spoil-signature.py' %2;; esac" \
  >/dev/null 2>"$work/stderr" </dev/null
status=$?
[ "$status" = 1 ] && grep -qF "Signing the setup failed: the sign command's output carries no valid signature: its signature does not verify with its certificate's key" "$work/stderr" \
  && echo "ok: a sign command returning a signature that does not verify is refused" \
  || fail "a signature that does not verify: exit $status: $(cat "$work/stderr")"
[ "$(cat "$work/out/old-setup.exe")" = "the old setup" ] || fail "a signature that does not verify replaced the output"
nothing_left "a signature that does not verify"

"$pack" "$package" -o "$work/out/old-setup.exe" --sign-command "osslsigncode sign -in a.msi" 2>"$work/stderr" </dev/null
[ $? = 2 ] && grep -q "must name the file to sign as %1" "$work/stderr" && echo "ok: a command without %1 is refused" \
  || fail "without %1: $(cat "$work/stderr")"

# Ctrl+C while the signer runs reaches it and velkin-pack, in a process group
# of their own: velkin-pack reports how the signer ended and cleans up. (A
# background job starts with SIGINT ignored, which velkin-pack would keep.)
python3 -c 'import os, signal, sys
os.setsid(); signal.signal(signal.SIGINT, signal.SIG_DFL); os.execv(sys.argv[1], sys.argv[1:])' \
  "$pack" "$package" -o "$work/out/interrupted.exe" --sign-command 'sleep 60 # %1' \
  >/dev/null 2>"$work/stderr" </dev/null &
interrupted=$!
for _ in $(seq 100); do
  [ -n "$(ls -A "$work/tmp")" ] && break
  sleep 0.05
done
sleep 0.2
kill -INT -- "-$interrupted"
wait "$interrupted"
status=$?
[ "$status" = 1 ] && grep -q "the sign command was ended by signal 2" "$work/stderr" \
  && echo "ok: Ctrl+C during signing ends both, reported" || fail "Ctrl+C: exit $status: $(cat "$work/stderr")"
nothing_left "Ctrl+C during signing"

[ "$(ls "$work/out")" = "$(printf 'demo-setup.exe\nkept-setup.exe\nold-setup.exe')" ] \
  || fail "beside the outputs: $(ls "$work/out")"

# Wine keeps files of its own in TMPDIR.
unset TMPDIR
check_demo_setup "$loader" "$setup"
finish
