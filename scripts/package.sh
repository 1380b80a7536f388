#!/usr/bin/env bash
# Builds the Debian package from the release build: build/vestrel_VERSION_ARCH.deb,
# made by CPack from the install rules (packaging/CMakeLists.txt), then checks
# it with scripts/check-package.sh (hardening, lintian, the desktop entry and
# the AppStream metainfo). Install it with `sudo apt install ./build/vestrel_*.deb`.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh --package
cmake --preset release -DVESTREL_BUILD_TESTS=OFF -DVESTREL_BUILD_BENCH=OFF >/dev/null
cmake --build --preset release --target vestrel_package_files
(cd build && cpack -G DEB >/dev/null)
deb=$(ls -t build/vestrel_*.deb | head -1)

./scripts/check-package.sh "$deb" >&2
echo "$deb"
