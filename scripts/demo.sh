#!/bin/sh
# End-to-end demonstration: packs examples/sample with the host lockbox tool,
# lists the archive, runs it under Wine in unattended mode into a fresh
# folder, and compares what it restored with the sample.
#
# Usage: scripts/demo.sh [HOST_BUILD_DIR [WIN_BUILD_DIR]]
#   HOST_BUILD_DIR  holds the host lockbox tool   (default build/host; env LOCKBOX_HOST_BUILD)
#   WIN_BUILD_DIR   holds lockbox-stub.exe         (default build/win32; env LOCKBOX_WIN_BUILD)
# Env: LOCKBOX (the tool), LOCKBOX_STUB (the stub), LOCKBOX_STUB64 (the x86-64
# stub, used where 32-bit code can neither run nor be emulated), WINEPREFIX
# (default WIN_BUILD_DIR/wineprefix).
# Exit status 0 only when the restored tree matches the sample.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
host_build=${1:-${LOCKBOX_HOST_BUILD:-$root/build/host}}
win_build=${2:-${LOCKBOX_WIN_BUILD:-$root/build/win32}}
abs() { case $1 in /*) printf '%s\n' "$1" ;; *) printf '%s\n' "$PWD/$1" ;; esac; }
host_build=$(abs "$host_build")
win_build=$(abs "$win_build")
tool=${LOCKBOX:-$host_build/lockbox}
stub=${LOCKBOX_STUB:-$win_build/lockbox-stub.exe}
sample=$root/examples/sample
password='demo-password-for-the-sample'
: "${WINEPREFIX:=$win_build/wineprefix}"
WINEPREFIX=$(abs "$WINEPREFIX")
export WINEPREFIX

fail() { echo "demo: $*" >&2; exit 1; }
[ -x "$tool" ] || fail "no lockbox tool at $tool (build the host configuration first)"
[ -f "$stub" ] || fail "no extractor stub at $stub (build the win32 configuration first)"
command -v wine >/dev/null 2>&1 || fail "wine is not installed (run make setup)"

work=$(mktemp -d "${TMPDIR:-/tmp}/lockbox-demo.XXXXXX")
trap 'rm -rf "$work"' EXIT
archive=$work/sample.exe
dest=$work/restored
mkdir "$dest"

echo "== lockbox create: $sample -> $archive"
"$tool" create -q -o "$archive" -p "$password" --title "Lockbox demo" --stub "$stub" "$sample"
echo "   $(wc -c < "$archive") bytes"

echo "== lockbox list"
"$tool" list -p "$password" "$archive"

echo "== lockbox test"
"$tool" test -p "$password" "$archive"

# Wine maps / to Z:, and the extractor wants '\' separators.
wine_dest="Z:$(printf '%s' "$dest/" | tr '/' '\\')"
printf "== wine %s <password> '%s'\n" "$archive" "$wine_dest"
set +e
if "$root/scripts/runs-i386"; then
    "$root/scripts/wine-run" "$archive" "$password" "$wine_dest"
    rc=$?
elif ! "$root/scripts/emulates-i386"; then
    # No 32-bit code and no emulation (a container without user namespaces):
    # the same tree packed with the x86-64 extractor, run by wine64.
    win64_build=$(dirname "$win_build")/win64
    stub64=${LOCKBOX_STUB64:-$win64_build/lockbox-stub.exe}
    [ -f "$stub64" ] || fail "no x86-64 extractor at $stub64 (scripts/build.sh demo builds it here)"
    echo "   This machine runs no 32-bit programs and cannot emulate them: the archive"
    echo "   is packed again with the x86-64 extractor, which wine64 runs."
    "$tool" create -q -o "$archive" -p "$password" --title "Lockbox demo" --stub "$stub64" "$sample" ||
        fail "packing the sample with the x86-64 extractor failed"
    WINEPREFIX=${LOCKBOX_WINEPREFIX64:-$win64_build/wineprefix} \
        "$root/scripts/wine-run" --64 "$archive" "$password" "$wine_dest"
    rc=$?
else
    echo "   This machine runs no 32-bit programs, so the 32-bit extractor runs with"
    echo "   i386 code emulated (qemu-i386-static): making its Wine prefix and starting"
    echo "   it takes about 5 minutes. The result is the same as on Windows."
    WINEPREFIX=$win_build/wineprefix-emulated \
        "$root/scripts/wine-run-emulated" "$archive" "$password" "$wine_dest"
    rc=$?
fi
set -e
# Unattended runs end with the run's result; 1 is "all entries restored"
# (Wine failing to start gives 1 as well: the comparison below tells them apart).
echo "   extractor exit code $rc"
[ "$rc" -eq 1 ] || fail "the extractor failed with exit code $rc"

echo "== compare $dest/sample with $sample"
diff -r "$sample" "$dest/sample" || fail "restored files differ from the sample"
(cd "$sample" && find . -printf '%y %s %P\n' | grep -v '^d' | sort) > "$work/want"
(cd "$dest/sample" && find . -printf '%y %s %P\n' | grep -v '^d' | sort) > "$work/got"
(cd "$sample" && find . -type d | sort) > "$work/want-dirs"
(cd "$dest/sample" && find . -type d | sort) > "$work/got-dirs"
diff "$work/want" "$work/got" || fail "file sizes differ"
diff "$work/want-dirs" "$work/got-dirs" || fail "directories differ"
echo "   $(wc -l < "$work/want") files and $(wc -l < "$work/want-dirs") directories match"
echo "demo: OK"
