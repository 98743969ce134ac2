// The background layout arithmetic of the main window, portable so that the
// host can test it.
#pragma once
#include <stdint.h>

// Largest background size used, in pixels, so no position or size overflows.
const uint32_t MAX_BACKGROUND = 32767;

struct LayoutResult {
    int32_t moveX, moveY;        // window moves by this (left/up are negative)
    int32_t growWidth, growHeight; // window grows by this
    int32_t shiftX, shiftY;      // every control moves by this
    bool moveControls;           // false for layout mode 0
};

// Computes the layout for a client area of clientWidth x clientHeight and
// the header's background size and layout mode. Limits *backgroundWidth and
// *backgroundHeight to MAX_BACKGROUND and raises them to the client size,
// storing both back. Call only when the background width is not 0.
LayoutResult ComputeLayout(int32_t clientWidth, int32_t clientHeight,
                           uint32_t* backgroundWidth, uint32_t* backgroundHeight,
                           uint8_t layoutMode);
