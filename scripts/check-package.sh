#!/usr/bin/env bash
# Checks a vestrel package as Debian would have it: both programs hardened as
# dpkg-buildflags' hardening=+all builds them (position-independent, RELRO
# bound at start, the stack protector, fortified libc calls; read from the
# binaries with readelf), the desktop entry and the AppStream metainfo valid,
# and lintian, info tags shown, silent but for informational tags that are no
# hardening tag. Prints lintian's output; exits 1 naming each failed check.
#   check-package.sh DEB
set -euo pipefail
deb=$1

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
dpkg-deb -x "$deb" "$scratch/root"

status=0
fail() { echo "check-package.sh: $*" >&2; status=1; }
for program in vestrel vestrel-cli; do
  binary=$scratch/root/usr/bin/$program
  readelf -hW "$binary" | grep -qE 'Type: +DYN' || fail "$program is not position-independent"
  readelf -lW "$binary" | grep -q GNU_RELRO || fail "$program has no RELRO segment"
  readelf -dW "$binary" | grep -qE '\(FLAGS\).*BIND_NOW|\(FLAGS_1\).*NOW' || fail "$program is not bound at start (BIND_NOW)"
  symbols=$(readelf --dyn-syms -W "$binary")
  grep -q '__stack_chk_fail' <<<"$symbols" || fail "$program has no stack protector"
  grep -qE '__[a-z0-9_]+_chk@' <<<"$symbols" || fail "$program calls no fortified libc function"
done

desktop-file-validate "$scratch"/root/usr/share/applications/*.desktop || fail "desktop-file-validate fails"
appstreamcli validate --no-net --pedantic "$scratch"/root/usr/share/metainfo/*.metainfo.xml >"$scratch/appstream.log" 2>&1 \
  || { cat "$scratch/appstream.log" >&2; fail "appstreamcli validate fails"; }

lintian --display-info --tag-display-limit 0 "$deb" >"$scratch/lintian.log" 2>&1 || true
cat "$scratch/lintian.log"
grep -qE '^(E|W): ' "$scratch/lintian.log" && fail "lintian reports errors or warnings"
grep -q ' hardening-' "$scratch/lintian.log" && fail "lintian reports missing hardening"
exit $status
