# Sourced by the bench scripts: builds the 32-bit extractor (build/bench-win)
# and the host tool that embeds it (build/bench-host), with any further host
# TARGETs, and sets WIN, HOST, STUB and LOCKBOX. Needs ROOT and JOBS.
#
#   . "$ROOT/bench/build.sh" [TARGET...]
WIN="$ROOT/build/bench-win"
HOST="$ROOT/build/bench-host"
STUB="$WIN/lockbox-stub.exe"
LOCKBOX="$HOST/lockbox"
cmake -S "$ROOT" -B "$WIN" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$WIN" --target lockbox_stub -j "$JOBS" >/dev/null
cmake -S "$ROOT" -B "$HOST" -DCMAKE_BUILD_TYPE=Release -DLOCKBOX_STUB="$STUB" >/dev/null
cmake --build "$HOST" --target lockbox "$@" -j "$JOBS" >/dev/null
