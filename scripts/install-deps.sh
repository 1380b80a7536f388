#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Only what is missing is installed; sudo is used when not running as root.
#
#   --browser   also Debian's chromium, which scripts/make-screenshots.sh and
#               scripts/check-report-in-browser.sh use to open the HTML
#               register map headless; the test suite does not need it.
#   --package   also what scripts/package.sh and the package test of the
#               release preset check the package with (lintian, the desktop
#               entry's and the metainfo's validators).
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config mold dpkg-dev
  qt6-base-dev qt6-svg-dev qt6-serialbus-dev qt6-serialport-dev
  libxml2-dev libsimpleini-dev libicu-dev libfreexl-dev liborcus-dev libssl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  zlib1g-dev
  srecord pmccabe xvfb xauth imagemagick python3-xlwt python3-xlsxwriter python3-odf
  locales poppler-utils groff-base
  can-utils socat python3-can python3-canmatrix strace
)

for arg in "$@"; do
  case "$arg" in
    --browser) packages+=(chromium) ;;
    --package) packages+=(lintian desktop-file-utils appstream) ;;
    *) echo "install-deps.sh: unknown option $arg" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
