#!/bin/sh
# A short run of the real 32-bit extractor on a machine that runs no 32-bit
# programs: packs examples/sample with the host tool (which embeds the i686
# extractor) into a setup.exe signed with a throw-away certificate (the
# entries must end where the signature begins, and the name must ask for no
# elevation), then runs it unattended under emulation
# (scripts/wine-run-emulated) twice:
#   1. the right password into a new folder: exit code 1, tree equal to the sample;
#   2. a wrong password: exit code -2 (254 as the shell sees it), nothing restored.
# The last line is "smoke under emulation P/2"; the exit status is 0 only
# when both checks pass. A run that cannot start, or takes longer than
# LOCKBOX_SMOKE_MINUTES (default 15) minutes, fails its check.
#
#   scripts/smoke-i386.sh [HOST_BUILD_DIR [WIN_BUILD_DIR]]
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
host_build=${1:-$root/build/host}
win_build=${2:-$root/build/win32}
tool=$host_build/lockbox
stub=$win_build/lockbox-stub.exe
password='smoke-test-password'
limit=$(( ${LOCKBOX_SMOKE_MINUTES:-15} * 60 ))

fail() { echo "smoke: $*" >&2; echo "smoke under emulation 0/2"; exit 1; }
[ -x "$tool" ] || fail "no lockbox tool at $tool"
[ -f "$stub" ] || fail "no extractor at $stub"
work=$(mktemp -d "${TMPDIR:-/tmp}/lockbox-smoke.XXXXXX")
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
    -subj "/CN=Lockbox Smoke Test" 2>/dev/null || fail "openssl could not make a certificate"
"$tool" create -q -o "$work/setup.exe" -p "$password" --stub "$stub" --sign-cert "$work/cert.pem" \
    --sign-key "$work/key.pem" "$root/examples/sample" || fail "lockbox create failed"
export WINEPREFIX="$win_build/wineprefix-emulated"

# Runs the archive with PASSWORD into $work/NAME; prints the exit code as
# the shell sees it (the low 8 bits of the extractor's result).
run() {  # NAME PASSWORD
    start=$(date +%s)
    dest="Z:$(printf '%s' "$work/$1/" | tr '/' '\\')"
    set +e
    timeout --kill-after=30 "$limit" "$root/scripts/wine-run-emulated" "$work/setup.exe" "$2" "$dest" >&2
    rc=$?
    set -e
    echo "smoke: $1 password: exit code $rc after $(( $(date +%s) - start )) s" >&2
    echo "$rc"
}

passed=0
rc=$(run right "$password")
if [ "$rc" = 1 ] && diff -r "$root/examples/sample" "$work/right/sample"; then
    passed=$((passed + 1))
else
    echo "smoke: want exit code 1 and the sample restored" >&2
fi
rc=$(run wrong "not-the-password")
if [ "$rc" = 254 ] && [ ! -e "$work/wrong/sample" ]; then
    passed=$((passed + 1))
else
    echo "smoke: want exit code 254 (-2) and nothing restored" >&2
fi
echo "smoke under emulation $passed/2"
[ "$passed" = 2 ]
