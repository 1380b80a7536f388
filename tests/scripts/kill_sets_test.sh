#!/usr/bin/env bash
# Real kills: vestrel-cli import-signals, remove-signals and decode --out
# are killed with SIGKILL at every system call that puts a file in place or
# removes one (strace's fault injection: the Nth linkat, rename, unlink or
# fsync of the run), and after each kill `check` must find the project as it
# was before the run or as the run would leave it, with nothing hidden left
# over; where the run had recorded its set, check says what it finished.
#   kill_sets_test.sh BUILD_DIR EXAMPLES_DIR
set -euo pipefail
build=$1
examples=$2
cli=$build/bin/vestrel-cli
command -v strace >/dev/null || { echo "strace is not installed"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$examples/demo-drive.dbc" "$work/"

# Every entry of a folder with its content's digest, hidden ones included.
state() { (cd "$1" && find . -maxdepth 1 -type f -printf '%f\n' | LC_ALL=C sort | while read -r f; do
  printf '%s %s\n' "$f" "$(sha256sum <"$f" | cut -c1-16)"; done); }
restore() { rm -rf "$2"; if [ -n "$1" ]; then cp -a "$1" "$2"; fi; }

rounds=0 before_count=0 after_count=0 noted=0 failures=0

# kill_each NAME FROM TO DIR -- COMMAND...: FROM is the folder as it stands
# before the command (empty for none), TO as the command leaves it.
kill_each() {
  local name=$1 from=$2 to=$3 dir=$4; shift 5
  local want_before want_after
  want_before=$( [ -n "$from" ] && state "$from" || true)
  want_after=$(state "$to")
  for call in linkat rename unlink fsync; do
    for ((n = 1; ; n++)); do
      restore "$from" "$dir"
      # Its status from a plain sh, so that bash says no "Killed".
      local rc
      rc=$(sh -c '"$@" >/dev/null 2>&1; echo $?' sh \
             strace -f -qq -o /dev/null -e trace="$call" -e inject="$call:signal=SIGKILL:when=$n" "$@")
      [ $rc -eq 137 ] || break
      rounds=$((rounds + 1))
      local notes=""
      if [ -d "$dir" ] && ls -A "$dir" | grep -q .; then
        notes=$("$cli" check "$dir" 2>&1 >/dev/null || true)
      fi
      local now
      now=$( [ -d "$dir" ] && state "$dir" || true)
      if [ "$now" = "$want_after" ]; then
        after_count=$((after_count + 1))
      elif [ "$now" = "$want_before" ]; then
        before_count=$((before_count + 1))
      else
        echo "$name killed at $call #$n: the folder is neither as before nor as after:"
        echo "$now" | sed 's/^/    /'
        failures=$((failures + 1))
      fi
      grep -q "held an interrupted" <<<"$notes" && noted=$((noted + 1))
    done
  done
}

project=$work/Demo
cp -a "$examples/workspace/PROJECTS/Demo" "$work/Demo.before"
rm -rf "$work/Demo.before/bin"
import=(import-signals "$project" "$work/demo-drive.dbc" --receive DriveDiagnostics,DriveParameters
        --transmit DriveDiagnostics)
restore "$work/Demo.before" "$project"
"$cli" "${import[@]}" >/dev/null 2>&1
cp -a "$project" "$work/Demo.after"
kill_each import "$work/Demo.before" "$work/Demo.after" "$project" -- "$cli" "${import[@]}"

restore "$work/Demo.before" "$project"
"$cli" "${import[@]}" >/dev/null 2>&1
"$cli" remove-signals "$project" DriveDiagnostics DriveParameters >/dev/null 2>&1
cp -a "$project" "$work/Demo.removed"
kill_each removal "$work/Demo.after" "$work/Demo.removed" "$project" -- \
  "$cli" remove-signals "$project" DriveDiagnostics DriveParameters

"$cli" build "$work/Demo.before" >/dev/null 2>&1
"$cli" decode "$work/Demo.before/bin" --out "$work/Decoded" >/dev/null 2>&1
mv "$work/Decoded" "$work/Decoded.after"
kill_each decode "" "$work/Decoded.after" "$work/Decoded" -- \
  "$cli" decode "$work/Demo.before/bin" --out "$work/Decoded"

echo "$rounds kills: $before_count left the folder as before, $after_count as after (check finished $noted interrupted sets), $failures neither"
[ $failures -eq 0 ] && [ $before_count -gt 0 ] && [ $after_count -gt 0 ] && [ $noted -gt 0 ]
