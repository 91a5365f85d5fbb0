#!/usr/bin/env bash
# A debug run's console, seen from outside: the launch probe runs on a
# pseudo-terminal (a GUI program started from a Linux shell gets a console
# only there), and what its console shows is compared line by line.
# Usage: launch-console-test.sh <wine loader> <velkin-launch-probe.exe>
set -u
source "$(dirname "$0")/support/checks.sh"
loader=$1
probe=$2
# Headless, as the checks below expect: the message box fails at once.
unset DISPLAY
# Wine hands console text to the terminal in the locale's character set:
# UTF-8, so that every character of the probe's messages can show.
export LC_ALL=C.UTF-8

# Runs the probe in a debug-run setting $1 with mode $2; prints the console
# text with Wine's terminal drawing undone.
console_text() {
  VELKIN_DEBUG=$1 timeout 60 script -qc "stty cols 1000; '$loader' '$probe' $2" /dev/null </dev/null |
    perl -pe 's/\e\[\?25[lh]//g; s/\e\[K//g; s/\e\[(\d*)C/" " x ($1 || 1)/ge; s/\r//g'
}

check() {
  local what=$1 text=$2 pattern=$3
  if grep -qE -- "$pattern" <<<"$text"; then
    echo "ok: $what"
  else
    fail "$what"
    echo "  expected a line matching: $pattern"
    echo "  console showed:"
    sed 's/^/    /' <<<"$text"
  fi
}

check_absent() {
  local what=$1 text=$2 pattern=$3
  if grep -qE -- "$pattern" <<<"$text"; then
    fail "$what"
    sed 's/^/    /' <<<"$text"
  else
    echo "ok: $what"
  fi
}

debug=$(console_text true syserror)
error_line='^\[ERROR\] app\.cpp:[0-9]+: Exception with message '"'"'LaunchProbe\.cpp\([0-9]+\) at \{anonymous\}::probeMain\(\): DeleteFile\(C:\\velkin-missing-directory\\grüße\.txt\) failed\. System error \[3\]\(system error 3 \(.+\)\)'"'"' caught$'
check "debug run logs the ERROR record" "$debug" "$error_line"
plain_after_error=$(grep -A1 -E -- "$error_line" <<<"$debug" | tail -n 1)
check "then the plain message, without the location" "$plain_after_error" \
  '^DeleteFile\(C:\\velkin-missing-directory\\grüße\.txt\) failed\. System error \[3\]\(system error 3 \(.+\)\)$'
check "a message box that cannot be shown (no display) is logged" "$debug" \
  '^\[WARNING\] WinApp\.cpp:[0-9]+: MessageBox\(\) failed with system error [0-9]+$'

unattended=$(console_text true "syserror /qn")
check "an unattended run says why it shows no message box" "$unattended" \
  '^\[INFO\] WinApp\.cpp:[0-9]+: No message box: nobody could answer it in an unattended run$'
check_absent "and tries none" "$unattended" '^\[WARNING\] WinApp\.cpp'

success=$(console_text true store0)
check_absent "a debug run that succeeds shows no error" "$success" '^\[ERROR\]'
check "a debug run that succeeds is traced" "$success" '^\[TRACE\] '

for setting in TRUE 1 ""; do
  quiet=$(console_text "$setting" syserror)
  check_absent "VELKIN_DEBUG='$setting' is no debug run: no log records" "$quiet" '^\[(TRACE|ERROR)\]'
done

finish
