#!/usr/bin/env bash
# Keeps the source in small pieces: no file of src/ over 600 lines and no
# function over 80 (counted by pmccabe). Prints what is over and fails.
#   scripts/check-shape.sh [SOURCE_DIR]
set -euo pipefail
src=${1:-$(cd "$(dirname "$0")/.." && pwd)/src}
status=0

while read -r lines file; do
  [ "$file" = total ] && continue
  if [ "$lines" -gt 600 ]; then
    echo "file over 600 lines: $file ($lines)"
    status=1
  fi
done < <(find "$src" \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 wc -l)

# pmccabe skips a file that opens a nested namespace in one line
# ("namespace a::b {"); it reads a copy with the namespaces spelled out.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
while IFS= read -r -d '' file; do
  copy="$scratch/${file#"$src"/}"
  mkdir -p "$(dirname "$copy")"
  sed -E 's/^namespace ([A-Za-z_]+)::([A-Za-z_]+) \{/namespace \1 { namespace \2 {/' "$file" > "$copy"
done < <(find "$src" -name '*.cpp' -print0)
while read -r _ _ _ first length location name; do
  if [ "$length" -gt 80 ]; then
    echo "function over 80 lines: ${location%%(*} $name ($length lines)"
    status=1
  fi
done < <(cd "$scratch" && find . -name '*.cpp' -print0 | xargs -0 pmccabe -v 2>/dev/null | grep -v '^\s*[|]' | awk 'NF >= 7')
exit $status
