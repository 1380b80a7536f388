#!/usr/bin/env bash
# Prints the golden digests that tests/cli/golden_test.cpp compares against:
# for each project here and the demo project, the SHA-256 of bank1.bin to
# bank5.bin, bankg.c and the image that base.sx (the demo's own base image for
# the demo) becomes, built with a fixed compile stamp.
#   make_golden.sh path/to/vestrel-cli > golden.sha256
set -euo pipefail
cli=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)
demo="$here/../../../examples/workspace"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export SOURCE_DATE_EPOCH=1733661931
for name in can20b odd nopargen Demo; do
    if [ "$name" = Demo ]; then src="$demo/PROJECTS/Demo"; base="$demo/MASTER/SX58316.sx"
    else src="$here/$name"; base="$here/base.sx"; fi
    cp -r "$src" "$work/$name"
    "$cli" build "$work/$name" 2>/dev/null
    "$cli" merge "$base" "$work/$name/bin" "$work/$name/New.sx" 2>/dev/null
    for f in bin/bank1.bin bin/bank2.bin bin/bank3.bin bin/bank4.bin bin/bank5.bin bin/bankg.c New.sx; do
        echo "$(sha256sum < "$work/$name/$f" | cut -d' ' -f1)  $name/$f"
    done
done
