#!/usr/bin/env bash
# velkin-pack --sign-command where a release pipeline meets trouble, with
# osslsigncode and a certificate made here (no Wine): the step told to the
# signer, certificate tables that are no signature, another package
# returned by the signer, the signer's output kept out of velkin-pack's, a
# signer that leaves a process holding its standard error, a signed stub,
# outputs that are refused before the signer runs even once (counted), and
# SIGTERM, SIGHUP and SIGINT to velkin-pack or its group (cleaned up, exit
# 1), SIGKILL (its directory removed by the next run).
# Usage: sign-faults-test.sh <velkin-pack> <package directory> <work directory>
set -u
source "$(dirname "$0")/support/checks.sh"
pack=$1
packages=$2
package=$packages/demo.msi
work=$3

mountpoint -q "$work/full" 2>/dev/null && umount "$work/full"
mountpoint -q "$work/read-only" 2>/dev/null && umount "$work/read-only"
rm -rf "$work" && mkdir -p "$work/out" "$work/tmp"
export TMPDIR="$work/tmp"
sign_with_test_certificate "$package" "$work/signed-before.msi" "$work" || fail "test certificate: $(cat "$work/sign.log")"
signer="osslsigncode sign -certs '$work/cert.pem' -key '$work/key.pem' -n 'Velkin Demo' -time 1700000000 -in %1 -out %2"
# Each run of the signer leaves a line in runs.
counted="echo run >>'$work/runs'; $signer"
runs() { [ -e "$work/runs" ] && wc -l <"$work/runs" || echo 0; }
nothing_left() {
  [ -z "$(ls -A "$work/tmp")" ] || fail "$1: left in TMPDIR: $(ls -A "$work/tmp")"
}

# The signer's standard output goes to velkin-pack's standard error: a
# report reader (head) takes none of it, and none is lost.
"$pack" "$package" -o "$work/out/quiet-setup.exe" --sign-command "echo from the signer; $signer" \
  >"$work/stdout" 2>"$work/stderr" </dev/null
status=$?
[ "$status" = 0 ] && [ ! -s "$work/stdout" ] && grep -qx "from the signer" "$work/stderr" \
  && echo "ok: the signer's output goes to standard error" \
  || fail "the signer's output: exit $status, out: $(cat "$work/stdout"), err: $(cat "$work/stderr")"
"$pack" "$package" -o "$work/out/piped-setup.exe" \
  --sign-command "seq 100000; $signer" 2>/dev/null </dev/null | head -1 >/dev/null
status=${PIPESTATUS[0]}
[ "$status" = 0 ] && [ -e "$work/out/piped-setup.exe" ] && echo "ok: packing piped through head signs and publishes" \
  || fail "piped through head: exit $status"
rm -f "$work/out/"*

# velkin-pack ignores SIGPIPE for itself; the signer starts with the default,
# as a shell's programs do (a pipeline of its own ends as it should).
"$pack" "$package" -o "$work/out/pipe-setup.exe" \
  --sign-command "ignored=\$(sed -n 's/^SigIgn:[[:space:]]*//p' /proc/\$\$/status); [ \$((0x\$ignored & 0x1000)) = 0 ] || { echo 'SIGPIPE is ignored' >&2; exit 9; }; $signer" \
  >/dev/null 2>"$work/stderr" </dev/null
status=$?
[ "$status" = 0 ] && echo "ok: the signer starts with SIGPIPE's default" || fail "SIGPIPE for the signer: exit $status: $(cat "$work/stderr")"
rm -f "$work/out/"*

# A signer that leaves a process holding its standard error (an agent): the
# run ends with the signer, not with that process.
holder="sh -c 'echo \$\$ >\"$work/holder\"; exec sleep 60' >&2 &"
start=$(date +%s)
"$pack" "$package" -o "$work/out/agent-setup.exe" --sign-command "$holder $signer" >/dev/null 2>"$work/stderr" </dev/null
status=$?
took=$(($(date +%s) - start))
[ -s "$work/holder" ] && kill "$(cat "$work/holder")" 2>/dev/null
rm -f "$work/holder"
[ "$status" = 0 ] && [ "$took" -lt 20 ] && echo "ok: a process the signer leaves behind holds up nothing (${took} s)" \
  || fail "a signer's agent: exit $status after $took s: $(cat "$work/stderr")"
rm -f "$work/out/"*
# Its last message is still the one read before it ended.
"$pack" "$package" -o "$work/out/agent-setup.exe" \
  --sign-command "$holder echo 'no token found' >&2; exit 5 # %1" >/dev/null 2>"$work/stderr" </dev/null
