#!/bin/sh
# Signed archives under Wine: one signed after it was made (osslsigncode) and, with a host
# lockbox, one signed by `lockbox create` as setup.exe restore as an unsigned one; a byte changed
# after signing fails the check and is damage of that entry (-4), the entries before it restored.
#
#   signed_archives.sh WINDOWS_LOCKBOX HOST_LOCKBOX|"" RUNNER...
# RUNNER runs a Windows program (scripts/wine-run [--64]); exit 77 (skipped) without osslsigncode.
set -eu
. "$(dirname "$0")/checks.sh"
win_tool=$1
host_tool=$2
shift 2
command -v osslsigncode >/dev/null && command -v openssl >/dev/null ||
    { echo "osslsigncode or openssl missing: skipped"; exit 77; }
enter_work signed
password=signed-archive-test

verifies() { osslsigncode verify -CAfile cert.pem -in "$1" >/dev/null 2>&1; }
fails_verification() { ! verifies "$1"; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
    -subj "/CN=Lockbox Wine Test" 2>/dev/null
mkdir -p in/sub
printf 'alpha\n' > in/a.txt
: > in/empty.txt
head -c 300000 /dev/urandom > in/sub/last.bin   # the last entry: its data ends at the table

run() {  # EXE OUT: restores EXE unattended into a new folder OUT; rc is its exit status
    mkdir "$2"
    status $runner "./$1" "$password" "$2" >/dev/null 2>&1 </dev/null
}
runner="$*"

$runner "$win_tool" create -q -p "$password" -o plain.exe in
osslsigncode sign -certs cert.pem -key key.pem -in plain.exe -out after.exe >/dev/null
signed="after.exe"
if [ -n "$host_tool" ]; then
    "$host_tool" create -q -p "$password" --sign-cert cert.pem --sign-key key.pem -o setup.exe in
    signed="$signed setup.exe"
else
    cp after.exe setup.exe   # the name alone must not ask for elevation
fi

run plain.exe out-plain
check "unsigned archive ends cleanly (exit 1)" [ "$rc" = 1 ]
for exe in $signed; do
    check "$exe verifies" verifies "$exe"
    run "$exe" "out-$exe"
    check "$exe restores everything (exit 1)" [ "$rc" = 1 ]
    check "$exe gives the same tree" diff -r in "out-$exe/in"
done
if [ -z "$host_tool" ]; then
    run setup.exe out-setup
    check "setup.exe starts and restores (exit 1)" [ "$rc" = 1 ]
fi

# One byte of the last file's data changed, 40 bytes before the certificate table
# (data directory 4: 96 bytes into a PE32 optional header, 112 into a PE32+ one).
optional=$(( $(u 4 60 after.exe) + 24 ))
directories=$(( optional + 96 ))
[ "$(pe_magic after.exe)" = 523 ] && directories=$(( optional + 112 ))
table=$(u 4 $(( directories + 32 )) after.exe)
cp after.exe changed.exe
byte=$(( $(u 1 $((table - 40)) changed.exe) ^ 32 ))
printf "$(printf '\\%03o' "$byte")" | dd of=changed.exe bs=1 seek=$((table - 40)) conv=notrunc 2>/dev/null
check "changed.exe fails verification" fails_verification changed.exe
run changed.exe out-changed
check "changed.exe reports damage (exit -4)" [ "$rc" = 252 ]
check "changed.exe restores the entries before it" diff in/a.txt out-changed/in/a.txt
check "changed.exe leaves nothing of the damaged file" [ ! -e out-changed/in/sub/last.bin ]

finish "signed archives"
