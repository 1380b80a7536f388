#!/usr/bin/env bash
# Breaks each gateway and log format rule in its one home, in a copy of the
# tree, builds the test programs that use it and prints which tests fail. A mutation that no
# test notices, or that only one direction notices, marks a part that does
# not take the rule from its home or a direction without a test.
#   scripts/mutate-rules.sh [SCRATCH_TREE]     (default /work/mut-tree)
#   MUTATE_ONLY="1 3" scripts/mutate-rules.sh  (those mutations only, counted from 1)
# The copy builds with ccache (CCACHE_BASEDIR above both trees), so only what
# a mutation touches is compiled again.
set -euo pipefail
src=$(cd "$(dirname "$0")/.." && pwd)
tree=${1:-/work/mut-tree}
default_targets="gateway_tests live_tests cli_tests signaldb_tests"
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$src")}

# name | file | sed script applied to that file [| test programs, when not the default ones]
mutations=(
  "lookup rule reversed (the earlier frame wins)|src/gateway/gateway_model.cpp|s/return frames.back();/return frames.front();/"
  "register halves swapped|src/project/pos_comp.h|/PosCompHigh(/s/posComp >> 4 & 0x0F/posComp \& 0x0F/;/PosCompLow(/s/(posComp & 0x0F)/(posComp >> 4 \& 0x0F)/|gateway_tests live_tests cli_tests editors_io_tests inspect_tests"
  "nibble to data byte reversed (B1 is the last byte)|src/project/pos_comp.h|/DataByteOfNibble(int nibble)/s/? nibble - 1 :/? 8 - nibble :/"
  "Dimensin bound off by one|src/project/pos_comp.h|s/return byte < length ? byte : -1;/return byte <= length ? byte : -1;/"
  "extended-id rule inverted|src/project/gateway_terms.h|/UsesExtendedIds(CanMode mode)/s/CanMode::Can20B/CanMode::Can20A/"
  "a PosComp made with its nibbles swapped|src/project/pos_comp.h|s/((high & 0x0F) << 4/((LOW \& 0x0F) << 4/;s/(low & 0x0F));/(high \& 0x0F));/;s/LOW/low/|editors_io_tests editors_tests"
  "CANType read as a whole number (256 is CAN 2.0B)|src/project/gateway_terms.h|s/return (value & 0xFF) == 0 ? CanMode::Can20A/return value == 0 ? CanMode::Can20A/|project_tests inspect_tests signaldb_tests cli_tests"
  "BLF time stamps in 10 us read as 1 ns|src/can/blf_objects.cpp|s/const bool tenMicros = U32(object, 16) == kTimeTenMicros;/const bool tenMicros = false;/|can_tests cli_tests"
  "TRC bus column from version 1.3 on, not 1.2|src/can/trc_lines.cpp|s/if (version_ >= 12) {/if (version_ >= 13) {/|can_tests cli_tests"
  "ASC CANFD line's classic remote frame read as data|src/can/asc_lines.cpp|s/if (!frame.fd \&\& (flags \& kAscFdRemote)) {/if (false) {/|can_tests cli_tests"
  "BLF objects placed at lines, not byte offsets|src/can/log_formats.cpp|s/LogPlace::ByteOffset, \"blf\"/LogPlace::Line, \"blf\"/|can_tests cli_tests"
  "play sends a time that goes back before the frame before|src/live/send_schedule.cpp|s/at = std::max(last_, wanted);/at = wanted;/|live_tests"
  "one-byte signals lose their exemption from the byte-order rule|src/signaldb/register_plan.cpp|s/if (FirstByte(s) == LastByte(s)) continue;/if (false) continue;/"
  "a signal shown while a half of its registers is unknown|src/gateway/signal_values.cpp|/(known >> signal.shift/s/return std::nullopt;/{}/"
  "signed values of 32 bits and more not sign-extended|src/signaldb/signal_codec.cpp|s/if (length < 64 \&\& (bits/if (length < 32 \&\& (bits/"
  "the PLC's sign bit only where the length is no multiple of 16|src/signaldb/register_plan.cpp|/^std::optional<int> SignBitOf/,/^}/s/return length - 1;/if (length % 16 == 0) return std::nullopt;\n    return length - 1;/"
  "a CAN FD message taken as a classic frame|src/signaldb/register_plan.cpp|/if (m.canFd) return Refusal::CanFd;/d"
  "transmit registers numbered over the receive ones|src/signaldb/import_numbering.cpp|s/std::set<std::int32_t> reserved = otherMapped;/std::set<std::int32_t> reserved;/"
  "rows taken back whatever bytes they map|src/signaldb/signal_import.cpp|s/bool all = posComp == posCompOfPlan(g, 0);/bool all = true;/|cli_tests signaldb_tests"
  "a frame picture's shapes written without their dashes|src/gateway/register_report.cpp|s/const std::string dash = s.dashed ?/const std::string dash = false ?/|gateway_tests"
)

mkdir -p "$tree"
(cd "$src" && tar --exclude='./build*' --exclude=./.git -cf - .) | (cd "$tree" && tar -xf -)
cd "$tree"
cmake --preset asan -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache >/dev/null

status=0
number=0
for entry in "${mutations[@]}"; do
  number=$((number + 1))
  if [ -n "${MUTATE_ONLY:-}" ] && [[ " $MUTATE_ONLY " != *" $number "* ]]; then continue; fi
  IFS='|' read -r name file script wanted <<<"$entry"
  read -r -a targets <<<"${wanted:-$default_targets}"
  cp "$src/$file" "$file"
  sed -i "$script" "$file"
  echo "== $number. $name ($file)"
  if cmp -s "$src/$file" "$file"; then
    echo "   not applied: the rule's text has moved"
    status=1
    continue
  fi
  if ! cmake --build --preset asan -j2 --target "${targets[@]}" >build.log 2>&1; then
    echo "   does not build (see $tree/build.log)"
    status=1
    cp "$src/$file" "$file"
    continue
  fi
  caught=0
  for t in "${targets[@]}"; do
    rc=0
    ASAN_OPTIONS=detect_leaks=0 "build-asan/tests/$t" >run.log 2>&1 || rc=$?
    failed=$(sed -n 's/^\[  FAILED  \] \([A-Za-z0-9_/]*\.[A-Za-z0-9_/]*\).*/\1/p' run.log | sort -u)
    if [ -n "$failed" ]; then
      caught=1
      echo "   $t: $(echo "$failed" | wc -l) failed: $(echo "$failed" | tr '\n' ' ')"
    elif [ "$rc" != 0 ]; then
      caught=1
      echo "   $t: stopped (exit $rc) $(grep -m1 -o 'ERROR: AddressSanitizer: [a-z-]*' run.log || true)"
    else
      echo "   $t: all pass"
    fi
  done
  [ "$caught" = 1 ] || { echo "   NOT CAUGHT"; status=1; }
  cp "$src/$file" "$file"
done
exit "$status"
