// Text state and rendering with the embedded ZPF fonts.
#include "panel/zr_tft.h"

int16_t textX = 0, textY = 0, textH = 0;
uint16_t fgColor = 0xFFFF, bgColor = 0x0000;
int16_t zoomX = 1, zoomY = 1;
const uint8_t* fontBody = nullptr;
uint8_t bitRow[480];

void resetTextState() {
    textX = textY = textH = 0;
    fgColor = 0xFFFF;
    bgColor = 0x0000;
    zoomX = zoomY = 1;
    fontBody = nullptr;
}

void setTFTcolor(uint16_t foreground, uint16_t background) {
    fgColor = foreground;
    bgColor = background;
}

void setTFTtextXYH(int16_t x, int16_t y, int16_t lineAdvance) {
    textX = x;
    textY = y;
    textH = lineAdvance;
}

// Fonts and glyph drawing arrive with the embedded font set.
void setTFTfont(int16_t, int16_t, int16_t) {}
void TFTtext(int16_t, int16_t, const char*) {}
uint16_t GetZPFcharIndex(uint16_t) { return 0xFFFF; }
void getlinedat(uint8_t*, const uint8_t*, int, int) {}
uint8_t mirror(uint8_t b) { return b; }
void zoombyte(uint8_t*, uint8_t, int) {}
int getHexvalue(int c) { return c; }
