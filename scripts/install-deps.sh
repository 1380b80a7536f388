#!/usr/bin/env bash
# Installs the Debian packages a command needs, only those still missing.
# Installing needs root: run as root, apt-get is used directly; otherwise
# through sudo (which asks for the password once). Where neither works, it
# stops with one message naming the missing packages and the command to run
# as root, and installs nothing.
#
#   --run       what building the two programs needs (scripts/run.sh)
#   --package   that, and what building and checking the Debian package needs
#               (scripts/package.sh)
#   --test      everything the test command needs: the sanitizer and test
#               tools, the independent oracles, and the package's (the
#               default; scripts/test-all.sh)
#   --browser   also Debian's chromium, which scripts/make-screenshots.sh and
#               scripts/check-report-in-browser.sh use to open the HTML
#               register map headless; the test suite does not need it.
set -euo pipefail

build=(
  cmake ninja-build g++ pkg-config mold
  qt6-base-dev qt6-svg-dev qt6-serialbus-dev qt6-serialport-dev
  libxml2-dev libsimpleini-dev libicu-dev libfreexl-dev liborcus-dev libssl-dev zlib1g-dev
)
package=(dpkg-dev lintian desktop-file-utils appstream)
tests=(
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  srecord pmccabe xvfb xauth imagemagick python3-xlwt python3-xlsxwriter python3-odf
  locales poppler-utils groff-base
  can-utils socat python3-can python3-canmatrix strace git
)

packages=()
selected=0
for arg in "$@"; do
  case "$arg" in
    --run) packages+=("${build[@]}"); selected=1 ;;
    --package) packages+=("${build[@]}" "${package[@]}"); selected=1 ;;
    --test) packages+=("${build[@]}" "${package[@]}" "${tests[@]}"); selected=1 ;;
    --browser) packages+=(chromium) ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done
[ $selected -eq 1 ] || packages+=("${build[@]}" "${package[@]}" "${tests[@]}")

# One question to dpkg for all of them; a package it has never heard of is
# missing too.
declare -A installed=()
while read -r name status; do
  [ "$status" = "install ok installed" ] && installed[$name]=1
done < <(dpkg-query -W -f='${Package} ${Status}\n' "${packages[@]}" 2>/dev/null || true)
missing=()
declare -A listed=()
for p in "${packages[@]}"; do
  if [ -z "${installed[$p]:-}" ] && [ -z "${listed[$p]:-}" ]; then
    missing+=("$p")
    listed[$p]=1
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
if [ "$(id -u)" -ne 0 ]; then
  # sudo -v asks for the password once; it fails for a user sudo does not let
  # in, and where no one can answer.
  if command -v sudo >/dev/null && sudo -v; then
    as_root=(sudo)
  else
    if command -v sudo >/dev/null; then why="sudo does not let $(id -un) in"; else why="sudo is not installed"; fi
    cat >&2 <<EOF
install-deps.sh: installing needs root, and this is not run as root ($why).
Missing: ${missing[*]}
Run as root, then this command again:
  su -c 'apt-get update && apt-get install --no-install-recommends ${missing[*]}'
EOF
    exit 1
  fi
fi

echo "install-deps.sh: installing ${missing[*]}" >&2
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
