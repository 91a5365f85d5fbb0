#!/usr/bin/env bash
# The Linux velkin-pack and velkin-pack.exe under Wine refuse damaged and
# ambiguous packages alike: compound files damaged at their structure (by our
# own generator: a FAT chain that loops, a DIFAT count of 0x3FFFFFFF, a
# directory with a cycle, a package cut by one byte, a DIFAT that starts
# outside the file, a DIFAT sector pointing at itself (in the small package
# and in one of 33 MB), a name of a length no name has, and a sample of every
# kind) are answered within a
# second, before either host's reader sees them, with the same one line; a
# Property table that sets ProductCode twice, and product codes that msiexec
# would refuse (no braces, lower case), are refused naming the cause (a code
# of 60,000 characters cut short in the message); a package of 16 million
# Property rows meets each reader's memory bound. Over
# the sample, neither host crashes (a reader that crashes is refused with one
# line), and both pack or refuse each package alike; the counts and the
# longest time each host took are printed.
# Usage: packers-refuse-alike-test.sh <velkin-pack> <Windows bin directory> <demo package> <wine loader>
#          <work directory> [<damaged packages in the sample>]
set -u
source "$(dirname "$0")/support/checks.sh"
source "$(dirname "$0")/../scripts/wine-paths.sh"
pack=$1
bin=$2
package=$3
loader=$4
work=$5
count=${6:-48}

rm -rf "$work" && mkdir -p "$work/damaged" "$work/out"
generate="python3 $(dirname "$0")/support/damaged_packages.py"

# run <host> <package>: packs it on that host into $work/out, leaving
# status, took (ms) and message (the first line of standard error, the
# Windows path put back as the Unix one).
run() {
  local host=$1 file=$2 start
  start=$(date +%s%N)
  if [ "$host" = linux ]; then
    timeout 120 "$pack" "$file" -o "$work/out/app-setup.exe" >/dev/null 2>"$work/stderr" </dev/null
  else
    timeout 120 "$loader" "$bin/velkin-pack.exe" "$(windows_path "$file")" \
      -o "$(windows_path "$work/out/app-setup.exe")" >/dev/null 2>"$work/stderr" </dev/null
  fi
  status=$?
  took=$((($(date +%s%N) - start) / 1000000))
  lines=$(wc -l <"$work/stderr")
  message=$(head -1 "$work/stderr" | tr -d '\r')
  message=${message//"$(windows_path "$file")"/$file}
  rm -f "$work/out/app-setup.exe"
}

# refused_alike <what> <package> <text> <longest ms>: both hosts refuse it
# with the same one line holding <text>, each within the time.
refused_alike() {
  local what=$1 file=$2 text=$3 limit=$4 linux_message
  run linux "$file"
  linux_message=$message
  [ "$status" = 1 ] && [ "$lines" = 1 ] && [[ "$message" == *"$text"* ]] && [ "$took" -lt "$limit" ] \
    && echo "ok: $what on Linux ($took ms): $message" || fail "$what on Linux: exit $status, $took ms: $message"
  run windows "$file"
  [ "$status" = 1 ] && [ "$lines" = 1 ] && [ "$message" = "$linux_message" ] && [ "$took" -lt "$limit" ] \
    && echo "ok: $what on Windows ($took ms), the same line" \
    || fail "$what on Windows: exit $status, $took ms: $message"
}

# Wine's own start takes part of every run on Windows: a second on top.
$generate "$package" "$work/damaged" --named
refused_alike "a FAT chain that loops" "$work/damaged/fat-loop.msi" \
  "is not a Windows Installer package: its FAT chain loops at sector" 1000
refused_alike "a DIFAT count of 0x3FFFFFFF" "$work/damaged/difat-count.msi" \
  "is not a Windows Installer package: its header counts" 1000
refused_alike "a directory with a cycle" "$work/damaged/directory-cycle.msi" \
  "is not a Windows Installer package: its directory has a cycle at entry" 1000
# Read as empty, it made the package look uncompressed.
refused_alike "a damaged summary information" "$work/damaged/summary.msi" \
  "is not a Windows Installer package: its summary information stream is damaged" 1000

# Damage that one host's reader took and the other's refused.
refused_alike "a package cut by one byte" "$work/damaged/cut-short.msi" \
  "is not a Windows Installer package: its FAT sector 17 lies outside the file" 1000
refused_alike "a DIFAT that starts outside the file" "$work/damaged/difat-start.msi" \
  "is not a Windows Installer package: its DIFAT starts outside the file at sector" 1000
refused_alike "a DIFAT sector pointing at itself" "$work/damaged/difat-self.msi" \
  "is not a Windows Installer package: its DIFAT chain loops at sector" 1000
refused_alike "a name of a length no name has" "$work/damaged/name-length.msi" \
  "is not a Windows Installer package: its directory entry" 1000
mkdir -p "$work/large"
$generate "$(dirname "$package")/large.msi" "$work/large" --named difat-self
refused_alike "a DIFAT sector pointing at itself in a package of 33 MB" "$work/large/difat-self.msi" \
  "is not a Windows Installer package: its DIFAT chain loops at sector" 2000
rm -rf "$work/large"

# ProductCode twice: the second row takes the name of UpgradeCode's (both
# are 11 characters in the string pool), so the table holds two.
python3 -c "import sys; d = open(sys.argv[1], 'rb').read(); assert d.count(b'UpgradeCode') == 1
open(sys.argv[2], 'wb').write(d.replace(b'UpgradeCode', b'ProductCode'))" "$package" "$work/twice.msi"
refused_alike "ProductCode twice" "$work/twice.msi" "sets the property ProductCode twice in its Property table" 20000
code=$(msiinfo export "$package" Property | sed -n 's/^ProductCode\t\(.*\)\r\?$/\1/p' | tr -d '\r')
for form in "${code:1:36}" "$(echo "$code" | tr A-F a-f)"; do
  cp "$package" "$work/form.msi"
  msibuild "$work/form.msi" -q "UPDATE \`Property\` SET \`Value\` = '$form' WHERE \`Property\` = 'ProductCode'" \
    || fail "msibuild cannot set the ProductCode $form"
  refused_alike "the ProductCode $form" "$work/form.msi" \
    "The ProductCode '$form' of $work/form.msi is not in the form that Windows Installer takes: $code" 20000
done

# A code of 60,000 characters, cut short in the message.
long=$(printf 'x%.0s' $(seq 60000))
cp "$package" "$work/form.msi"
msibuild "$work/form.msi" -q "UPDATE \`Property\` SET \`Value\` = '$long' WHERE \`Property\` = 'ProductCode'" \
  || fail "msibuild cannot set a ProductCode of 60,000 characters"
refused_alike "a ProductCode of 60,000 characters" "$work/form.msi" "The ProductCode '${long:0:256}...' of " 20000
[ "${#message}" -lt 600 ] && echo "ok: its line has ${#message} characters" || fail "its line has ${#message} characters"

# 16 million Property rows in 64 MB: each host's reader meets its memory
# bound (msi.dll took 1.85 GB on Windows), and both say so.
python3 "$(dirname "$0")/support/property_rows.py" "$package" "$work/rows.msi" 16000000
refused_alike "16 million Property rows" "$work/rows.msi" \
  "rows.msi cannot be read: it needs more than the 512 MiB of memory that the reader may take" 20000
rm -f "$work/rows.msi"

# The sample: every kind of damage, both hosts.
$generate "$package" "$work/damaged" "$count" 36
declare -A packed refused crashed readers longest
for host in linux windows; do packed[$host]=0; refused[$host]=0; crashed[$host]=0; readers[$host]=0; longest[$host]=0; done
disagree=0
for file in "$work"/damaged/[0-9]*.msi; do
  for host in linux windows; do
    run "$host" "$file"
    [ "$took" -gt "${longest[$host]}" ] && longest[$host]=$took
    case $status in
      0) packed[$host]=$((packed[$host] + 1)) ;;
      # A reader that crashes is velkin-pack's refusal like any other; it
      # is counted apart.
      1) if [ "$lines" = 1 ] && [[ "$message" == "velkin-pack: error: "*"$file"* ]]; then
           refused[$host]=$((refused[$host] + 1))
           [[ "$message" == *"the reader crashed"* ]] && readers[$host]=$((readers[$host] + 1))
         else
           crashed[$host]=$((crashed[$host] + 1))
           fail "$(basename "$file") on $host: $message"
         fi ;;
      *) crashed[$host]=$((crashed[$host] + 1)); fail "$(basename "$file") on $host: exit status $status" ;;
    esac
    eval "${host}_status=\$status ${host}_message=\$message"
  done
  # Our own check's line is the same on both; the readers' own words differ.
  if [ "$linux_status" != "$windows_status" ] || { [[ "$linux_message" == *"package: its "* ]] \
       && [ "$linux_message" != "$windows_message" ]; }; then
    disagree=$((disagree + 1))
    fail "$(basename "$file"): Linux: $linux_status $linux_message; Windows: $windows_status $windows_message"
  fi
