#!/usr/bin/env bash
# Opens the HTML register map of the demo project and the plot of the demo
# bus log in a real browser (Debian's chromium, headless, offline) and checks
# what it made of each page: the title, the pictures, no message on the
# browser's console, and a screenshot that is not blank. With an argument,
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
"$build/bin/vestrel-cli" plot examples/workspace/PROJECTS/Demo examples/demo-bus.log --out "$work/plot.html" 2>/dev/null

browser=(chromium --headless --no-sandbox --disable-gpu --disable-background-networking
         --disable-component-update --disable-sync --no-first-run --hide-scrollbars
         --user-data-dir="$work/profile")
fail() { echo "check-report-in-browser.sh: $*" >&2; exit 1; }
# The page's DOM as the browser built it into $work/NAME.dom, and what its
# console said (scripts, errors, refused resources) into $work/NAME.console.
open_page() {
  "${browser[@]}" --enable-logging=stderr --v=0 --dump-dom "file://$work/$1.html" 2> "$work/$1.log" > "$work/$1.dom"
  grep ':CONSOLE' "$work/$1.log" > "$work/$1.console" || true
  [ ! -s "$work/$1.console" ] || fail "the browser's console has messages on $1.html: $(cat "$work/$1.console")"
}
open_page register-map
cp "$work/register-map.dom" "$work/dom.html"
"${browser[@]}" --window-size=1000,1500 --screenshot="$work/register-map.png" \
  "file://$work/register-map.html" 2>/dev/null

grep -q '<title>Register map: Demo</title>' "$work/dom.html" || fail "the browser shows no title"
# The demo project has three receive and two transmit frames.
pictures=$(grep -o '<svg ' "$work/dom.html" | wc -l)
[ "$pictures" -eq 5 ] || fail "the browser found $pictures frame pictures, not 5"
colours=$(convert "$work/register-map.png" -format '%k' info:)
[ "$colours" -gt 16 ] || fail "the screenshot has only $colours colours"
echo "The browser shows the title and 5 frame pictures ($colours colours in the screenshot)."

# The plot: one picture with the demo log's nine charts, replay's summary under it.
open_page plot
grep -q '<title>Demo: demo-bus.log</title>' "$work/plot.dom" || fail "the plot page shows no title"
[ "$(grep -o '<svg ' "$work/plot.dom" | wc -l)" -eq 1 ] || fail "the plot page holds no single picture"
charts=$(grep -oE '>(receive|transmit) register [0-9]+<' "$work/plot.dom" | wc -l)
[ "$charts" -eq 9 ] || fail "the browser found $charts charts on the plot page, not 9"
grep -q 'Log: candump log file, 13 lines, 12 frames' "$work/plot.dom" || fail "the plot page has no summary"
"${browser[@]}" --window-size=1100,1700 --screenshot="$work/plot.png" "file://$work/plot.html" 2>/dev/null
colours=$(convert "$work/plot.png" -format '%k' info:)
[ "$colours" -gt 16 ] || fail "the plot's screenshot has only $colours colours"
echo "The browser shows the plot page with 9 charts and no console message ($colours colours in the screenshot)."

if [ $# -ge 1 ]; then
  cp "$work/register-map.png" "$1"
fi
