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

// The panel lock owns the panel and text state, the frame memory and the
// module built around them (the module and panel bitmaps, the module file's
// name and times), and the settings a rebuild reads (Module, Touch, Angle).
// Every drawing operation, every reader of frameMem and every rebuild holds
// it. The interpreter takes it per command; the worker may call RedrawAA while
// holding it, so RedrawAA must only *request* a repaint (never paint or wait
// for the window thread). The window thread only ever tries it and comes back
// later, since a command may hold it while it waits on a slow board.
//
// Its type: a recursive mutex where there are threads; a build without
// threads can put a lock that does nothing here. Guards in the shared
// drawing and command code use PanelGuard.
#if VANTORIX_SINGLE_THREAD
struct PanelMutex {
    void lock() {}
    void unlock() {}
    bool try_lock() { return true; }
};
#else
using PanelMutex = std::recursive_mutex;
#endif
using PanelGuard = std::lock_guard<PanelMutex>;
PanelMutex& panelLock();

// TFTwidth and TFTheight read together under the panel lock, for threads
// that fit something to the panel while another may rebuild it.
void panelSize(int* width, int* height);

// Hands the driver its frame memory (pixels = capacity). Writes never leave it.
void setFrameMem(uint16_t* pixels, uint32_t pixelCount);
// Back to the start-up state: no model, no frame memory, default text state.
void resetPanelState();

// ---- the controller below the driver ----
// Everything the drawing above sends to the panel goes through these calls.
// Two implementations: the emulated frame memory (the default; see
// frameMemoryController) and a real controller on the SPI bus (panel/spi_controller.h).
struct PanelController {
    void (*select)(int level); // chip select line, low while a transfer runs
    // Opens the address window; the globals winX1..curY already hold it.
    void (*window)(uint16_t x1, uint16_t y1, uint16_t x2, uint16_t y2);
    void (*write)(const uint8_t* data, uint32_t count); // pixel pairs, high byte first
    // Writes `rows` rows of `width` pixels of one colour into the window just
    // opened; lineBuf already holds one such row.
    void (*fill)(uint16_t colour, uint32_t width, uint32_t rows);
    void (*geometry)(); // TFTmodel or TFTangle was set
};
// The controller installed now (the frame memory unless one was installed).
const PanelController& panelController();
// Installs a controller; null goes back to the frame memory. The caller
// holds the panel lock or runs before any other thread draws.
void installPanelController(const PanelController* controller);
const PanelController& frameMemoryController();

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
// A BMP drawn a stored row at a time as it arrives (bottom row first), for a
// board that cannot hold the whole file. Draws the same pixels as TFTbitmap
// with no skip.
struct BitmapRows {
    int32_t left, top, width, height; // panel rectangle shown; width 0: nothing shows
    int32_t firstRow;                 // image row (from the top) shown at `top`
    int32_t imageHeight;
    int bits;
    uint32_t rowBytes;     // stored row length with its padding
    uint32_t rowSkipBytes; // bytes at the start of each row left of what shows
    uint32_t rowUseBytes;  // bytes after those that TFTbitmapRow reads
    int firstInByte;       // pixels to pass over in the first byte used
};
// Reads the file's first `length` bytes (at least up to the pixel data) and
// loads the palette. 1 when the file is one TFTbitmap draws (it may still
// show nothing), 0 when it is refused.
int TFTbitmapRowsBegin(int16_t x, int16_t y, const uint8_t* headers, uint32_t length,
                       BitmapRows* rows);
// Draws stored row `stored` (0 is the bottom of the picture) if it shows;
// `row` points at its rowUseBytes bytes after rowSkipBytes.
void TFTbitmapRow(const BitmapRows& rows, uint32_t stored, const uint8_t* row);
// Draws pixels [from, to) of that row (counted from its left edge as shown),
// for a row whose bytes are still arriving; `row` as for TFTbitmapRow.
void TFTbitmapRowPart(const BitmapRows& rows, uint32_t stored, const uint8_t* row, int32_t from,
                      int32_t to);
void BMPdat2Linebuf(const uint8_t* row, int count);

// ---- start and demo screens ----
void Screen(unsigned n);
