#!/usr/bin/env bash
# Runs a command of the sanitizer build and fails when it fails or when any
# process it started reported a finding. A package reader's child ends
# quietly whatever it meets, and its parent reads a crashed child as a bad
# package: only the reports, written to files, tell.
# Usage: sanitized-test.sh <report directory> <command...>
set -u
reports=$1
shift
rm -rf "$reports" && mkdir -p "$reports"
# A crash stays a signal, as the reader's parent and the tests expect (the
# sanitizers would otherwise report it and exit with a status instead).
export ASAN_OPTIONS="log_path=$reports/asan:detect_leaks=1:handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_abort=0"
export UBSAN_OPTIONS="log_path=$reports/ubsan:print_stacktrace=1"
"$@"
status=$?
# A reader that meets its memory bound is the bound at work: under
# AddressSanitizer an allocation beyond it is reported (and ends the reader)
# instead of throwing. Any other report is a finding.
bounded=$(grep -l "SUMMARY: AddressSanitizer: out-of-memory" "$reports"/asan.* 2>/dev/null)
for report in $bounded; do
  echo "note: a process met its memory bound: $(grep -m1 'ERROR: AddressSanitizer' "$report")"
  rm -f "$report"
done
found=$(find "$reports" -maxdepth 1 -type f -name '*san.*' | sort)
if [ -n "$found" ]; then
  for report in $found; do
    echo "=== $report"
    head -60 "$report"
  done
  echo "FAILED: the sanitizers reported $(echo "$found" | wc -l) finding(s)"
  exit 1
fi
[ "$status" = 0 ] && echo "ok: no sanitizer finding" || echo "FAILED: exit status $status"
exit "$status"
