#!/usr/bin/env bash
# Where the application cannot start, it says why and ends with status 1:
# without a display (Qt would abort with a hint to reinstall), and as an
# installed copy without a per-user folder for its workspace, which it then
# never puts beside the executable.
#   app_start_test.sh BIN_DIR
set -euo pipefail
bin=$1

scratch=$(mktemp -d -p "$(dirname "$bin")")
trap 'rm -rf "$scratch"' EXIT
status=0
fail() { echo "$*"; status=1; }

code=0
env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$bin/vestrel" >"$scratch/out" 2>"$scratch/err" || code=$?
[ $code -eq 1 ] || fail "without a display: exit status $code"
head -1 "$scratch/err" | grep -qF "vestrel: no display found (DISPLAY and WAYLAND_DISPLAY are not set)" \
  && grep -qF '"vestrel-cli update PROJECT_DIR BASE_IMAGE" is Update Device' "$scratch/err" \
  || { cat "$scratch/err"; fail "without a display it does not say so and point to vestrel-cli"; }

# An installed copy: PREFIX/bin beside PREFIX/share/vestrel/workspace.
prefix=$scratch/prefix
mkdir -p "$prefix/bin" "$prefix/share/vestrel/workspace/MASTER"
ln "$bin/vestrel" "$prefix/bin/vestrel" 2>/dev/null || cp "$bin/vestrel" "$prefix/bin/vestrel"
code=0
env -u HOME -u XDG_DATA_HOME QT_QPA_PLATFORM=offscreen "$prefix/bin/vestrel" >"$scratch/out" 2>"$scratch/err" || code=$?
[ $code -eq 1 ] || fail "installed, without HOME: exit status $code"
expected="vestrel: an installed copy keeps its workspace in a per-user folder, and there is no per-user folder for the workspace: XDG_DATA_HOME is not set and HOME is not set; set HOME (or XDG_DATA_HOME) to an absolute path"
[ "$(cat "$scratch/err")" = "$expected" ] || { cat "$scratch/err"; fail "installed, without HOME: not the reason"; }
[ "$(ls "$prefix/bin")" = vestrel ] || fail "installed, without HOME: wrote $(ls "$prefix/bin")"

[ $status -eq 0 ] && echo "no display and no per-user folder: both refused with their reason"
exit $status
