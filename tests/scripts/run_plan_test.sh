#!/usr/bin/env bash
# The run command builds the two programs and what they link, nothing else:
# reads the target scripts/run.sh builds, asks ninja for every command that
# target needs from an empty tree, and fails when one of them compiles or
# links anything of a test program, the fuzz harnesses or the benchmarks.
#   run_plan_test.sh SOURCE_DIR BUILD_DIR [NINJA]
set -euo pipefail
source_dir=$1
build=$2
ninja=${3:-ninja}

target=$(sed -n 's/^cmake --build --preset release --target \([A-Za-z0-9_-]*\).*/\1/p' "$source_dir/scripts/run.sh")
[ -n "$target" ] || { echo "scripts/run.sh builds no single target"; exit 1; }
plan=$("$ninja" -C "$build" -t commands "$target")

status=0
# Outputs and inputs inside the build tree are named relative to it.
if offending=$(grep -E '(^| |-I|-include )(tests|bench|fuzz)/|gtest|gmock|benchmark' <<<"$plan"); then
  echo "scripts/run.sh ($target) would build parts of tests or benchmarks:"
  head -5 <<<"$offending" | cut -c1-300
  status=1
fi
for program in bin/vestrel bin/vestrel-cli; do
  if ! grep -qE -- "-o $program( |$)" <<<"$plan"; then
    echo "scripts/run.sh ($target) does not link $program"
    status=1
  fi
done
[ $status -eq 0 ] && echo "$target: $(wc -l <<<"$plan") commands, none of tests, fuzz or bench"
exit $status
