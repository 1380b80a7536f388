#!/usr/bin/env bash
# Builds the Debian package from the release build: build/vestrel_VERSION_ARCH.deb,
# made by CPack from the install rules (packaging/CMakeLists.txt), then checks
# it with lintian (no error allowed) and validates the desktop entry and the
# AppStream metainfo. Install it with `apt install ./build/vestrel_*.deb`.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh --package
cmake --preset release -DVESTREL_BUILD_TESTS=OFF -DVESTREL_BUILD_BENCH=OFF >/dev/null
cmake --build --preset release --target vestrel_package_files
(cd build && cpack -G DEB >/dev/null)
deb=$(ls -t build/vestrel_*.deb | head -1)

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch"
desktop-file-validate "$scratch"/usr/share/applications/*.desktop
appstreamcli validate --no-net --pedantic "$scratch"/usr/share/metainfo/*.metainfo.xml >"$scratch/appstream.log" \
  || { cat "$scratch/appstream.log" >&2; exit 1; }
lintian --no-tag-display-limit "$deb" >"$scratch/lintian.log" 2>&1 || true
cat "$scratch/lintian.log" >&2
if grep -q '^E: ' "$scratch/lintian.log"; then
  echo "package.sh: lintian reports errors on $deb" >&2
  exit 1
fi
echo "$deb"
