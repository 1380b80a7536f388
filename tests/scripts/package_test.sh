#!/usr/bin/env bash
# Builds the Debian package of a release build, lists it, unpacks it into a
# scratch root and runs the unpacked vestrel-cli there: --version, --help
# (the per-user workspace of an installed copy) and check on the demo
# project. Checks the package with lintian (no error), desktop-file-validate
# and appstreamcli where they are installed (scripts/install-deps.sh --package).
# Exits 77 (skipped) for a sanitizer build and where dpkg-deb is missing.
#   package_test.sh BUILD_DIR VERSION SANITIZE DOCS (1 where the build makes the man pages)
set -euo pipefail
build=$1
version=$2
sanitize=$3
docs=$4

if [ "$sanitize" = ON ]; then
  echo "skipped: a sanitizer build is not packaged; the release preset's suite builds the package"
  exit 77
fi
for tool in dpkg-deb dpkg-shlibdeps; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cmake --build "$build" --target vestrel_package_files >"$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; exit 1; }
(cd "$build" && cpack -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1) || { cat "$scratch/cpack.log"; exit 1; }
deb=$(echo "$scratch"/out/vestrel_"$version"_*.deb)
[ -f "$deb" ] || { echo "no vestrel_${version}_ARCH.deb made"; ls "$scratch/out"; exit 1; }

status=0
fail() { echo "$*"; status=1; }
listing=$(dpkg-deb -c "$deb" | awk '{print $NF}')
expected=(
  ./usr/bin/vestrel ./usr/bin/vestrel-cli
  ./usr/share/applications/example.zemtrax.vestrel.desktop
  ./usr/share/icons/hicolor/scalable/apps/vestrel.svg
  ./usr/share/icons/hicolor/48x48/apps/vestrel.png
  ./usr/share/icons/hicolor/256x256/apps/vestrel.png
  ./usr/share/metainfo/example.zemtrax.vestrel.metainfo.xml
  ./usr/share/doc/vestrel/copyright ./usr/share/doc/vestrel/changelog.gz
  ./usr/share/vestrel/workspace/MASTER/SX58316.sx
  ./usr/share/vestrel/workspace/PROJECTS/Demo/pargen.xml
  ./usr/share/vestrel/workspace/FwLoader
  ./usr/share/vestrel/workspace/Vestrel_Zemtrax.ini
)
# The man pages and the completion, where this build generates them.
if [ "$docs" = 1 ]; then
  expected+=(./usr/share/man/man1/vestrel.1.gz ./usr/share/man/man1/vestrel-cli.1.gz
             ./usr/share/bash-completion/completions/vestrel-cli)
fi
for path in "${expected[@]}"; do
  grep -qxF "$path" <<<"$listing" || fail "the package lacks $path"
done
grep -q '^Depends:.*libqt6widgets6' <(dpkg-deb -f "$deb") || fail "no dependency on Qt Widgets: $(dpkg-deb -f "$deb" Depends)"

root=$scratch/root
dpkg-deb -x "$deb" "$root"
export HOME=$scratch/home XDG_DATA_HOME=$scratch/data
cli=$root/usr/bin/vestrel-cli
[ "$("$cli" --version)" = "vestrel-cli $version" ] || fail "--version says: $("$cli" --version)"
grep -qxF "  $XDG_DATA_HOME/Firmware Vestrel" <("$cli" --help) || fail "--help does not name the per-user workspace"
"$cli" check "$root/usr/share/vestrel/workspace/PROJECTS/Demo" >"$scratch/check.log" 2>&1 \
  || { cat "$scratch/check.log"; fail "check fails on the unpacked demo project"; }

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root"/usr/share/applications/*.desktop || fail "desktop-file-validate fails"
else
  echo "not checked: desktop-file-validate is not installed"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$root"/usr/share/metainfo/*.xml >"$scratch/appstream.log" 2>&1 \
    || { cat "$scratch/appstream.log"; fail "appstreamcli validate fails"; }
else
  echo "not checked: appstreamcli is not installed"
fi
if command -v lintian >/dev/null; then
  lintian "$deb" >"$scratch/lintian.log" 2>&1 || true
  if grep '^E: ' "$scratch/lintian.log"; then fail "lintian reports errors"; fi
else
  echo "not checked: lintian is not installed"
fi
[ $status -eq 0 ] && echo "$(basename "$deb"): ${#expected[@]} paths listed, unpacked vestrel-cli runs check on the demo"
exit $status
