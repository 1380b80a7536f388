#!/usr/bin/env bash
# Redraws the README pictures in docs/images: the main window, the
# "Generate Firmware" dialog after an update of the demo project, the
# editors of steps 2 to 4 on that project, and the bench window against a
# simulated gateway that hears examples/demo-bus.log (socat and Qt's
# virtualcan plugin stand in for the serial line and the bus). Runs on Qt's
# offscreen platform, so no display is needed. BUILD_DIR names the build tree
# (default build, the release preset).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${BUILD_DIR:-build}
if [ ! -f "$build/CMakeCache.txt" ]; then
  if [ "$build" = build ]; then
    cmake --preset release
  else
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
  fi
fi
cmake --build "$build" --target vestrel-screenshots

# The pictures are drawn on a scratch copy: the demo workspace stays as it is.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp -R examples/workspace "$work/Firmware Vestrel"
mkdir -p docs/images
QT_QPA_PLATFORM=offscreen "$build/tools/vestrel-screenshots" "$work/Firmware Vestrel" docs/images \
  examples/demo-bus.log

# The register map report, as a browser shows it.
./scripts/check-report-in-browser.sh docs/images/register-map.png