status=$?
[ -s "$work/holder" ] && kill "$(cat "$work/holder")" 2>/dev/null
[ "$status" = 1 ] && grep -qF "exited with 5; its last message: no token found" "$work/stderr" \
  && echo "ok: a failing signer's agent: the last line read is told" || fail "its last line: $(cat "$work/stderr")"
nothing_left "signers with an agent"

# The signer is told the step, whatever the caller's environment held.
VELKIN_SIGN_STEP=the-callers "$pack" "$package" -o "$work/out/steps-setup.exe" \
  --sign-command "echo \"\$VELKIN_SIGN_STEP\" >>'$work/steps'; $signer" >/dev/null 2>"$work/stderr" </dev/null
[ "$(cat "$work/steps" 2>/dev/null | tr '\n' ' ')" = "package setup " ] \
  && echo "ok: VELKIN_SIGN_STEP tells the signer the step" || fail "the step: $(cat "$work/steps" "$work/stderr")"
rm -f "$work/out/"* "$work/steps"

# The signed package must be the package: a signer that returns another
# product's package (signed, and packable) is refused, naming the signer's
# output as such.
sign_with_test_certificate "$packages/permachine.msi" "$work/other-signed.msi" "$work" \
  || fail "signing another package: $(cat "$work/sign.log")"
"$pack" "$package" -o "$work/out/other-setup.exe" \
  --sign-command "case %1 in *.msi) cp '$work/other-signed.msi' %2;; *) $signer;; esac" \
  >/dev/null 2>"$work/stderr" </dev/null
status=$?
[ "$status" = 1 ] && [ "$(wc -l <"$work/stderr")" = 1 ] \
  && grep -qF "velkin-pack: error: Signing the package failed: the sign command returned another package (the " \
    "$work/stderr" && [ -z "$(ls -A "$work/out")" ] && echo "ok: another package from the signer: $(cat "$work/stderr")" \
  || fail "another package: exit $status: $(cat "$work/stderr")"
"$pack" "$package" -o "$work/out/other-setup.exe" \
  --sign-command "case %1 in *.msi) printf 'no package' >%2;; *) $signer;; esac" >/dev/null 2>"$work/stderr" </dev/null
[ $? = 1 ] && grep -qx "velkin-pack: error: Signing the package failed: the sign command's output is no package velkin-pack can pack" \
  "$work/stderr" && echo "ok: no package from the signer, named as such" || fail "no package: $(cat "$work/stderr")"
nothing_left "signers returning other packages"

# What the signer wrote that no file velkin-pack reads is named as the sign
# command's output, never by its private path.
while IFS='|' read -r what command expected; do
  "$pack" "$package" -o "$work/out/app-setup.exe" --sign-command "$command" >/dev/null 2>"$work/stderr" </dev/null
  status=$?
  [ "$status" = 1 ] && grep -qF "velkin-pack: error: $expected" "$work/stderr" && ! grep -q "$work/tmp" "$work/stderr" \
    && [ -z "$(ls -A "$work/out")" ] && echo "ok: $what: $expected" || fail "$what: exit $status: $(cat "$work/stderr")"
done <<TABLE
a FIFO for the package|mkfifo %2 # %1|Signing the package failed: the sign command exited with 0 but wrote a FIFO as its signed file, not a regular file
a device for the package|ln -s /dev/zero %2 # %1|Signing the package failed: the sign command exited with 0 but wrote a character device as its signed file, not a regular file
a package of 3 GiB|cp %1 %2; truncate -s 3G %2|The package returned by the sign command has 3221225472 bytes; a setup executable can carry at most
a FIFO for the setup|case %1 in *.msi) $signer;; *) mkfifo %2;; esac|Signing the setup failed: the sign command exited with 0 but wrote a FIFO as its signed file, not a regular file
a device for the setup|case %1 in *.msi) $signer;; *) ln -s /dev/null %2;; esac|Signing the setup failed: the sign command exited with 0 but wrote a character device as its signed file, not a regular file
TABLE
nothing_left "signers writing no regular file"

