#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
ctest --preset release
