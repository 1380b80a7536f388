#!/usr/bin/env bash
# Opens the HTML register map of the demo project in a real browser (Debian's
# chromium, headless, offline) and checks what it made of the page: the title,
# one picture per frame, and a screenshot that is not blank. With an argument,
# the screenshot is kept there (scripts/make-screenshots.sh uses this for the
# README). BUILD_DIR names the build tree (default build).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh --browser
build=${BUILD_DIR:-build}
[ -f "$build/CMakeCache.txt" ] || cmake --preset release
cmake --build "$build" --target vestrel-cli

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/vestrel-cli" report examples/workspace/PROJECTS/Demo --out "$work/register-map.html"

browser=(chromium --headless --no-sandbox --disable-gpu --disable-background-networking
         --disable-component-update --disable-sync --no-first-run --hide-scrollbars
         --user-data-dir="$work/profile")
"${browser[@]}" --dump-dom "file://$work/register-map.html" 2>/dev/null > "$work/dom.html"
"${browser[@]}" --window-size=1000,1500 --screenshot="$work/register-map.png" \
  "file://$work/register-map.html" 2>/dev/null

fail() { echo "check-report-in-browser.sh: $*" >&2; exit 1; }
grep -q '<title>Register map: Demo</title>' "$work/dom.html" || fail "the browser shows no title"
# The demo project has three receive and two transmit frames.
pictures=$(grep -o '<svg ' "$work/dom.html" | wc -l)
[ "$pictures" -eq 5 ] || fail "the browser found $pictures frame pictures, not 5"
colours=$(convert "$work/register-map.png" -format '%k' info:)
[ "$colours" -gt 16 ] || fail "the screenshot has only $colours colours"
echo "The browser shows the title and 5 frame pictures ($colours colours in the screenshot)."

if [ $# -ge 1 ]; then
  cp "$work/register-map.png" "$1"
fi
