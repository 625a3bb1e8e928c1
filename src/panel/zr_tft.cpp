// Emulated controller: address window, cursor wrap, frame memory and fills.
#include "panel/zr_tft.h"

#include "panel/models.h"

#include <algorithm>
#include <bit>
#include <cstring>

int16_t TFTmodel = 0;
int16_t TFTwidth = 0;
int16_t TFTheight = 0;
int16_t TFTangle = 0;
uint16_t* frameMem = nullptr;
uint32_t frameMemPixels = 0;
uint16_t winX1 = 0, winX2 = 0, winY1 = 0, winY2 = 0;
uint16_t curX = 0, curY = 0;
uint8_t lineBuf[960];

namespace {
// Byte address of the pixel at the cursor, or null when the cursor lies
// outside the panel or the frame memory (such pixels are dropped).
uint8_t* wrPtr = nullptr;

uint8_t* pixelAddress(uint16_t x, uint16_t y) {
    if (!frameMem || x >= uint16_t(TFTwidth) || y >= uint16_t(TFTheight) || TFTwidth <= 0)
        return nullptr;
    uint32_t index = uint32_t(TFTwidth) * uint32_t(TFTheight - 1 - y) + x;
    if (index >= frameMemPixels) return nullptr;
    return reinterpret_cast<uint8_t*>(frameMem) + 2 * index;
}
} // namespace

PanelMutex& panelLock() {
    static PanelMutex lock;
    return lock;
}

void panelSize(int* width, int* height) {
    PanelGuard guard(panelLock());
    *width = TFTwidth;
    *height = TFTheight;
}

void setFrameMem(uint16_t* pixels, uint32_t pixelCount) {
    frameMem = pixels;
    frameMemPixels = pixels ? pixelCount : 0;
    wrPtr = nullptr;
}

void resetPanelState() {
    TFTmodel = TFTwidth = TFTheight = TFTangle = 0;
    setFrameMem(nullptr, 0);
    winX1 = winX2 = winY1 = winY2 = curX = curY = 0;
    resetTextState();
}

void gpio_put(int pin, int level) {
    if (pin == tftChipSelectPin) panelController().select(level);
}

void TFTinit(int16_t model) {
    TFTmodel = model;
    TFTangle = 0;
    if (const ModelInfo* info = modelInfo(model)) {
        TFTwidth = info->width;
        TFTheight = info->height;
    }
    panelController().geometry();
}

void setTFTangle(int16_t angle) {
    if (angle == 0 || angle == 90 || angle == 180 || angle == 270) {
        bool wasPortrait = TFTangle == 0 || TFTangle == 180;
        bool isPortrait = angle == 0 || angle == 180;
        if (wasPortrait != isPortrait) {
            int16_t w = TFTwidth;
            TFTwidth = TFTheight;
            TFTheight = w;
        }
        TFTangle = angle;
        panelController().geometry();
    }
    textX = 0;
    textY = 0;
    textH = 20;
}

void TFTwindow(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
    winX1 = curX = uint16_t(x1);
    winY1 = curY = uint16_t(y1);
    winX2 = uint16_t(x2);
    winY2 = uint16_t(y2);
    panelController().window(winX1, winY1, winX2, winY2);
}

