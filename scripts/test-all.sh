#!/usr/bin/env bash
# Installs what is missing, builds everything once with AddressSanitizer and
# UndefinedBehaviorSanitizer (the asan preset: the application, vestrel-cli,
# the benchmarks and every test) and runs every test under them: the unit and
# window tests, the end-to-end runs and each fuzz harness over its committed
# corpus. Exploring for new fuzz inputs is scripts/fuzz.sh's, by hand. Then
# the package test on the release preset, which builds the two programs as
# they ship (hardened, without sanitizers), packages, checks and runs them.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/install-deps.sh --test
cmake --preset asan
cmake --build --preset asan
ctest --preset asan
cmake --preset release -DVESTREL_BUILD_TESTS=ON >/dev/null
ctest --preset release -R '^Scripts\.DebianPackage$'