# A certificate table is a signature only in Authenticode's form and with
# the file's digest: a signer writing 4096 zero bytes as the table, or junk
# after a good signature, publishes nothing; inspect says why a signed setup
# cut short is not signed.
cat >"$work/zero-table.py" <<'PYTHON'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
data += bytes(-len(data) % 8)
directory = struct.unpack_from("<I", data, 0x3C)[0] + 24 + 112 + 8 * 4
struct.pack_into("<II", data, directory, len(data), 4096)
open(sys.argv[2], "wb").write(data + bytes(4096))
PYTHON
while IFS='|' read -r what setup_signer expected; do
  "$pack" "$package" -o "$work/out/app-setup.exe" --sign-command "case %1 in *.exe) $setup_signer;; *) $signer;; esac" \
    >/dev/null 2>"$work/stderr" </dev/null
  status=$?
  [ "$status" = 1 ] && grep -qxF "velkin-pack: error: Signing the setup failed: the sign command's output carries no valid signature: $expected" \
    "$work/stderr" && [ -z "$(ls -A "$work/out")" ] && echo "ok: $what is refused: $expected" \
    || fail "$what: exit $status: $(cat "$work/stderr")"
done <<TABLE
a table of 4096 zero bytes|python3 '$work/zero-table.py' %1 %2|its certificate table holds an entry of 0 bytes in 4096
junk after a good signature|$signer && printf 'junk' >>%2|data follows its certificate table
a signature of other bytes|$signer && dd if=%1 of=%2 bs=1 count=1 seek=1024 conv=notrunc status=none|its signature's digest is not the file's: the file was changed after it was signed
TABLE
nothing_left "signers writing no valid signature"
"$pack" "$package" -o "$work/out/app-setup.exe" --sign-command "$signer" >/dev/null 2>&1 </dev/null \
  || fail "packing and signing for the cut"
head -c -100 "$work/out/app-setup.exe" >"$work/cut-setup.exe"
"$pack" inspect "$work/cut-setup.exe" --json >"$work/cut.json" 2>"$work/stderr" </dev/null
python3 -c 'import json, sys; r = json.load(open(sys.argv[1]))
sys.exit(not (r["setupSigned"] is False and r["setupSignatureProblem"].startswith("its certificate table runs past the end")))' \
  "$work/cut.json" && "$pack" inspect "$work/cut-setup.exe" | grep -q "^Setup signed: *no: its certificate table runs past" \
  && echo "ok: inspect: a signed setup cut short by 100 bytes is not signed, and says why" \
  || fail "the cut setup: $(cat "$work/cut.json" "$work/stderr")"
"$pack" inspect "$work/out/app-setup.exe" --json | grep -q '"setupSignatureProblem": null' \
  && echo "ok: inspect: osslsigncode's signature is one" || fail "osslsigncode's signature: $("$pack" inspect "$work/out/app-setup.exe")"
rm -f "$work/out/"* "$work/cut-setup.exe"

# A signed stub (a vendor's, a user's) packs: its signature is left out with
# a note, the setup is the one the unsigned stub gives, and the signer signs
# it as usual.
stub="$(dirname "$pack")/velkin-setup.exe"
mkdir -p "$work/stub" "$work/plain"
sign_with_test_certificate "$stub" "$work/stub/signed-stub.exe" "$work" || fail "signing the stub: $(cat "$work/sign.log")"
"$pack" "$package" -o "$work/plain/app-setup.exe" </dev/null 2>/dev/null || fail "packing with the stub"
"$pack" "$package" -o "$work/out/app-setup.exe" --stub "$work/stub/signed-stub.exe" >/dev/null 2>"$work/stderr" </dev/null
status=$?
[ "$status" = 0 ] && grep -qF "velkin-pack: The setup stub $work/stub/signed-stub.exe carries a signature: it was left out" \
  "$work/stderr" && cmp -s "$work/out/app-setup.exe" "$work/plain/app-setup.exe" \
  && echo "ok: a signed stub packs, its signature left out: $(cat "$work/stderr")" \
  || fail "a signed stub: exit $status: $(cat "$work/stderr")"
"$pack" "$package" -o "$work/out/app-setup.exe" --stub "$work/stub/signed-stub.exe" --sign-command "$signer" \
  >/dev/null 2>"$work/stderr" </dev/null \
  && osslsigncode verify -CAfile "$work/cert.pem" -in "$work/out/app-setup.exe" >"$work/verify.log" 2>&1 \
  && echo "ok: a setup from a signed stub is signed anew" || fail "signing a setup from a signed stub: $(cat "$work/stderr")"
rm -rf "$work/out/"* "$work/stub" "$work/plain"

# Outputs refused before the first signature: exit 1, one line, and the
# signer never ran.
refused_unsigned() {
  local what=$1 expected=$2 output=$3 status
  rm -f "$work/runs"
  "$pack" "$package" -o "$output" --sign-command "$counted" >/dev/null 2>"$work/stderr" </dev/null
  status=$?
  [ "$status" = 1 ] && [ "$(wc -l <"$work/stderr")" = 1 ] && grep -qF "velkin-pack: error: $expected" "$work/stderr" \
    && [ "$(runs)" = 0 ] && echo "ok: $what is refused before signing: $(cat "$work/stderr")" \
    || fail "$what: exit $status, $(runs) signature(s): $(cat "$work/stderr")"
  nothing_left "$what"
}
refused_unsigned "an output in a missing directory" "Cannot write to the directory of $work/missing/app-setup.exe" \
  "$work/missing/app-setup.exe"