namespace {
// ---- the emulated frame memory ----
void frameMemorySelect(int /*level*/) {}

void frameMemoryWindow(uint16_t /*x1*/, uint16_t /*y1*/, uint16_t /*x2*/, uint16_t /*y2*/) {
    wrPtr = pixelAddress(curX, curY);
}

// The longest side of any panel; a window inside the panel is never wider.
constexpr int maxPanelSide = int(sizeof lineBuf / 2);

// True when every pixel the window can receive lies inside the panel and the
// panel inside the frame memory, and the cursor is in the window: then whole
// rows can be written without a check per pixel.
bool windowInsidePanel() {
    return frameMem && TFTwidth > 0 && TFTheight > 0 &&
           uint32_t(TFTwidth) * uint32_t(TFTheight) <= frameMemPixels && winX1 <= winX2 &&
           winX2 < uint16_t(TFTwidth) && winY1 <= winY2 && winY2 < uint16_t(TFTheight) &&
           curX >= winX1 && curX <= winX2 && curY >= winY1 && curY <= winY2;
}

// Pixel pairs come high byte first; the frame memory holds them low byte
// first. Whole 16-bit words through memcpy let the compiler use vector swaps.
void copySwapped(uint8_t* __restrict to, const uint8_t* __restrict from, size_t pixels) {
    for (size_t i = 0; i < pixels; ++i) {
        uint16_t pair;
        std::memcpy(&pair, from + 2 * i, 2);
        if constexpr (std::endian::native == std::endian::little) pair = __builtin_bswap16(pair);
        std::memcpy(to + 2 * i, &pair, 2);
    }
}

// The checked path's result, a row run at a time: the cursor moves and wraps
// exactly as there. writeRun(first pixel, count) stores one run. Works on
// copies of the globals, which the pixel stores could otherwise alias.
template <typename WriteRun> void walkWindow(uint32_t pixels, WriteRun writeRun) {
    uint16_t* memory = frameMem;
    const uint32_t width = uint32_t(TFTwidth), lastRow = uint32_t(TFTheight) - 1;
    const uint16_t left = winX1, right = winX2, top = winY1, bottom = winY2;
    uint16_t x = curX, y = curY;
    while (pixels > 0) {
        uint32_t run = uint32_t(right - x) + 1;
        if (run > pixels) run = pixels;
        writeRun(memory + width * (lastRow - y) + x, run);
        pixels -= run;
        x = uint16_t(x + run);
        if (x > right) {
            x = left;
            y = y == bottom ? top : uint16_t(y + 1);
        }
    }
    curX = x;
    curY = y;
    wrPtr = pixelAddress(curX, curY);
}

void writeRows(const uint8_t* data, uint32_t pixels) {
    walkWindow(pixels, [&data](uint16_t* to, uint32_t run) {
        copySwapped(reinterpret_cast<uint8_t*>(to), data, run);
        data += 2 * run;
    });
}

// Fills count pixels with the stored value by copying what is already
// filled: the C library's copy uses wider stores than a per-pixel loop.
void fillBlock(uint16_t* block, size_t count, const uint16_t* row, size_t rowPixels) {
    size_t done = std::min(count, rowPixels);
    std::memcpy(block, row, 2 * done);
    while (done < count) {
        size_t more = std::min(done, count - done);
        std::memcpy(block + done, block, 2 * more);
        done += more;
    }
}

// write_buf's rows for a stream that repeats one colour.
void fillRows(uint16_t colour, uint32_t pixels) {
    static uint16_t row[maxPanelSide];
    const uint8_t bytes[2] = {uint8_t(colour), uint8_t(colour >> 8)};
    uint16_t stored;
    std::memcpy(&stored, bytes, 2);
    const uint32_t windowWidth = uint32_t(winX2 - winX1) + 1;
    std::fill_n(row, windowWidth, stored);
    // Rows as wide as the panel lie next to each other (bottom-up), so whole
    // rows from the cursor to the window's bottom edge are one block.
    const uint32_t width = uint32_t(TFTwidth), lastRow = uint32_t(TFTheight) - 1;
    if (windowWidth == width) {
        while (curX == 0 && pixels >= width) {
            uint32_t rows = std::min(pixels / width, uint32_t(winY2 - curY) + 1);
            uint16_t* block = frameMem + width * (lastRow - (curY + rows - 1));
            fillBlock(block, size_t(rows) * width, row, width);
            pixels -= rows * width;
            curY = uint16_t(curY + rows - 1) == winY2 ? winY1 : uint16_t(curY + rows);
        }
        wrPtr = pixelAddress(curX, curY);
    }
    walkWindow(pixels, [](uint16_t* to, uint32_t run) { std::memcpy(to, row, 2 * size_t(run)); });
}

// Streams pixel pairs (high byte first) into the window. The cursor wraps
// exactly as on the controller; pixels whose cursor lies outside the panel
// are dropped, so no window, however opened, reaches outside the frame memory.
// A trailing odd byte has no partner and is ignored.
void frameMemoryWrite(const uint8_t* data, uint32_t count) {
    if (windowInsidePanel()) {
        writeRows(data, count / 2);
        return;
    }
    for (uint32_t i = 0; i + 1 < count; i += 2) {
        if (wrPtr) {
            wrPtr[0] = data[i + 1];
            wrPtr[1] = data[i];
        }
        if (++curX > winX2 || curX == 0) {
            curX = winX1;
            if (++curY > winY2 || curY == 0) curY = winY1;
        }
        wrPtr = pixelAddress(curX, curY);
    }
}

void frameMemoryFill(uint16_t colour, uint32_t width, uint32_t rows) {
    if (windowInsidePanel())
        fillRows(colour, width * rows); // what the rows below would write
    else
        for (uint32_t row = 0; row < rows; ++row) frameMemoryWrite(lineBuf, 2 * width);
}

void frameMemoryGeometry() {}

constexpr PanelController frameMemory = {frameMemorySelect, frameMemoryWindow, frameMemoryWrite,
                                         frameMemoryFill, frameMemoryGeometry};
const PanelController* installed = &frameMemory;
} // namespace

const PanelController& frameMemoryController() {
    return frameMemory;
}

const PanelController& panelController() {
    return *installed;
}

void installPanelController(const PanelController* controller) {
    installed = controller ? controller : &frameMemory;
}

void write_buf(const uint8_t* data, uint32_t count) {
    panelController().write(data, count);
}

void TFTfill(uint16_t colour, int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
    if (x1 >= TFTwidth || y1 >= TFTheight) return;
    if (x2 >= TFTwidth) x2 = int16_t(TFTwidth - 1);
    if (y2 >= TFTheight) y2 = int16_t(TFTheight - 1);
    // The firmware checks only the right and bottom edges; clip the left and
    // top here and drop rectangles that end before they start.
    if (x1 < 0) x1 = 0;
    if (y1 < 0) y1 = 0;
    if (x2 < x1 || y2 < y1) return;
    int w = x2 - x1 + 1;
    int h = y2 - y1 + 1;
    PanelGuard guard(panelLock());
    gpio_put(tftChipSelectPin, 0);
    TFTwindow(x1, y1, x2, y2);
    for (int i = 0; i < w; ++i) {
        lineBuf[2 * i] = uint8_t(colour >> 8);
        lineBuf[2 * i + 1] = uint8_t(colour);
    }
    panelController().fill(colour, uint32_t(w), uint32_t(h));
    gpio_put(tftChipSelectPin, 1);
}

void TFTclear(uint16_t colour) {
    TFTfill(colour, 0, 0, int16_t(TFTwidth - 1), int16_t(TFTheight - 1));
}
