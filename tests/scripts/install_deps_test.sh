#!/usr/bin/env bash
# The set-up commands as users without root run them, through a PATH of
# stand-ins for id, sudo, dpkg-query, apt-get and cmake: who may install
# decides how, a user who may not gets one message that names the missing
# packages and the command to run as root before anything is built, and
# each command asks for its own packages.
#   install_deps_test.sh SOURCE_DIR
set -euo pipefail
source_dir=$1

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
fail() { echo "$*"; status=1; }

# The tools the scripts run besides the stand-ins.
fake=$scratch/bin
mkdir -p "$fake"
for tool in bash env dirname cat; do ln -s "$(command -v "$tool")" "$fake/$tool"; done
log=$scratch/calls
cat >"$fake/id" <<'STUB'
#!/bin/bash
case "$1" in -u) echo "$FAKE_UID" ;; -un) echo ann ;; esac
STUB
# dpkg-query knows the packages of $FAKE_INSTALLED as installed, no other.
cat >"$fake/dpkg-query" <<'STUB'
#!/bin/bash
shift 2
for p in "$@"; do [[ " $FAKE_INSTALLED " == *" $p "* ]] && echo "$p install ok installed"; done
exit 0
STUB
cat >"$fake/apt-get" <<'STUB'
#!/bin/bash
echo "apt-get $* as ${FAKE_AS:-root}" >>"$FAKE_LOG"
echo "apt-get $1 at work"
STUB
cat >"$fake/cmake" <<'STUB'
#!/bin/bash
echo "cmake $*" >>"$FAKE_LOG"
exit 3
STUB
make_sudo() {  # make_sudo ALLOWED: a sudo that lets ann in or not
  cat >"$fake/sudo" <<STUB
#!/bin/bash
if [ "\$1" = -v ]; then [ $1 = yes ] || echo "Sorry, user ann may not run sudo." >&2; [ $1 = yes ]; exit; fi
FAKE_AS=sudo exec "\$@"
STUB
  chmod +x "$fake/sudo"
}
chmod +x "$fake/id" "$fake/dpkg-query" "$fake/apt-get" "$fake/cmake"

# run SCRIPT ARGS...: runs a script of scripts/ with the stand-ins alone.
run() {
  : >"$log"
  code=0
  PATH=$fake FAKE_LOG=$log FAKE_UID=${uid:-1000} FAKE_INSTALLED=${installed:-} \
    bash "$source_dir/scripts/$1" "${@:2}" >"$scratch/out" 2>"$scratch/err" </dev/null || code=$?
}
# The packages a refusal names on its "Missing:" line.
named() { sed -n 's/^Missing: //p' "$scratch/err"; }

# No sudo, no root: each command stops before it builds, naming its packages.
rm -f "$fake/sudo"
declare -A lists=()
for command in run.sh package.sh test-all.sh; do
  run "$command"
  [ $code -eq 1 ] || fail "$command without root or sudo: exit status $code"
  grep -qxF "install-deps.sh: installing needs root, and this is not run as root (sudo is not installed)." "$scratch/err" \
    || { cat "$scratch/err"; fail "$command: no message"; }
  grep -qxF "  su -c 'apt-get update && apt-get install --no-install-recommends $(named)'" "$scratch/err" \
    || { cat "$scratch/err"; fail "$command: the message gives no command to run as root"; }
  [ ! -s "$log" ] || fail "$command without root or sudo ran: $(cat "$log")"
  lists[$command]=" $(named) "
done
# Each command's list: the run command builds without the test and sanitizer
# tools, the package adds what checks it, the test command needs all of it.
for p in libgtest-dev libbenchmark-dev clang libclang-rt-14-dev xvfb lintian; do
  [[ ${lists[run.sh]} != *" $p "* ]] || fail "the run command installs $p"
done
for p in qt6-base-dev g++ cmake; do
  [[ ${lists[run.sh]} == *" $p "* ]] || fail "the run command does not install $p"
done
for p in dpkg-dev lintian desktop-file-utils appstream; do
  [[ ${lists[package.sh]} == *" $p "* ]] || fail "the package command does not install $p"
done
for p in ${lists[run.sh]} ${lists[package.sh]} libgtest-dev clang can-utils; do
  [[ ${lists[test-all.sh]} == *" $p "* ]] || fail "the test command does not install $p"
done

# What is installed already is not asked for; with nothing missing, nothing
# needs root at all.
installed="cmake g++" run install-deps.sh --run
[[ " $(named) " != *" cmake "* && " $(named) " == *" mold "* ]] || fail "installed packages are named: $(named)"
installed="${lists[test-all.sh]}" run install-deps.sh --test
[ $code -eq 0 ] && [ ! -s "$scratch/err" ] && [ ! -s "$log" ] || fail "nothing missing: status $code, $(cat "$scratch/err" "$log")"

# A user sudo does not let in gets the same message, after sudo's own.
make_sudo no
run install-deps.sh --run
[ $code -eq 1 ] && grep -qxF "install-deps.sh: installing needs root, and this is not run as root (sudo does not let ann in)." "$scratch/err" \
  || { cat "$scratch/err"; fail "a user sudo refuses: status $code"; }
[ ! -s "$log" ] || fail "a user sudo refuses ran: $(cat "$log")"

# With sudo, and as root: apt-get updates, then installs what is missing, in
# sight of the user.
make_sudo yes
for uid in 1000 0; do
  as=$([ $uid -eq 0 ] && echo root || echo sudo)
  installed="mold" run install-deps.sh --run
  [ $code -eq 0 ] || { cat "$scratch/err"; fail "uid $uid: exit status $code"; }
  [ "$(head -1 "$log")" = "apt-get update as $as" ] || fail "uid $uid: $(cat "$log")"
  sed -n 2p "$log" | grep -q "^apt-get install -y --no-install-recommends cmake .* as $as$" \
    && ! grep -q " mold " "$log" || fail "uid $uid: $(cat "$log")"
  grep -qx "apt-get install at work" "$scratch/out" || fail "uid $uid: apt-get's output is hidden"
done
unset uid

[ $status -eq 0 ] && echo "install-deps.sh: refused without root and sudo, by sudo, used with sudo and as root; three lists"
exit $status
