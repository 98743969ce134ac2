#!/bin/sh
# Runs every test: host unit tests, the same under AddressSanitizer and
# UndefinedBehaviorSanitizer, fuzzing, and the Windows tests under Wine and
# Xvfb. The Windows tests run twice where they can: the x86-64 build under
# wine64 on every machine, the 32-bit build (the extractor that ships) where
# the machine runs 32-bit programs. Where it does not, the real 32-bit
# extractor gets a short smoke run under emulation instead
# (scripts/smoke-i386.sh). LOCKBOX_ASSUME_NO_I386=1 takes that path anyway.
# Each step is named; the last line sums up the Windows side; the script
# fails when any step fails.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
status=0

step() { printf '\n==== %s ====\n' "$1"; }

# Runs the ctest suite of a Windows build under Xvfb with the Wine loader
# $2; sets `counts` to "passed/total" from ctest's summary ("0/0" when it
# never got that far).
# One wineserver stays up for the whole suite. Left to itself it exits as soon
# as the last Wine program ends, and a test that starts while it shuts down
# fails at once ("wine client error:0: recvmsg: Connection reset by peer").
# Wine's own background programs (services, the desktop) are started first,
# with no terminal: they live as long as the server, and had a test started
# them they would hold that test's output open and ctest would wait for it.
# A test that still hangs is stopped after 20 minutes.
windows_suite() {
    log=$build/$1-ctest.log
    xvfb-run -a sh -c 'wineserver -k 2>/dev/null; wineserver -p
        "$2" cmd /c exit </dev/null >/dev/null 2>&1
        ctest --test-dir "$1" --output-on-failure --timeout 1200; rc=$?
        wineserver -k 2>/dev/null; exit $rc' sh "$build/$1" "$2" 2>&1 | tee "$log"
    ok=$(sed -n 's/^[0-9]*% tests passed, \([0-9]*\) tests* failed out of \([0-9]*\)$/\1 \2/p' "$log")
    if [ -n "$ok" ]; then
        set -- $ok
        counts="$(($2 - $1))/$2"
        [ "$1" = 0 ] || status=1
    else
        counts="0/0"
        status=1
    fi
}

step "set-up"
"$top/scripts/setup.sh"

step "build (win32, win64, host, sanitizers)"
"$top/scripts/build.sh" asan

step "host tests"
ctest --test-dir "$build/host" --output-on-failure -j "$(nproc)" || status=1

step "sanitizer tests"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir "$build/asan" --output-on-failure -j "$(nproc)" || status=1

step "fuzzing (${LOCKBOX_FUZZ_SECONDS:-60} s per target, two at a time)"
fuzz_seconds=${LOCKBOX_FUZZ_SECONDS:-60}
# Every target (one per tests/fuzz/fuzz_NAME.cpp), dealt out to two runs.
half_a="" half_b=""
for source in "$top"/tests/fuzz/fuzz_*.cpp; do
    name=$(basename "$source" .cpp)
    half_a="$half_a ${name#fuzz_}"
    swap=$half_a half_a=$half_b half_b=$swap
done
# shellcheck disable=SC2086
"$top/scripts/fuzz.sh" "$fuzz_seconds" $half_a > "$build/fuzz-a.log" 2>&1 &
fuzz_a=$!
# shellcheck disable=SC2086
"$top/scripts/fuzz.sh" "$fuzz_seconds" $half_b > "$build/fuzz-b.log" 2>&1 || status=1
wait $fuzz_a || status=1
cat "$build/fuzz-a.log" "$build/fuzz-b.log"

. "$top/scripts/wine-env.sh"

step "Windows tests, x86-64 build, under wine64"
export WINEPREFIX="$build/win64/wineprefix" WINEARCH=win64
[ -d "$WINEPREFIX" ] || /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1 || true
windows_suite win64 /usr/lib/wine/wine64
summary="Windows: x86-64 suite $counts"
unset WINEARCH

if "$top/scripts/runs-i386"; then
    step "Windows tests, 32-bit build, under Wine"
    export WINEPREFIX="$build/win32/wineprefix"
    [ -d "$WINEPREFIX" ] || wineboot -i >/dev/null 2>&1 || true
    windows_suite win32 wine
    summary="$summary; 32-bit extractor: full suite $counts"
else
    step "32-bit extractor: smoke run under emulation (this machine runs no 32-bit code)"
    # The size and imports check needs no Wine.
    ctest --test-dir "$build/win32" -R '^stub_size_and_imports$' --output-on-failure || status=1
    smoke_log=$build/smoke-i386.log
    "$top/scripts/smoke-i386.sh" "$build/host" "$build/win32" 2>&1 | tee "$smoke_log"
    smoke=$(sed -n 's/^smoke under emulation \([0-9]*\/[0-9]*\).*/\1/p' "$smoke_log" | tail -n 1)
    [ "$smoke" = "2/2" ] || status=1
    summary="$summary; 32-bit extractor: smoke under emulation ${smoke:-0/2} (this machine runs no 32-bit code)"
fi

step "summary"
[ "$status" = 0 ] && result=passed || result=FAILED
echo "$summary; all steps $result"
exit $status
