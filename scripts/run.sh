#!/usr/bin/env bash
# Installs what is missing, builds the release configuration and starts the
# application from build/bin.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release

if [ -x build/bin/vestrel ]; then
  exec build/bin/vestrel
fi
echo "The application is not built yet; the project file layer was built and can be tested with ./scripts/test-all.sh" >&2
