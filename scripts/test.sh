#!/bin/sh
# Runs every test: host unit tests, the same under AddressSanitizer and
# UndefinedBehaviorSanitizer, and the Windows tests under Wine and Xvfb.
# Each step is named; the script fails when any step fails.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
status=0

step() { printf '\n==== %s ====\n' "$1"; }

step "set-up"
"$top/scripts/setup.sh"

step "build (win32, host, sanitizers)"
"$top/scripts/build.sh" asan

step "host tests"
ctest --test-dir "$build/host" --output-on-failure -j "$(nproc)" || status=1

step "sanitizer tests"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$build/asan" --output-on-failure -j "$(nproc)" || status=1

step "fuzzing (${LOCKBOX_FUZZ_SECONDS:-60} s per target, two at a time)"
fuzz_seconds=${LOCKBOX_FUZZ_SECONDS:-60}
"$top/scripts/fuzz.sh" "$fuzz_seconds" entries roundtrip header > "$build/fuzz-a.log" 2>&1 &
fuzz_a=$!
"$top/scripts/fuzz.sh" "$fuzz_seconds" command_line layout > "$build/fuzz-b.log" 2>&1 || status=1
wait $fuzz_a || status=1
cat "$build/fuzz-a.log" "$build/fuzz-b.log"

step "Windows tests under Wine"
export WINEPREFIX="$build/win32/wineprefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
[ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1 || true
xvfb-run -a ctest --test-dir "$build/win32" --output-on-failure || status=1

exit $status
