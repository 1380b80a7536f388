#!/usr/bin/env bash
# Installs what is missing, builds everything and runs every test through
# ctest; then the same tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer (the asan preset), and each fuzz harness for a
# short while (the fuzz preset, FUZZ_SECONDS each, 30 by default).
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
ctest --preset release

cmake --preset asan
cmake --build --preset asan
ctest --preset asan

cmake --preset fuzz
cmake --build --preset fuzz
./scripts/fuzz.sh -t "${FUZZ_SECONDS:-30}"