refused_unsigned "/dev/null as the output" "The output /dev/null is a character device" /dev/null
mkdir -p "$work/out/folder"
refused_unsigned "a directory as the output" "The output $work/out/folder is a directory" "$work/out/folder"
rmdir "$work/out/folder"
mkdir -p "$work/full" "$work/read-only"
if mount -t tmpfs -o size=64k tmpfs "$work/full" 2>/dev/null; then
  refused_unsigned "an output on a full disk" "Cannot write $work/full/app-setup.exe: No space left on device" \
    "$work/full/app-setup.exe"
  umount "$work/full"
  mount -t tmpfs -o ro tmpfs "$work/read-only"
  refused_unsigned "an output on a read-only disk" \
    "Cannot write to the directory of $work/read-only/app-setup.exe: Read-only file system" \
    "$work/read-only/app-setup.exe"
  umount "$work/read-only"
else
  echo "skipped: full and read-only disks (no tmpfs can be mounted here)"
fi
rm -f "$work/runs"
for input in stub icon; do
  rm -f "$work/runs"
  "$pack" "$package" -o "$work/out/app-setup.exe" "--$input" "$package" --sign-command "$counted" \
    >/dev/null 2>"$work/stderr" </dev/null
  status=$?
  [ "$status" = 1 ] && [ "$(runs)" = 0 ] && grep -qF "$package" "$work/stderr" \
    && echo "ok: a package as the $input is refused before signing: $(cat "$work/stderr")" \
    || fail "a package as the $input: exit $status, $(runs) signature(s): $(cat "$work/stderr")"
done
nothing_left "a stub or an icon that cannot serve"
rm -f "$work/runs"
"$pack" "$package" -o "$work/out/counted-setup.exe" --sign-command "$counted" >/dev/null 2>"$work/stderr" </dev/null \
  && [ "$(runs)" = 2 ] && echo "ok: a good output: two signatures, package and setup" \
  || fail "a good output: $(runs) signature(s): $(cat "$work/stderr")"

# Signals while the signer runs, to velkin-pack alone or to its group (as
# CI's cancellation and timeout send them): passed on to the signer's group,
# waited for, everything private removed, exit 1. velkin-pack starts in a
# session of its own with SIGINT as a terminal would leave it (a background
# job starts with SIGINT ignored, which velkin-pack keeps).
rm -f "$work/out/"*
waiting_signer="echo \$\$ >'$work/signer.pid'; exec sleep 60 # %1"
# started <command...>: runs it in the background as described; $started is
# its process id.
started() {
  rm -f "$work/signer.pid"
  python3 -c 'import os, signal, sys
os.setsid(); signal.signal(signal.SIGINT, signal.SIG_DFL); os.execv(sys.argv[1], sys.argv[1:])' \
    "$@" >/dev/null 2>"$work/stderr" </dev/null &
  started=$!
}
wait_for() {
  for _ in $(seq 400); do
    [ -s "$1" ] && return
    sleep 0.05
  done
}
for target in alone "'s group"; do
  for signal in TERM HUP INT; do
    started "$pack" "$package" -o "$work/out/app-setup.exe" --sign-command "$waiting_signer"
    wait_for "$work/signer.pid"
    if [ "$target" = alone ]; then kill -"$signal" "$started"; else kill -"$signal" -- "-$started"; fi
    wait "$started"
    status=$?
    number=$(kill -l "$signal")
    signer_alive=$(kill -0 "$(cat "$work/signer.pid")" 2>/dev/null && echo yes)
    [ "$status" = 1 ] && [ -z "$signer_alive" ] && [ -z "$(ls -A "$work/out")" ] \
      && grep -qF "Signing the package was interrupted by signal $number, passed on to the sign command" "$work/stderr" \
      && echo "ok: SIG$signal to velkin-pack${target/alone/ alone} during signing: $(cat "$work/stderr")" \
      || fail "SIG$signal to $target: exit $status, signer alive: ${signer_alive:-no}: $(cat "$work/stderr")"
    [ -n "$signer_alive" ] && kill "$(cat "$work/signer.pid")"
    nothing_left "SIG$signal to $target"
  done
done

