#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, ASan + UBSan) and runs each for
# SECONDS (default 60), after replaying the committed regression inputs.
#
#   scripts/fuzz.sh [SECONDS] [TARGET...]
#
# Needs clang-14, libclang-rt-14-dev and libfuzzer-14-dev. The working
# corpus grows under build/fuzz/corpus/<target> (seeded from
# tests/fuzz/corpus); crashing inputs land in build/fuzz/artifacts/.
# A crash ends the script with a non-zero status: fix it, then keep the
# input under tests/fuzz/regressions/<target>/ with a name that says what
# it found.
set -euo pipefail

ROOT="$(cd "$(dirname "$0")/.." && pwd)"
BUILD="${LOCKBOX_FUZZ_BUILD:-$ROOT/build/fuzz}"
SECONDS_EACH="${1:-60}"
shift || true
TARGETS=("$@")
# Every target by default: one per file tests/fuzz/fuzz_NAME.cpp, as the build makes them.
if [ ${#TARGETS[@]} -eq 0 ]; then
  for source in "$ROOT"/tests/fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    TARGETS+=("${name#fuzz_}")
  done
fi

CXX="${CXX_FUZZ:-$(command -v clang++-14 || command -v clang++)}"
CC="${CC_FUZZ:-$(command -v clang-14 || command -v clang)}"
# Several copies of this script may run at once (one per core): build under a lock.
mkdir -p "$BUILD"
(
  flock 9
  cmake -S "$ROOT/tests/fuzz" -B "$BUILD" -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_C_COMPILER="$CC" >/dev/null
  cmake --build "$BUILD" -j"$(nproc)" >/dev/null
) 9>"$BUILD/.build.lock"

# The sandboxes of the entry and round-trip targets write many small files:
# keep them in memory where possible.
if [ -z "${LOCKBOX_FUZZ_TMP:-}" ] && [ -d /dev/shm ] && [ -w /dev/shm ]; then
  export LOCKBOX_FUZZ_TMP=/dev/shm
fi

max_len() {
  case "$1" in
    layout) echo 32 ;;
    command_line) echo 4096 ;;
    roundtrip) echo 4096 ;;
    *) echo 65536 ;;
  esac
}

mkdir -p "$BUILD/artifacts"
status=0
summary=""
for t in "${TARGETS[@]}"; do
  bin="$BUILD/fuzz_$t"
  corpus="$BUILD/corpus/$t"
  mkdir -p "$corpus"
  regressions="$ROOT/tests/fuzz/regressions/$t"
  if [ -d "$regressions" ] && [ -n "$(ls -A "$regressions")" ]; then
    echo "== $t: replaying $(ls "$regressions" | wc -l) regression input(s)"
    "$bin" -runs=0 "$regressions"/* >"$BUILD/$t.replay.log" 2>&1 || {
      echo "   regression failed, see $BUILD/$t.replay.log"; status=1; continue; }
  fi
  echo "== $t: fuzzing for ${SECONDS_EACH}s"
  log="$BUILD/$t.log"
  if "$bin" -max_total_time="$SECONDS_EACH" -max_len="$(max_len "$t")" -timeout=30 \
       -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$t-" \
       "$corpus" "$ROOT/tests/fuzz/corpus/$t" >"$log" 2>&1; then
    execs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "$log" | awk '{print $2}')
    summary+="$t: ${execs:-?} execs, corpus $(ls "$corpus" | wc -l) files"$'\n'
  else
    echo "   CRASH or invariant broken, see $log and $BUILD/artifacts/"
    summary+="$t: FAILED"$'\n'
    status=1
  fi
done
printf '%s' "$summary"
exit $status
