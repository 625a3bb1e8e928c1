// Drawing of BMP file images on the panel.
//
// The image arrives as a complete BMP file in memory whose size field (offset
// 2) is the length of the buffer: the inline bitmaps of a command file have
// been checked against the text, the other callers pass exact images. Every
// read is kept inside [bmp, bmp + size); a file whose headers, palette or
// pixel rows do not fit in that size draws nothing.
#include "panel/zr_tft.h"

#include "image/dib.h"

uint16_t bmpPalette[256];
const uint8_t* bmpCurrent = nullptr;

namespace {
constexpr uint32_t fileHeaderBytes = 14;
constexpr uint32_t minHeaderBytes = fileHeaderBytes + 40; // the fields we read end at 50
constexpr int lineBufPixels = int(sizeof lineBuf / 2);

// What the drawing needs to know about a BMP, taken from its headers once
// they have been found consistent with the buffer.
struct BmpLayout {
    uint32_t fileSize;
    uint32_t pixelOffset;
    int32_t width;
    int32_t height;
    int bits;
    uint32_t rowBytes;
    uint32_t paletteEntries; // 0 for 16 and 24 bits
};

// Fills the layout and returns 1 for a file this driver can draw, else 0.
// Refused: no "BM", a size below the two headers, an information header
// shorter than 40 bytes, a top-down or empty image, a depth/compression pair
// without a conversion (2 bits, 16 bits without bit fields, 32 bits, RLE...),
// more than 256 palette entries, a palette reaching into the headers, and
// pixel rows that end beyond the file.
int bmpLayout(const uint8_t* bmp, BmpLayout& out) {
    if (!bmp || bmp[0] != 'B' || bmp[1] != 'M') return 0;
    out.fileSize = rdLE32(bmp + 2);
    if (out.fileSize < minHeaderBytes) return 0;
    if (rdLE32(bmp + 14) < 40) return 0;
    out.pixelOffset = rdLE32(bmp + 10);
    out.width = int32_t(rdLE32(bmp + 18));
    out.height = int32_t(rdLE32(bmp + 22));
    out.bits = rdLE16(bmp + 28);
    uint32_t compression = rdLE32(bmp + 30);
    if (out.width <= 0 || out.height <= 0) return 0;
    switch (out.bits) {
    case 1:
    case 4:
    case 8:
    case 24:
        if (compression != 0) return 0;
        break;
    case 16:
        if (compression != 3) return 0;
        break;
    default:
        return 0;
    }
    out.paletteEntries = 0;
    if (out.bits <= 8) {
        out.paletteEntries = rdLE16(bmp + 46); // the count is cut to 16 bits
        if (out.paletteEntries == 0) out.paletteEntries = 1u << out.bits;
        if (out.paletteEntries > 256) return 0;
    }
    uint64_t rowBytes = DIBRowBytes(out.width, out.bits);
    uint64_t pixelBytes = rowBytes * uint64_t(out.height);
    if (out.pixelOffset < minHeaderBytes + 4 * out.paletteEntries) return 0;
    if (uint64_t(out.pixelOffset) + pixelBytes > out.fileSize) return 0;
    out.rowBytes = uint32_t(rowBytes);
    return 1;
}

void putPixel(uint8_t* out, uint16_t colour) {
    out[0] = uint8_t(colour >> 8);
    out[1] = uint8_t(colour);
}

// Converts count pixels into lineBuf, starting first pixels into the byte at
// row. One loop per depth: this runs for every pixel of a bitmap stream.
void convertRow(const uint8_t* row, int first, int count, int bits) {
    if (count > lineBufPixels) count = lineBufPixels;
    uint8_t* out = lineBuf;
    uint8_t* const end = lineBuf + 2 * count;
    switch (bits) {
    case 1:
        for (int p = first; out < end; ++p, out += 2)
            putPixel(out, bmpPalette[(row[p >> 3] >> (7 - (p & 7))) & 1]);
        break;
    case 4:
        for (int p = first; out < end; ++p, out += 2)
            putPixel(out, bmpPalette[(row[p >> 1] >> ((p & 1) ? 0 : 4)) & 0x0F]);
        break;
    case 8:
        for (const uint8_t* in = row + first; out < end; ++in, out += 2)
            putPixel(out, bmpPalette[*in]);
        break;
    case 16:
        // Stored little-endian, sent high byte first.
        for (const uint8_t* in = row + 2 * first; out < end; in += 2, out += 2) {
            out[0] = in[1];
            out[1] = in[0];
        }
        break;
    case 24:
        for (const uint8_t* in = row + 3 * first; out < end; in += 3, out += 2)
            putPixel(out, rgb565(in[2], in[1], in[0]));
        break;
    }
}

// 1 when [p, p + bytes) lies inside the pixel rows of the current bitmap.
int insidePixels(const BmpLayout& layout, const uint8_t* p, uint64_t bytes) {
    uintptr_t start = reinterpret_cast<uintptr_t>(bmpCurrent) + layout.pixelOffset;
    uintptr_t end = reinterpret_cast<uintptr_t>(bmpCurrent) + layout.fileSize;
    uintptr_t at = reinterpret_cast<uintptr_t>(p);
    return at >= start && at <= end && bytes <= end - at;
}
} // namespace

