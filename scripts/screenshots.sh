#!/bin/sh
# Takes the pictures of the extractor's windows in docs/: the main window
# plain and over a background picture in each layout, a result message,
# the folder chooser, the overwrite question and a run in progress.
#
# Builds the stub, the Windows lockbox tool and the screenshot program
# (scripts/window_screenshots.cpp, on the Windows tests' window driver) in
# BUILD (default build/window-win), makes the archives with the tool, and
# lets its disabled test DISABLED_WindowScreenshots photograph the real
# stub under Xvfb + Wine (own WINEPREFIX inside BUILD). ImageMagick turns
# the pictures into PNG.
#
# usage: scripts/screenshots.sh [BUILD]
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-$ROOT/build/window-win}
DOCS=$ROOT/docs
WORK=$BUILD/screenshots
WINE_RUN=$ROOT/scripts/wine-run
# A prefix of its own: it draws window frames itself (no window manager
# under Xvfb), which the tests do not want.
export WINEPREFIX="$BUILD/wineprefix-shots"
# The real ImageMagick, whatever else is first on the PATH.
CONVERT=/usr/bin/convert
[ -x "$CONVERT" ] || CONVERT=convert

if [ ! -f "$BUILD/CMakeCache.txt" ]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-i686.cmake" >/dev/null
fi
cmake --build "$BUILD" --target lockbox_stub lockbox window_screenshots -j2 >/dev/null

rm -rf "$WORK"
mkdir -p "$WORK" "$DOCS"
cd "$WORK"

# The background, 420 x 260, as a 24-bit bitmap: a pale evening sky, a sun,
# hills, and a light meadow at the bottom, so that the label reads well
# with the controls at the top and at the bottom.
"$CONVERT" -size 420x260 gradient:'#cfe0f4'-'#f6e3c3' \
    -fill '#fff6dc' -stroke '#f2c879' -draw 'circle 340,62 340,36' -stroke none \
    -fill '#8fa9c4' -draw 'polygon 0,190 0,150 70,122 150,152 240,116 320,148 420,128 420,190' \
    -fill '#6f9a72' -draw 'polygon 0,200 0,172 110,150 210,178 300,158 420,176 420,200' \
    -fill '#eef0d8' -draw 'rectangle 0,186 420,260' \
    -type TrueColor BMP3:background.bmp

printf 'Day one at the lake.\r\n' > a.txt
printf 'Day two in the hills.\r\n' > b.txt

create() {
    "$WINE_RUN" "$BUILD/lockbox.exe" create -q -p secret --title "Holiday photos" \
        --stub "$BUILD/lockbox-stub.exe" "$@" a.txt b.txt
}
create -o plain.exe
create -o bg_none.exe --background background.bmp --layout none
create -o bg_top.exe --background background.bmp --layout top
create -o bg_bottom.exe --background background.bmp --layout bottom
# Enough files for a run that lasts a few seconds, for the progress picture.
mkdir photos
i=0
while [ $i -lt 1500 ]; do
    head -c 4000 /dev/zero | tr '\0' 'x' > "photos/IMG_$((4000 + i)).txt"
    i=$((i + 1))
done
"$WINE_RUN" "$BUILD/lockbox.exe" create -q -p secret --title "Holiday photos" \
    --stub "$BUILD/lockbox-stub.exe" -o long.exe photos

# Wine draws the window frames and captions itself.
"$WINE_RUN" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null
# The Wine processes started above have no display; let them end so that
# the windows below go to the Xvfb display.
wineserver -w

LOCKBOX_SHOTS="Z:$(printf '%s' "$WORK" | tr / '\\')"
export LOCKBOX_SHOTS
xvfb-run -a -s "-screen 0 1024x768x24" "$WINE_RUN" "$BUILD/window_screenshots.exe" \
    --gtest_also_run_disabled_tests --gtest_filter='DISABLED_WindowScreenshots.*'

for shot in *.bmp; do
    [ "$shot" = background.bmp ] && continue
    "$CONVERT" "$shot" "$DOCS/${shot%.bmp}.png"
    echo "docs/${shot%.bmp}.png"
done
