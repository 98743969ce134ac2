#!/bin/sh
# Configures and builds the configurations: win32 first (the host tool
# embeds the extractor stub built there), then win64 (the x86-64 Windows
# build the tests run under wine64), the host build and, with "asan", the
# sanitizer build of the host tests. With "tool", only the 32-bit extractor
# and the host tool (make install, make package); with "demo", that and,
# where 32-bit code can neither run nor be emulated, the x86-64 extractor
# the demo then runs; with "check", the 32-bit extractor and the whole host
# build (make check).
#
#   scripts/build.sh [asan|tool|demo|check]
set -eu
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
jobs=$(nproc)
mode=${1:-all}

configure() {  # DIR [CMAKE ARGUMENT...]
    dir=$1
    shift
    cmake -S "$top" -B "$build/$dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
}

configure win32 -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-i686.cmake" -DLOCKBOX_HOST_TOOL="$build/host/lockbox"
stub="$build/win32/lockbox-stub.exe"
configure host -DLOCKBOX_STUB="$stub"
if [ "$mode" = tool ] || [ "$mode" = demo ] || [ "$mode" = check ]; then
    cmake --build "$build/win32" -j "$jobs" --target lockbox_stub
    if [ "$mode" = tool ]; then
        cmake --build "$build/host" -j "$jobs" --target lockbox
    elif [ "$mode" = demo ]; then
        cmake --build "$build/host" -j "$jobs" --target lockbox
        # Where 32-bit code can neither run nor be emulated, the demo runs
        # the x86-64 extractor.
        if ! "$top/scripts/runs-i386" && ! "$top/scripts/emulates-i386"; then
            configure win64 -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" -DLOCKBOX_HOST_TOOL="$build/host/lockbox"
            cmake --build "$build/win64" -j "$jobs" --target lockbox_stub
        fi
    else
        cmake --build "$build/host" -j "$jobs"
    fi
    exit 0
fi
cmake --build "$build/win32" -j "$jobs"

configure win64 -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-x86_64.cmake" -DLOCKBOX_HOST_TOOL="$build/host/lockbox" \
    -DLOCKBOX_I686_STUB="$stub"
cmake --build "$build/win64" -j "$jobs"

cmake --build "$build/host" -j "$jobs"

if [ "$mode" = asan ]; then
    cmake -S "$top" -B "$build/asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DLOCKBOX_SANITIZE=ON \
          -DLOCKBOX_STUB="$stub" >/dev/null
    cmake --build "$build/asan" -j "$jobs"
fi
