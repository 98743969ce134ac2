// The background layout on arbitrary sizes and modes: no undefined behaviour, values within 32767 and
// at least the client size, the window never shrinks, moves and shifts follow from the growth.
#include <string.h>

#include "fuzz/fuzz_common.h"
#include "ui/layout.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    uint8_t raw[17] = {0};
    memcpy(raw, data, size < sizeof raw ? size : sizeof raw);
    int32_t cw = (int32_t)LoadLE32(raw), ch = (int32_t)LoadLE32(raw + 4);
    uint32_t bw = LoadLE32(raw + 8), bh = LoadLE32(raw + 12);
    uint8_t mode = raw[16];
    uint32_t inW = bw, inH = bh;

    LayoutResult r = ComputeLayout(cw, ch, &bw, &bh, mode);

    // Client sizes a real window reports lie within the limit; beyond it the
    // stored value may follow the client (the window never shrinks).
    int64_t clientW = cw > 0 ? cw : 0, clientH = ch > 0 ? ch : 0;
    int64_t limitW = clientW > MAX_BACKGROUND ? clientW : MAX_BACKGROUND;
    int64_t limitH = clientH > MAX_BACKGROUND ? clientH : MAX_BACKGROUND;
    if ((int64_t)bw > limitW || (int64_t)bh > limitH) fuzz::Fail("stored size above the limit");
    if ((int64_t)bw < clientW || (int64_t)bh < clientH) fuzz::Fail("stored size below the client");
    if (inW >= clientW && inW <= MAX_BACKGROUND && bw != inW) fuzz::Fail("width changed needlessly");
    if (inH >= clientH && inH <= MAX_BACKGROUND && bh != inH) fuzz::Fail("height changed needlessly");
    if (r.growWidth != (int64_t)bw - clientW || r.growHeight != (int64_t)bh - clientH)
        fuzz::Fail("growth is not stored size minus client size");
    if (r.growWidth < 0 || r.growHeight < 0) fuzz::Fail("window shrinks");
    if (r.moveX != -(r.growWidth / 2) || r.moveY != -(r.growHeight / 2)) fuzz::Fail("window loses its centre");
    if (r.moveControls != (mode != 0)) fuzz::Fail("moveControls does not follow the mode");
    int32_t sx = mode ? r.growWidth / 2 : 0;
    int32_t sy = (mode == 0 || mode == 1) ? 0 : r.growHeight;
    if (r.shiftX != sx || r.shiftY != sy) fuzz::Fail("control shift does not follow the mode");
    // Positions built from these stay within 32-bit range for any window
    // position a screen can have (within +-2^30).
    int64_t right = (int64_t)(1 << 30) + r.growWidth + r.shiftX;
    if (right > INT32_MAX) fuzz::Fail("positions can overflow");
    return 0;
}
