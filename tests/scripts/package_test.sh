#!/usr/bin/env bash
# Builds the Debian package of a release build, lists it, checks it with
# scripts/check-package.sh (hardening, lintian, the desktop entry and the
# metainfo), unpacks it into a scratch root and runs the unpacked vestrel-cli
# there as a user of the command line alone would: --version, --help, the
# per-user workspace seeded by `workspace`, update of its demo project, and
# the refusal without HOME. Exits 77 (skipped) for a sanitizer build; the test
# command runs it on the release preset.
#   package_test.sh BUILD_DIR VERSION SANITIZE DOCS (1 where the build makes the man pages)
set -euo pipefail
build=$1
version=$2
sanitize=$3
docs=$4

if [ "$sanitize" = ON ]; then
  echo "skipped: a sanitizer build is not packaged; the test command runs this on the release preset"
  exit 77
fi
for tool in dpkg-deb dpkg-shlibdeps lintian desktop-file-validate appstreamcli readelf; do
  command -v "$tool" >/dev/null || { echo "$tool is not installed: ./scripts/install-deps.sh --package"; exit 1; }
done
source_dir=$(cd "$(dirname "$0")/../.." && pwd)

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

"$source_dir/scripts/check-package.sh" "$deb" >"$scratch/check.log" 2>&1 || { cat "$scratch/check.log"; fail "check-package.sh fails"; }

root=$scratch/root
dpkg-deb -x "$deb" "$root"
export HOME=$scratch/home XDG_DATA_HOME=$scratch/data
cli=$root/usr/bin/vestrel-cli
[ "$("$cli" --version)" = "vestrel-cli $version" ] || fail "--version says: $("$cli" --version)"
ws="$XDG_DATA_HOME/Firmware Vestrel"
grep -qxF "  $ws" <("$cli" --help) || fail "--help does not name the per-user workspace"

# The first steps of an installed copy on the command line alone.
[ "$("$cli" workspace 2>"$scratch/seed.log")" = "$ws" ] || fail "workspace does not print $ws"
grep -qxF "Filled the empty workspace with the demo workspace of $root/usr/share/vestrel/workspace" "$scratch/seed.log" \
  || { cat "$scratch/seed.log"; fail "workspace does not say it seeded"; }
"$cli" update "$ws/PROJECTS/Demo" "$ws/MASTER/SX58316.sx" >"$scratch/update.log" 2>&1 \
  || { cat "$scratch/update.log"; fail "update of the demo project in the new workspace fails"; }
[ -s "$ws/PROJECTS/Demo/New_SX58316.sx" ] || fail "update wrote no New_SX58316.sx"
# A second run seeds nothing over what is there.
echo "mine" >"$ws/PROJECTS/Demo/notes.txt"
rm "$ws/MASTER/SX58316.sx"
"$cli" workspace >/dev/null 2>"$scratch/again.log" || fail "a second workspace fails"
[ ! -s "$scratch/again.log" ] || { cat "$scratch/again.log"; fail "a second workspace says something"; }
[ ! -e "$ws/MASTER/SX58316.sx" ] && [ -e "$ws/PROJECTS/Demo/notes.txt" ] || fail "a second workspace seeded again"
# A relative XDG_DATA_HOME counts as unset; without HOME there is no workspace.
[ "$(XDG_DATA_HOME=data "$cli" workspace 2>/dev/null)" = "$HOME/.local/share/Firmware Vestrel" ] \
  || fail "a relative XDG_DATA_HOME is used"
refusal="an installed copy keeps its workspace in a per-user folder, and there is no per-user folder for the workspace: XDG_DATA_HOME is not set and HOME is not set; set HOME (or XDG_DATA_HOME) to an absolute path"
if env -u HOME -u XDG_DATA_HOME "$cli" workspace >/dev/null 2>"$scratch/nohome.log"; then fail "workspace without HOME succeeds"; fi
[ "$(cat "$scratch/nohome.log")" = "vestrel-cli: $refusal" ] || { cat "$scratch/nohome.log"; fail "workspace without HOME says otherwise"; }
grep -qxF "The application has no workspace: $refusal" <(env -u HOME -u XDG_DATA_HOME "$cli" --help) \
  || fail "--help without HOME does not say why there is no workspace"
[ -z "$(ls "$root/usr/bin" | grep -vxE 'vestrel|vestrel-cli')" ] || fail "something was written beside the programs"

[ $status -eq 0 ] && echo "$(basename "$deb"): ${#expected[@]} paths listed, hardened and lintian-clean, the CLI seeds the workspace and updates the demo"
exit $status
