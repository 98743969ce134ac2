#!/bin/sh
# Either tool with either extractor: the host tool packs with this build's x86-64 extractor and
# that restores under Wine; lockbox.exe packs with its own and the 32-bit one, and the host tool
# lists, tests and extracts both.
#
#   stub_kinds.sh WINDOWS_LOCKBOX HOST_LOCKBOX X86_64_STUB I686_STUB RUNNER...
# RUNNER runs a Windows program (scripts/wine-run --64); exit 77 (skipped) without the host
# tool or the 32-bit extractor.
set -eu
. "$(dirname "$0")/checks.sh"
win_tool=$1
host_tool=$2
stub64=$3
stub32=$4
shift 4
runner="$*"
[ -x "$host_tool" ] && [ -f "$stub32" ] || { echo "host tool or 32-bit extractor missing: skipped"; exit 77; }
enter_work kinds
password=stub-kinds-test
mkdir -p in/sub
printf 'alpha\n' > in/a.txt
head -c 300000 /dev/urandom > in/sub/b.bin

"$host_tool" create -q -p "$password" --key-rounds 1000 --stub "$stub64" -o host64.exe in
check "the host tool packs with the x86-64 extractor" [ "$(pe_magic host64.exe)" = 523 ]
mkdir out-host64
status $runner ./host64.exe "$password" "$(win "$work/out-host64")" >/dev/null 2>&1 </dev/null
check "that archive restores under Wine (exit 1)" [ "$rc" = 1 ]
check "and gives the same tree" diff -r in out-host64/in

$runner "$win_tool" create -q -p "$password" --key-rounds 1000 -o own.exe in
$runner "$win_tool" create -q -p "$password" --key-rounds 1000 --stub "$(win "$stub32")" -o other.exe in
check "lockbox.exe packs with its own x86-64 extractor" [ "$(pe_magic own.exe)" = 523 ]
check "lockbox.exe packs with the 32-bit extractor" [ "$(pe_magic other.exe)" = 267 ]
for exe in own.exe other.exe; do
    check "host tool lists $exe" quietly "$host_tool" list -p "$password" "$exe"
    check "host tool tests $exe" quietly "$host_tool" test -p "$password" "$exe"
    "$host_tool" extract -q -p "$password" -o "out-$exe" "$exe"
    check "host tool extracts $exe" diff -r in "out-$exe/in"
    check "lockbox.exe tests $exe" quietly $runner "$win_tool" test -p "$password" "$exe"
done

finish "stub kinds"
