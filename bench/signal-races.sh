#!/usr/bin/env bash
# The signal races of velkin-pack --sign-command on Linux, each run <runs>
# times with the signal at a random moment of its window; prints, for each,
# how many runs left something or told something untrue (target: none).
#  trap:    SIGTERM to velkin-pack while a signer whose shell started a
#           program that cleans up on SIGTERM (a second): is it done when
#           velkin-pack has exited?
#  between: SIGTERM between the two signatures, while the setup is written
#           around a 64 MiB package (0 to 150 ms after the package's signer
#           ended): is the private directory gone (or, if anything stayed,
#           does it keep its lock for the next run's sweep)?
#  publish: SIGTERM right after the setup's signature (0 to 6 ms after the
#           signer ended, while the setup is checked and published): does the message
#           ("nothing was published" or "after ... was published") tell what
#           became of the output?
#  group:   SIGTERM to velkin-pack's whole group while the signer runs: is
#           it "interrupted by signal 15, passed on", never "ended by signal 15"?
# Usage: bench/signal-races.sh <velkin-pack> <package> <work directory> [runs]
set -u
pack=$1
package=$2
work=$3
runs=${4:-100}

rm -rf "$work" && mkdir -p "$work/tmp" "$work/out"
export TMPDIR="$work/tmp"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Velkin Race" -keyout "$work/key.pem" \
  -out "$work/cert.pem" >/dev/null 2>&1
signer="osslsigncode sign -certs '$work/cert.pem' -key '$work/key.pem' -in %1 -out %2"
# Runs velkin-pack in a session of its own with SIGINT as a terminal leaves it.
start() {
  python3 -c 'import os, signal, sys
if os.getpgrp() != os.getpid(): os.setsid()
signal.signal(signal.SIGINT, signal.SIG_DFL); os.execv(sys.argv[1], sys.argv[1:])' \
    "$@" >/dev/null 2>"$work/stderr" </dev/null &
  started=$!
}
wait_for() {
  for _ in $(seq 600); do
    [ -e "$1" ] && return
    sleep 0.01
  done
}
pause() { sleep "$(delay "$1")"; }
delay() { python3 -c "import random; print('%.4f' % random.uniform(0, $1))"; }
# A sign command's tail that sends velkin-pack SIGTERM (its shell's parent)
# <seconds> after the signer has ended, from a process of the signer's
# group that the run does not wait for.
signal_after() { echo "{ (sleep $1; kill -TERM \$PPID) & }"; }
leftovers() { ls -A "$work/tmp"; }

cat >"$work/trapper.sh" <<'SCRIPT'
trap 'sleep 1; echo cleaned >"$1.cleaned"; exit 3' TERM
echo $$ >"$1.pid"
sleep 60 &
wait
SCRIPT
bad=0
for run in $(seq "$runs"); do
  rm -f "$work/trap".*
  start "$pack" "$package" -o "$work/out/setup.exe" --sign-command "sh '$work/trapper.sh' '$work/trap'; true # %1"
  wait_for "$work/trap.pid"
  pause 0.1
  kill -TERM "$started" 2>/dev/null
  wait "$started"
  if [ ! -e "$work/trap.cleaned" ] || [ -n "$(leftovers)" ] \
    || ! grep -q "interrupted by signal 15, passed on" "$work/stderr"; then
    bad=$((bad + 1))
    echo "trap run $run: cleaned: $([ -e "$work/trap.cleaned" ] && echo yes || echo no), left: $(leftovers): $(cat "$work/stderr")"
  fi
  rm -rf "$work/tmp/"* "$work/out/"*
done
echo "trap: $bad of $runs runs left the signer running or something behind"

head -c $((64 << 20)) /dev/zero >"$work/padding"
cat "$package" "$work/padding" >"$work/big.msi"
bad=0 interrupted=0
for run in $(seq "$runs"); do
  start "$pack" "$work/big.msi" -o "$work/out/setup.exe" \
    --sign-command "case %1 in *.msi) cp %1 %2; printf x >>%2; $(signal_after "$(delay 0.15)");; *) $signer;; esac"
  wait "$started"
  grep -q "Ended by signal 15" "$work/stderr" && interrupted=$((interrupted + 1))
  left=$(leftovers)
  for directory in $left; do
    [ -e "$work/tmp/$directory/.lock" ] || { bad=$((bad + 1)); echo "between run $run: $directory left without its lock"; }
  done
  # The next run's sweep takes what a signal left.
  "$pack" "$package" -o "$work/out/next.exe" --sign-command "$signer" >/dev/null 2>&1 </dev/null
  [ -z "$(leftovers)" ] || { bad=$((bad + 1)); echo "between run $run: the next run left $(leftovers)"; }
  rm -rf "$work/tmp/"* "$work/out/"*
done
echo "between: $bad of $runs runs left a directory that the next run does not sweep ($interrupted ended by the signal)"

bad=0 published=0 toldPublished=0
for run in $(seq "$runs"); do
  start "$pack" "$package" -o "$work/out/setup.exe" \
    --sign-command "$signer && case %1 in *.exe) $(signal_after "$(delay 0.006)");; esac"
  wait "$started"
  status=$?
  if [ -e "$work/out/setup.exe" ]; then
    published=$((published + 1))
    grep -q "was published" "$work/stderr" && toldPublished=$((toldPublished + 1))
    # 143: the signal came once the run was done and its watch gone, and
    # ended it as a signal ends any program, saying nothing.
    [ "$status" = 0 ] || [ "$status" = 143 ] || grep -q "after $work/out/setup.exe was published" "$work/stderr" \
      || { bad=$((bad + 1)); echo "publish run $run: published, exit $status: $(cat "$work/stderr")"; }
  else
    grep -q "nothing was published" "$work/stderr" \
      || { bad=$((bad + 1)); echo "publish run $run: not published: $(cat "$work/stderr")"; }
  fi
  [ -z "$(leftovers)" ] || { bad=$((bad + 1)); echo "publish run $run: left $(leftovers)"; }
  rm -rf "$work/tmp/"* "$work/out/"*
done
echo "publish: $bad of $runs runs misreported the output or left something ($published published, $toldPublished of them ended by the signal after publishing)"

bad=0
for run in $(seq "$runs"); do
  rm -f "$work/signer.pid"
  start "$pack" "$package" -o "$work/out/setup.exe" --sign-command "echo \$\$ >'$work/signer.pid'; exec sleep 60 # %1"
  wait_for "$work/signer.pid"
  pause 0.05
  kill -TERM -- "-$started"
  wait "$started"
  grep -q "was interrupted by signal 15, passed on to the sign command" "$work/stderr" && [ -z "$(leftovers)" ] \
    || { bad=$((bad + 1)); echo "group run $run: $(cat "$work/stderr"), left: $(leftovers)"; }
  rm -rf "$work/tmp/"* "$work/out/"*
done
echo "group: $bad of $runs runs misreported the signal or left something"
rm -rf "$work"
