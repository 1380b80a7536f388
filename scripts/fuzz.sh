#!/usr/bin/env bash
# Explores: builds the libFuzzer harnesses (the fuzz preset, build-fuzz) and
# runs them one after the other, each for the time given over a copy of its
# corpus in tests/fuzz/corpus, so that the committed corpus stays as it is.
# After a finding the other harnesses still run, then the script fails; the
# input that caused it is kept in build-fuzz/findings. The test suite only
# replays the committed corpus; this is for people, for minutes or hours.
#
#   scripts/fuzz.sh [-t SECONDS] [-k DIR] [HARNESS...]
#
#   -t  time per harness (default 30)
#   -k  keep the grown corpus of each harness in DIR/<harness> and start the
#       next run from it (default: a scratch copy, removed afterwards)
# Without HARNESS, every harness of build-fuzz/fuzz runs.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=30
keep=
while getopts "t:k:" option; do
  case $option in
    t) seconds=$OPTARG ;;
    k) keep=$OPTARG ;;
    *) exit 2 ;;
  esac
done
shift $((OPTIND - 1))

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

bin=build-fuzz/fuzz
findings=build-fuzz/findings
if [ $# -eq 0 ]; then
  set -- $(cd "$bin" && ls fuzz_*)
fi
mkdir -p "$findings"

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# Leaks inside third-party libraries are listed in tests/lsan.supp.
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"

status=0
for harness in "$@"; do
  # Inputs as large as the largest file a harness needs to see whole.
  case $harness in
    fuzz_bank_image) max_len=100000 dict=srecord ;;
    fuzz_bank_merge) max_len=8192 dict=srecord ;;
    fuzz_workbook) max_len=16384 dict= ;;
    fuzz_integer_text|fuzz_mapping_csv|fuzz_bank_decoder) max_len=4096 dict= ;;
    fuzz_dbc_reader) max_len=16384 dict=dbc ;;
    fuzz_eds_reader) max_len=16384 dict=eds ;;
    fuzz_signal_file) max_len=16384 dict=signal_file ;;
    *) max_len=16384 dict=project_xml ;;
  esac
  if [ -n "$keep" ]; then
    corpus=$keep/$harness
    mkdir -p "$corpus"
  else
    corpus=$scratch/$harness
    mkdir -p "$corpus"
  fi
  cp -n tests/fuzz/corpus/"$harness"/* "$corpus"/ 2>/dev/null || true

  options=(-max_total_time="$seconds" -max_len="$max_len" -timeout=10 -rss_limit_mb=2048
           -print_final_stats=1 -artifact_prefix="$findings/$harness-")
  [ -n "$dict" ] && options+=(-dict=tests/fuzz/dict/$dict.dict)
  log=$scratch/$harness.log
  echo "== $harness: ${seconds} s over $(ls "$corpus" | wc -l) inputs" >&2
  if "$bin/$harness" "${options[@]}" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -1)
    echo "   ok: ${runs} runs, ${speed} exec/s, corpus $(ls "$corpus" | wc -l) inputs" >&2
  else
    status=1
    echo "   FINDING in $harness (inputs kept in $findings):" >&2
    grep -a -E "ERROR|PROPERTY|SUMMARY|Test unit written|==[0-9]+==" "$log" | head -20 >&2 || tail -30 "$log" >&2
    cp "$log" "$findings/$harness.log"
  fi
done
exit $status
