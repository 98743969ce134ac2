// Background layout arithmetic of the main window.
#include "ui/layout.h"

LayoutResult ComputeLayout(int32_t clientWidth, int32_t clientHeight,
                           uint32_t* backgroundWidth, uint32_t* backgroundHeight,
                           uint8_t layoutMode) {
    // A client rectangle is never negative; treat a broken one as empty.
    uint32_t cw = clientWidth > 0 ? (uint32_t)clientWidth : 0;
    uint32_t ch = clientHeight > 0 ? (uint32_t)clientHeight : 0;

    // Limit first, so that no position or size below can overflow, then
    // raise to the client size: the window never shrinks.
    uint32_t bw = *backgroundWidth > MAX_BACKGROUND ? MAX_BACKGROUND : *backgroundWidth;
    uint32_t bh = *backgroundHeight > MAX_BACKGROUND ? MAX_BACKGROUND : *backgroundHeight;
    if (bw < cw) bw = cw;
    if (bh < ch) bh = ch;
    *backgroundWidth = bw;
    *backgroundHeight = bh;

    LayoutResult r;
    int32_t dw = (int32_t)(bw - cw);
    int32_t dh = (int32_t)(bh - ch);
    // The window keeps its centre; of an odd growth the extra pixel goes to
    // the right or bottom side.
    r.moveX = -(dw / 2);
    r.moveY = -(dh / 2);
    r.growWidth = dw;
    r.growHeight = dh;
    // Mode 0: controls stay at the top left. Mode 1: centred horizontally,
    // at the top. Any other mode: centred, keeping their distance from the
    // bottom edge.
    r.moveControls = layoutMode != 0;
    r.shiftX = r.moveControls ? dw / 2 : 0;
    r.shiftY = (r.moveControls && layoutMode != 1) ? dh : 0;
    return r;
}
