#!/bin/sh
# Configures and builds both configurations: win32 first (the host tool
# embeds the extractor stub built there), then the host build, and, with
# "asan", the sanitizer build of the host tests.
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
jobs=$(nproc)

cmake -S "$top" -B "$build/win32" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build/win32" -j "$jobs"

stub="$build/win32/lockbox-stub.exe"
cmake -S "$top" -B "$build/host" -DCMAKE_BUILD_TYPE=Release -DLOCKBOX_STUB="$stub" >/dev/null
cmake --build "$build/host" -j "$jobs"

if [ "${1:-}" = asan ]; then
    cmake -S "$top" -B "$build/asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLOCKBOX_SANITIZE=ON \
          -DLOCKBOX_STUB="$stub" >/dev/null
    cmake --build "$build/asan" -j "$jobs"
fi
