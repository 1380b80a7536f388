#!/usr/bin/env bash
# scripts/git-vestrel-diff on a repository made here: the demo project
# committed, then changed one field at a time, compared between revisions
# and against the working tree.
#   git_diff_test.sh SOURCE_DIR VESTREL_CLI
set -euo pipefail
source_dir=$1
export VESTREL_CLI=$2
script="$source_dir/scripts/git-vestrel-diff"
command -v git >/dev/null || { echo "git is not installed"; exit 77; }

repo=$(mktemp -d "${TMPDIR:-/tmp}/vestrel-git-diff-test.XXXXXX")
trap 'rm -rf "$repo"' EXIT
git() { command git -C "$repo" -c user.name=test -c user.email=test@example.org -c init.defaultBranch=main "$@"; }
git init -q
mkdir -p "$repo/PROJECTS"
cp -r "$source_dir/examples/workspace/PROJECTS/Demo" "$repo/PROJECTS/Demo"
git add -A && git commit -qm "demo"
sed -i 's/<IDDev_Ser>1</<IDDev_Ser>2</' "$repo/PROJECTS/Demo/pargen.xml"
git commit -qam "device address 2"

failed=0
expect() {  # expect STATUS LINE -- ARGS...
  local want=$1 line=$2
  shift 3
  local out status=0
  out=$("$script" "$@" 2>&1) || status=$?
  if [ "$status" != "$want" ] || ! grep -qxF -- "$line" <<<"$out"; then
    echo "FAIL: git-vestrel-diff $* gave $status (wanted $want and the line \"$line\"):"
    echo "$out"
    failed=1
  fi
}

cd "$repo/PROJECTS"
expect 1 "Modbus device address: 1 -> 2" -- HEAD~1 HEAD Demo
expect 0 "No changes" -- HEAD HEAD "$repo/PROJECTS/Demo"
sed -i 's/<TimeOut_Data>10</<TimeOut_Data>20</' Demo/pargen.xml
expect 1 "Data time-out: 10 s -> 20 s" -- HEAD Demo
expect 1 "Data time-out: 10 s -> 20 s" -- HEAD~1 Demo
expect 1 "new: project folder PROJECTS/Demo (working tree), SHA-256 $(cd Demo && sha256sum pargen.xml RCobDef.xml TCobDef.xml RInfoCob.xml TInfoCob.xml | sha256sum | cut -d' ' -f1) of the sha256sum lines of pargen.xml RCobDef.xml TCobDef.xml RInfoCob.xml TInfoCob.xml" -- HEAD Demo
expect 1 "- Data time-out: 10 s -&gt; 20 s" -- HEAD Demo --format md
mkdir Other && echo x > Other/notes.txt
expect 2 "git-vestrel-diff: revision \"HEAD\" holds nothing of \"PROJECTS/Other\"" -- HEAD Other
expect 2 "git-vestrel-diff: no revision \"nosuch\"" -- nosuch Demo
git status --porcelain | grep -q '^ M PROJECTS/Demo/pargen.xml$' || { echo "FAIL: the working tree or index changed"; failed=1; }
exit $failed