void BMPdat2Palette(const uint8_t* pixels) {
    BmpLayout layout;
    if (!bmpLayout(bmpCurrent, layout) || layout.paletteEntries == 0) return;
    if (pixels != bmpCurrent + layout.pixelOffset) return;
    const uint8_t* entry = pixels - 4 * layout.paletteEntries;
    for (uint32_t i = 0; i < layout.paletteEntries; ++i, entry += 4)
        bmpPalette[i] = rgb565(entry[2], entry[1], entry[0]);
}

void BMPdat2Linebuf(const uint8_t* row, int count) {
    BmpLayout layout;
    if (count <= 0 || !bmpLayout(bmpCurrent, layout)) return;
    if (count > lineBufPixels) count = lineBufPixels;
    if (!insidePixels(layout, row, (uint64_t(count) * uint64_t(layout.bits) + 7) / 8)) return;
    convertRow(row, 0, count, layout.bits);
}

namespace {
void loadPalette(const uint8_t* paletteEnd, uint32_t entries) {
    const uint8_t* entry = paletteEnd - 4 * entries;
    for (uint32_t i = 0; i < entries; ++i, entry += 4)
        bmpPalette[i] = rgb565(entry[2], entry[1], entry[0]);
}

// Where the image lands: its pixel (skipX, skipY) at (x, y), clipped at the
// panel's edges. As on the module the left skip is taken in whole bytes (a
// multiple of 8 pixels for 1 bit, even for 4 bits). Negative positions are
// clipped exactly at the left and top edge instead of being written before
// the frame. 0 when nothing of the image shows.
int placeBitmap(int16_t x, int16_t y, const BmpLayout& layout, int16_t skipX, int16_t skipY,
                BitmapRows& out) {
    if (skipX < 0 || skipY < 0) return 0;
    // First image column as the module picks it: the skip rounded down to a byte.
    int32_t firstColumn =
        int32_t((uint32_t(skipX) * uint32_t(layout.bits) / 8) * 8 / uint32_t(layout.bits));
    int32_t firstRow = skipY;
    int32_t w = layout.width - skipX;
    int32_t h = layout.height - skipY;
    int32_t left = x, top = y;
    if (left < 0) {
        firstColumn -= left;
        w += left;
        left = 0;
    }
    if (top < 0) {
        firstRow -= top;
        h += top;
        top = 0;
    }
    if (left + w > TFTwidth) w = TFTwidth - left;
    if (top + h > TFTheight) h = TFTheight - top;
    if (w > lineBufPixels) w = lineBufPixels;
    if (w <= 0 || h <= 0) return 0;
    uint32_t firstBit = uint32_t(firstColumn) * uint32_t(layout.bits);
    out = BitmapRows{};
    out.left = left;
    out.top = top;
    out.width = w;
    out.height = h;
    out.firstRow = firstRow;
    out.imageHeight = layout.height;
    out.bits = layout.bits;
    out.rowBytes = layout.rowBytes;
    out.rowSkipBytes = firstBit / 8;
    out.firstInByte = int((firstBit % 8) / uint32_t(layout.bits));
    out.rowUseBytes = uint32_t((uint64_t(out.firstInByte + w) * uint64_t(layout.bits) + 7) / 8);
    return 1;
}
} // namespace