# A signal passed on reaches the signer's whole group, and the run ends
# after the group does: a program that the signer's shell started and that
# cleans up on SIGTERM (a second) has done so when velkin-pack has exited;
# one that ignores SIGTERM is ended with SIGKILL after 10 s, and the message
# says so.
cat >"$work/trapper.sh" <<'SCRIPT'
trap "$2" TERM
echo $$ >"$1"
sleep 60 &
wait
SCRIPT
for trap in "sleep 1; echo cleaned >'$work/cleaned'; exit 3" ""; do
  rm -f "$work/cleaned"
  started "$pack" "$package" -o "$work/out/app-setup.exe" \
    --sign-command "sh '$work/trapper.sh' '$work/signer.pid' \"$trap\"; true # %1"
  wait_for "$work/signer.pid"
  kill -TERM "$started"
  wait "$started"
  status=$?
  cleaned=$(cat "$work/cleaned" 2>/dev/null)
  # One killed is reaped by init a moment later.
  for _ in $(seq 20); do
    signer_alive=$(kill -0 "$(cat "$work/signer.pid")" 2>/dev/null && echo yes)
    [ -z "$signer_alive" ] && break
    sleep 0.1
  done
  if [ -n "$trap" ]; then
    [ "$status" = 1 ] && [ "$cleaned" = cleaned ] && [ -z "$signer_alive" ] \
      && grep -qF "Signing the package was interrupted by signal 15, passed on to the sign command: the sign command was ended by signal 15; nothing was published" "$work/stderr" \
      && echo "ok: a signer cleaning up on SIGTERM is waited for: $(cat "$work/stderr")" \
      || fail "a signer cleaning up: exit $status, cleaned: ${cleaned:-no}, alive: ${signer_alive:-no}: $(cat "$work/stderr")"
  else
    [ "$status" = 1 ] && [ -z "$signer_alive" ] \
      && grep -qF "the processes it started that still ran 10 s later were ended with SIGKILL; nothing was published" "$work/stderr" \
      && echo "ok: a signer ignoring SIGTERM is ended with SIGKILL, said: $(cat "$work/stderr")" \
      || fail "a signer ignoring SIGTERM: exit $status, alive: ${signer_alive:-no}: $(cat "$work/stderr")"
  fi
  [ -n "$signer_alive" ] && kill -KILL "$(cat "$work/signer.pid")"
  nothing_left "a signer's group after SIGTERM"
done

# SIGTERM between the signatures, while the setup is written around a large
# package: the run ends at once, with its directory.
cp "$package" "$work/big.msi"
truncate -s 1200M "$work/big.msi"
started "$pack" "$work/big.msi" -o "$work/out/app-setup.exe" \
  --sign-command "case %1 in *.msi) cp %1 %2; printf x >>%2; echo done >'$work/signer.pid';; esac"
wait_for "$work/signer.pid"
sleep 0.2
kill -TERM "$started"
wait "$started"
status=$?
[ "$status" = 1 ] && grep -qx "velkin-pack: error: Ended by signal 15 (Terminated); nothing was published" "$work/stderr" \
  && echo "ok: SIGTERM between the signatures: $(cat "$work/stderr")" || fail "SIGTERM between: exit $status: $(cat "$work/stderr")"
nothing_left "SIGTERM between the signatures"
rm -f "$work/big.msi"

# SIGKILL leaves the private directory; the next signing run removes it, and
# never a running one's.
started "$pack" "$package" -o "$work/out/app-setup.exe" --sign-command "$waiting_signer"
wait_for "$work/signer.pid"
kill -KILL "$started"
wait "$started" 2>/dev/null
kill "$(cat "$work/signer.pid")"
lost=$(ls -A "$work/tmp")
started "$pack" "$package" -o "$work/out/app-setup.exe" --sign-command "$waiting_signer"
wait_for "$work/signer.pid"
running=$(ls -A "$work/tmp" | grep -vxF -- "$lost")
"$pack" "$package" -o "$work/out/app-setup.exe" --sign-command "$counted" >/dev/null 2>&1 </dev/null
[ "$(echo "$lost" | wc -w)" = 1 ] && [ "$(echo "$running" | wc -w)" = 1 ] && [ ! -e "$work/tmp/$lost" ] \
  && [ "$(ls -A "$work/tmp")" = "$running" ] \
  && echo "ok: a killed run's directory goes with the next run, a running one's stays" \
  || fail "after SIGKILL: lost $lost, running $running, now $(ls -A "$work/tmp")"
kill -TERM "$started"
wait "$started"
nothing_left "SIGKILL and the next runs"

rm -rf "$work"
finish
