// Drawing of BMP file images on the panel.
#include "panel/zr_tft.h"

uint16_t bmpPalette[256];
const uint8_t* bmpCurrent = nullptr;

// Bitmap drawing arrives with the panel bitmap support.
void TFTbitmap(int16_t, int16_t, const uint8_t*, int16_t, int16_t) {}
void BMPdat2Palette(const uint8_t*) {}
void BMPdat2Linebuf(const uint8_t*, int) {}