done
for host in linux windows; do
  echo "$host: of $count damaged packages, ${packed[$host]} packed, ${refused[$host]} refused with one line" \
    "(${readers[$host]} after their reader crashed), ${crashed[$host]} crashed or failed otherwise;" \
    "the longest took ${longest[$host]} ms"
done
[ "$disagree" = 0 ] && echo "ok: the hosts agree on all $count" || echo "the hosts disagree on $disagree"

# -o names that Windows cannot hold as a file's: refused before anything is
# read or written, with the same line on both hosts (Windows would write
# to a device, or drop the trailing dot or blank); names that Linux alone
# can pass on (a quote, a backslash, a line break) are refused there alike.
while IFS= read -r name; do
  timeout 120 "$pack" "$package" -o "$work/out/$name" >/dev/null 2>"$work/stderr.linux" </dev/null
  linux_status=$?
  timeout 120 "$loader" "$bin/velkin-pack.exe" "$(windows_path "$package")" -o "$(windows_path "$work/out")\\$name" \
    >/dev/null 2>"$work/stderr" </dev/null
  windows_status=$?
  [ "$linux_status" = 1 ] && [ "$windows_status" = 1 ] && [ "$(tr -d '\r' <"$work/stderr")" = "$(cat "$work/stderr.linux")" ] \
    && grep -qF "is no file name that Windows can hold" "$work/stderr.linux" && [ -z "$(ls -A "$work/out")" ] \
    && echo "ok: -o '$name' refused alike: $(cat "$work/stderr.linux")" \
    || fail "-o '$name': Linux $linux_status $(cat "$work/stderr.linux"); Windows $windows_status $(cat "$work/stderr")"
done <<'NAMES'
CON.exe
NUL.exe
aux.exe
COM1.exe
lpt9.exe
CONIN$.exe
trail.exe 
dot.exe.
NAMES
for name in 'a"b.exe' 'a<b>|c.exe' $'line\nbreak.exe' 'back\slash.exe'; do
  "$pack" "$package" -o "$work/out/$name" >/dev/null 2>"$work/stderr" </dev/null
  [ $? = 1 ] && grep -qF "is no file name that Windows can hold" "$work/stderr" && [ -z "$(ls -A "$work/out")" ] \
    && echo "ok: -o $(printf %q "$name") refused: $(cat "$work/stderr")" || fail "-o $(printf %q "$name"): $(cat "$work/stderr")"
done
rm -rf "$work"
finish