// Draws the image with its pixel (skipX, skipY) at panel position (x, y)
// (placeBitmap); negative skips draw nothing.
void TFTbitmap(int16_t x, int16_t y, const uint8_t* bmp, int16_t skipX, int16_t skipY) {
    if (x >= TFTwidth || y >= TFTheight) return;
    PanelGuard guard(panelLock());
    bmpCurrent = bmp;
    BmpLayout layout;
    if (!bmpLayout(bmp, layout)) return;
    BitmapRows place;
    if (!placeBitmap(x, y, layout, skipX, skipY, place)) return;
    const uint8_t* pixels = bmp + layout.pixelOffset;

    BMPdat2Palette(pixels);
    gpio_put(tftChipSelectPin, 0);
    TFTwindow(int16_t(place.left), int16_t(place.top), int16_t(place.left + place.width - 1),
              int16_t(place.top + place.height - 1));
    for (int32_t j = 0; j < place.height; ++j) {
        // Rows are stored bottom-up: image row r (from the top) is stored row height-1-r.
        uint32_t stored = uint32_t(layout.height - 1 - (place.firstRow + j));
        const uint8_t* row = pixels + uint64_t(layout.rowBytes) * stored + place.rowSkipBytes;
        convertRow(row, place.firstInByte, place.width, layout.bits);
        write_buf(lineBuf, uint32_t(2 * place.width));
    }
    gpio_put(tftChipSelectPin, 1);
}

int TFTbitmapRowsBegin(int16_t x, int16_t y, const uint8_t* headers, uint32_t length,
                       BitmapRows* rows) {
    *rows = BitmapRows{};
    if (length < minHeaderBytes) return 0;
    BmpLayout layout;
    if (!bmpLayout(headers, layout) || layout.pixelOffset > length) return 0;
    if (x >= TFTwidth || y >= TFTheight || !placeBitmap(x, y, layout, 0, 0, *rows)) {
        *rows = BitmapRows{};
        rows->rowBytes = layout.rowBytes;
        rows->imageHeight = layout.height;
        return 1;
    }
    PanelGuard guard(panelLock());
    if (layout.paletteEntries) loadPalette(headers + layout.pixelOffset, layout.paletteEntries);
    return 1;
}

void TFTbitmapRowPart(const BitmapRows& rows, uint32_t stored, const uint8_t* row, int32_t from,
                      int32_t to) {
    int32_t j = rows.imageHeight - 1 - int32_t(stored) - rows.firstRow;
    if (rows.width <= 0 || j < 0 || j >= rows.height) return;
    if (from < 0) from = 0;
    if (to > rows.width) to = rows.width;
    if (from >= to) return;
    PanelGuard guard(panelLock());
    int16_t y = int16_t(rows.top + j);
    convertRow(row, rows.firstInByte + from, to - from, rows.bits);
    gpio_put(tftChipSelectPin, 0);
    TFTwindow(int16_t(rows.left + from), y, int16_t(rows.left + to - 1), y);
    write_buf(lineBuf, uint32_t(2 * (to - from)));
    gpio_put(tftChipSelectPin, 1);
}

void TFTbitmapRow(const BitmapRows& rows, uint32_t stored, const uint8_t* row) {
    TFTbitmapRowPart(rows, stored, row, 0, rows.width);
}
