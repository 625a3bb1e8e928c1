// Panel driver: the module firmware's display driver run against an emulated
// controller. Pixels go into frameMem (RGB565 little-endian, rows bottom-up,
// coordinates of the current orientation).
#pragma once
#include "image/rgb565.h"

#include <cstdint>
#include <mutex>

// ---- panel state ----
extern int16_t TFTmodel;
extern int16_t TFTwidth;
extern int16_t TFTheight;
extern int16_t TFTangle;
extern uint16_t* frameMem;      // supplied by the window side
extern uint32_t frameMemPixels; // capacity of frameMem in pixels
extern uint16_t winX1, winX2, winY1, winY2;
extern uint16_t curX, curY;
extern uint8_t lineBuf[960]; // one row of up to 480 pixels, high byte first

// ---- text state ----
extern int16_t textX, textY, textH;
extern uint16_t fgColor, bgColor;
extern int16_t zoomX, zoomY;
extern const uint8_t* fontBody;
extern uint8_t bitRow[480];

// ---- bitmap state ----
extern uint16_t bmpPalette[256];
extern const uint8_t* bmpCurrent;

// Every drawing operation and every reader of frameMem holds this lock.
// The interpreter takes it per command; the worker may call RedrawAA while
// holding it, so RedrawAA must only *request* a repaint (never paint or wait
// for the window thread). The paint side takes it with try_lock: when the
// worker holds it, the paint handler re-invalidates the panel area and
// returns, and paints on the next WM_PAINT. That way no thread ever waits for
// the other while holding the lock.
std::recursive_mutex& panelLock();

// Hands the driver its frame memory (pixels = capacity). Writes never leave it.
void setFrameMem(uint16_t* pixels, uint32_t pixelCount);
// Back to the start-up state: no model, no frame memory, default text state.
void resetPanelState();

// ---- controller and fills ----
void TFTinit(int16_t model);
void setTFTangle(int16_t angle);
void TFTwindow(int16_t x1, int16_t y1, int16_t x2, int16_t y2);
void write_buf(const uint8_t* data, uint32_t count);
// The controller's chip select line: every drawing operation holds it low
// (gpio_put(tftChipSelectPin, 0)) while its transfer runs.
constexpr int tftChipSelectPin = 5;
void gpio_put(int pin, int level);
void TFTfill(uint16_t colour, int16_t x1, int16_t y1, int16_t x2, int16_t y2);
void TFTclear(uint16_t colour);

// ---- text ----
void setTFTfont(int16_t font, int16_t zoomx, int16_t zoomy);
void setTFTcolor(uint16_t foreground, uint16_t background);
void setTFTtextXYH(int16_t x, int16_t y, int16_t lineAdvance);
void TFTtext(int16_t x, int16_t y, const char* text);
uint16_t GetZPFcharIndex(uint16_t code);
void getlinedat(uint8_t* out, const uint8_t* glyphRow, int bytesPerRow, int zoom);
uint8_t mirror(uint8_t b);
void zoombyte(uint8_t* out, uint8_t b, int zoom);
int getHexvalue(int c);
// Restores the text state that a new driver has (font, colours, zoom, cursor).
void resetTextState();

// ---- bitmaps ----
// bmp is a complete BMP file image; its bfSize bounds every read.
void TFTbitmap(int16_t x, int16_t y, const uint8_t* bmp, int16_t skipX, int16_t skipY);
void BMPdat2Palette(const uint8_t* pixels);
void BMPdat2Linebuf(const uint8_t* row, int count);

// ---- start and demo screens ----
void Screen(unsigned n);
