#!/bin/sh
# Installs everything the build and the tests need on Debian 12, as root.
# Idempotent: returns at once when every package is there.
set -eu

PACKAGES="g++ cmake make zlib1g-dev googletest libcli11-dev nlohmann-json3-dev
g++-mingw-w64-i686-posix binutils-mingw-w64-i686 libz-mingw-w64-dev
g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64
wine wine32:i386 wine64 qemu-user-static fonts-wine xvfb xauth icoutils openssl libssl-dev osslsigncode python3 locales
clang-14 libclang-rt-14-dev libfuzzer-14-dev ${LOCKBOX_EXTRA_PACKAGES:-}"

missing=""
for p in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0

echo "setup: installing$missing"
if [ "$(id -u)" != 0 ]; then
    echo "setup: packages are missing and this is not root (run as root or install:$missing)" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
# A mirror in the middle of a sync can fail one index ("File has unexpected
# size"); the lists that did arrive may still hold every package, so the
# install below decides.
for try in 1 2 3; do
    apt-get update -q && break
    echo "setup: apt-get update failed (try $try of 3)" >&2
    sleep 5
done
apt-get install -y -q --no-install-recommends $missing
