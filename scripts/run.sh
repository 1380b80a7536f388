#!/usr/bin/env bash
# Installs what is missing, builds the two programs of the release
# configuration (no test, no benchmark) and starts the application from
# build/bin. A workspace without base image and projects is
# first seeded with the demo workspace of examples/, so that "Update Device"
# works at once. Without a display the same update runs through vestrel-cli.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh --run
# Tests and benchmarks stay out of the configuration too: it then needs none
# of their packages.
cmake --preset release -DVESTREL_BUILD_TESTS=OFF -DVESTREL_BUILD_BENCH=OFF >/dev/null
cmake --build --preset release --target vestrel_programs

bin=build/bin
demo=examples/workspace

empty_or_missing() { [ ! -d "$1" ] || [ -z "$(ls -A "$1")" ]; }

if empty_or_missing "$bin/MASTER" && empty_or_missing "$bin/PROJECTS"; then
  echo "Seeding $bin with the demo workspace of $demo" >&2
  mkdir -p "$bin/MASTER" "$bin/PROJECTS"
  cp "$demo/MASTER/SX58316.sx" "$bin/MASTER/"
  cp -R "$demo/PROJECTS/." "$bin/PROJECTS/"
  mkdir -p "$bin/PROJECTS/Demo/bin"
  # A flasher or a remembered project already there is kept.
  [ -e "$bin/FwLoader" ] || cp "$demo/FwLoader" "$bin/FwLoader"
  [ -e "$bin/Vestrel_Zemtrax.ini" ] || cp "$demo/Vestrel_Zemtrax.ini" "$bin/"
fi

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
  exec "$bin/vestrel"
fi

# No display: the remembered project, as the application would open it.
name=$(awk '
  { sub(/\r$/, "") }
  /^\[/ { inside = ($0 == "[lastproj]"); next }
  inside && /^projectname=/ { print substr($0, 13); exit }
' "$bin/Vestrel_Zemtrax.ini" 2>/dev/null || true)
# No project remembered: the demo, as the application opens at first.
project="$PWD/$bin/PROJECTS/Demo"
if [ -n "$name" ] && [ -d "$PWD/$bin/PROJECTS$name" ]; then
  project="$PWD/$bin/PROJECTS$name"
fi
base="$PWD/$bin/MASTER/SX58316.sx"

echo "No display (DISPLAY and WAYLAND_DISPLAY are unset): running Update Device" >&2
echo "for $project through vestrel-cli." >&2
"$bin/vestrel-cli" update "$project" "$base"
echo "Start ./scripts/run.sh on a desktop to choose the serial port and start the flasher."
