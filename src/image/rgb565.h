// The one RGB565 packing, shared by the command interpreter, the bitmap
// drawing and the image library.
#pragma once
#include <cstdint>

// RGB565 from 8-bit components. Values outside 0..255 behave as on the module
// (b is shifted as a signed value, so a negative b sets every low bit).
inline uint16_t rgb565(int r, int g, int b) {
    return uint16_t(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
}
