#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through
# ctest; then the same tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer (the asan preset). Both runs replay each fuzz
# harness over its committed corpus; exploring for new inputs is
# scripts/fuzz.sh's, by hand, for as long as one likes.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
ctest --preset release

cmake --preset asan
cmake --build --preset asan
ctest --preset asan
