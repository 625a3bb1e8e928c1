// Text state and rendering with the ZPF bitmap fonts (panel/zpf_format.h).
// Every field is read through rdLE16/rdLE32, and every read is checked
// against the body length taken when the font was selected.
#include "panel/zr_tft.h"

#include "image/dib.h"
#include "panel/fonts.h"
#include "panel/zpf_format.h"

int16_t textX = 0, textY = 0, textH = 0;
uint16_t fgColor = 0xFFFF, bgColor = 0x0000;
int16_t zoomX = 1, zoomY = 1;
const uint8_t* fontBody = nullptr;
uint8_t bitRow[480];

namespace {
constexpr int lineBufPixels = int(sizeof lineBuf / 2);

// The body that passed the check, with its length. fontBody is a public
// global; when someone points it elsewhere, the length is looked up again.
const uint8_t* checkedBody = nullptr;
uint32_t checkedLength = 0;

// Body length of a usable ZPF file image, 0 when it must not be used.
uint32_t checkZPF(const uint8_t* file, uint32_t size) {
    if (!file || size < ZPF_FILE_HEADER_SIZE || file[0] != zpfMagic[0] || file[1] != zpfMagic[1])
        return 0;
    uint32_t length = rdLE32(file + ZPF_FILE_BODY_LENGTH);
    if (length > size - ZPF_FILE_HEADER_SIZE || length < ZPF_BODY_HEADER_SIZE) return 0;
    const uint8_t* body = file + ZPF_FILE_HEADER_SIZE;
    uint32_t count = rdLE16(body + ZPF_BODY_COUNT);
    // The lookup starts at count - 1: an empty record list would send it
    // into the glyph data and beyond.
    if (count == 0 || ZPF_BODY_HEADER_SIZE + ZPF_RECORD_SIZE * count > length) return 0;
    if (rdLE16(body + ZPF_BODY_CELL_HEIGHT) == 0) return 0;
    return length;
}

int clampZoom(int zoom) {
    return zoom < 1 ? 1 : zoom > 4 ? 4 : zoom;
}

// Draws one glyph whose zoomed left column is x (possibly negative) and whose
// zoomed width, already cut at the right edge, is zw. Rows y0..yEnd are the
// visible part of the line that starts at panel row y.
void drawGlyph(int x, int zw, int y, int y0, int yEnd, const uint8_t* data, int bytesPerRow, int h,
               int zx, int zy) {
    int x0 = x < 0 ? 0 : x;
    int x1 = x + zw - 1;
    if (x1 < x0 || yEnd < y0) return;
    int visible = x1 - x0 + 1;
    if (visible > lineBufPixels) { // only if a panel were wider than lineBuf
        visible = lineBufPixels;
        x1 = x0 + visible - 1;
    }
    // Expand only the source bytes that reach the visible columns, so bitRow
    // never needs more than a few bytes beyond one panel row, however wide the
    // glyph and however far it starts left of the panel.
    int skip = x0 - x;
    int bitsPerByte = 8 * zx;
    int firstByte = skip / bitsPerByte;
    int lastByte = (skip + visible - 1) / bitsPerByte;
    int byteCount = lastByte - firstByte + 1;
    int bitOffset = skip - firstByte * bitsPerByte;

    gpio_put(tftChipSelectPin, 0);
    TFTwindow(int16_t(x0), int16_t(y0), int16_t(x1), int16_t(yEnd));
    int r = (y0 - y) / zy;
    int row = y + r * zy;
    for (; r < h && row <= yEnd; ++r) {
        getlinedat(bitRow, data + size_t(h - 1 - r) * bytesPerRow + firstByte, byteCount, zx);
        for (int i = 0; i < visible; ++i) {
            int bit = bitOffset + i;
            uint16_t colour = (bitRow[bit >> 3] & (0x80 >> (bit & 7))) ? fgColor : bgColor;
            lineBuf[2 * i] = uint8_t(colour >> 8);
            lineBuf[2 * i + 1] = uint8_t(colour);
        }
        for (int k = 0; k < zy && row <= yEnd; ++k, ++row)
            if (row >= y0) write_buf(lineBuf, uint32_t(2 * visible));
    }
    gpio_put(tftChipSelectPin, 1);
}
} // namespace

int selectZPFfont(const uint8_t* file, uint32_t size) {
    uint32_t length = checkZPF(file, size);
    if (!length) return 0;
    PanelGuard guard(panelLock());
    fontBody = file + ZPF_FILE_HEADER_SIZE;
    checkedBody = fontBody;
    checkedLength = length;
    return 1;
}

uint32_t currentFontBodyLength() {
    if (!fontBody) return 0;
    if (fontBody == checkedBody) return checkedLength;
    int count = 0;
    const ZPFfile* table = embeddedFontTable(&count);
    for (int i = 0; i < count; ++i) {
        if (table[i].data && table[i].data + ZPF_FILE_HEADER_SIZE == fontBody) {
            uint32_t length = checkZPF(table[i].data, table[i].size);
            if (!length) return 0;
            checkedBody = fontBody;
            checkedLength = length;
            return length;
        }
    }
    return 0; // a body of unknown length is never read
}

void resetTextState() {
    PanelGuard guard(panelLock());
    textX = textY = textH = 0;
    fgColor = 0xFFFF;
    bgColor = 0x0000;
    zoomX = zoomY = 1;
    fontBody = nullptr;
    checkedBody = nullptr;
    checkedLength = 0;
    if (const ZPFfile* body = embeddedFont(16)) selectZPFfont(body->data, body->size);
}

void setTFTfont(int16_t font, int16_t zoomx, int16_t zoomy) {
    PanelGuard guard(panelLock());
    if (const ZPFfile* file = embeddedFont(font)) selectZPFfont(file->data, file->size);
    if (zoomx >= 1 && zoomx <= 4) zoomX = zoomx;
    if (zoomy >= 1 && zoomy <= 4) zoomY = zoomy;
}

void setTFTcolor(uint16_t foreground, uint16_t background) {
    PanelGuard guard(panelLock());
    fgColor = foreground;
    bgColor = background;
}

void setTFTtextXYH(int16_t x, int16_t y, int16_t lineAdvance) {
    PanelGuard guard(panelLock());
    textX = x;
    textY = y;
    textH = lineAdvance;
}

uint16_t GetZPFcharIndex(uint16_t code) {
    if (!currentFontBodyLength()) return 0xFFFF;
    const uint8_t* body = fontBody;
    uint16_t count = rdLE16(body + ZPF_BODY_COUNT);
    auto recordCode = [body](uint16_t index) {
        return rdLE16(body + ZPF_BODY_HEADER_SIZE + ZPF_RECORD_SIZE * index + ZPF_RECORD_CODE);
    };
    if (count == 1 && code == rdLE16(body + ZPF_BODY_FIRST_CODE)) return 0;
    uint16_t lo = 0;
    uint16_t hi = uint16_t(count - 1);
    do {
        if (hi - lo == 1) {
            if (recordCode(lo) == code) return lo;
            if (recordCode(hi) == code) return hi;
            return 0xFFFF;
        }
        uint16_t mid = uint16_t(lo + (hi - lo) / 2);
        uint16_t midCode = recordCode(mid);
        if (midCode < code)
            lo = mid;
        else if (midCode > code)
            hi = mid;
        else
            return mid;
    } while (lo != hi);
    return 0xFFFF;
}

uint8_t mirror(uint8_t b) {
    b = uint8_t((b & 0xF0) >> 4 | (b & 0x0F) << 4);
    b = uint8_t((b & 0xCC) >> 2 | (b & 0x33) << 2);
    b = uint8_t((b & 0xAA) >> 1 | (b & 0x55) << 1);
    return b;
}

void zoombyte(uint8_t* out, uint8_t b, int zoom) {
    zoom = clampZoom(zoom);
    uint32_t bits = 0;
    for (int bit = 7; bit >= 0; --bit) {
        uint32_t value = (b >> bit) & 1u;
        for (int k = 0; k < zoom; ++k) bits = bits << 1 | value;
    }
    for (int i = zoom - 1; i >= 0; --i) {
        out[i] = uint8_t(bits);
        bits >>= 8;
    }
}

// out must hold bytesPerRow * zoom bytes.
void getlinedat(uint8_t* out, const uint8_t* glyphRow, int bytesPerRow, int zoom) {
    zoom = clampZoom(zoom);
    for (int i = 0; i < bytesPerRow; ++i) zoombyte(out + i * zoom, mirror(glyphRow[i]), zoom);
}

int getHexvalue(int c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return c;
}

void TFTtext(int16_t xArg, int16_t yArg, const char* text) {
    if (!text) return;
    PanelGuard guard(panelLock());
    int x = xArg == -1 ? textX : xArg;
    int y = yArg == -1 ? textY : yArg;
    if (x >= TFTwidth || y >= TFTheight) return;
    if (yArg == -1) textY = int16_t(textY + textH);

    uint32_t length = currentFontBodyLength();
    if (!length) return;
    const uint8_t* body = fontBody;
    int firstCode = rdLE16(body + ZPF_BODY_FIRST_CODE);
    int lastCode = rdLE16(body + ZPF_BODY_LAST_CODE);
    int h = rdLE16(body + ZPF_BODY_CELL_HEIGHT);
    int zx = clampZoom(zoomX);
    int zy = clampZoom(zoomY);
    int yEnd = y + h * zy - 1;
    if (yEnd >= TFTheight) yEnd = TFTheight - 1;
    int y0 = y < 0 ? 0 : y;

    const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
    while (*p) {
        int c = *p++;
        if (c == '\\') {
            // An escape cut short by the end of the text ends the text; the
            // NUL is never stepped over.
            if (!*p) break;
            c = *p++;
            if (c == 'x' || c == '$') {
                if (!p[0] || !p[1]) break;
                c = uint8_t(getHexvalue(p[0]) * 16 + getHexvalue(p[1]));
                p += 2;
            }
        }
        if (x >= TFTwidth) break; // no wrapping: everything after is dropped
        if (c < firstCode || c > lastCode) continue;
        uint16_t index = GetZPFcharIndex(uint16_t(c));
        if (index == 0xFFFF) continue; // a gap in the font takes no room
        const uint8_t* record = body + ZPF_BODY_HEADER_SIZE + ZPF_RECORD_SIZE * index;
        uint32_t offset = rdLE32(record + ZPF_RECORD_DATA_OFFSET);
        int w = rdLE16(record + ZPF_RECORD_WIDTH);
        int bytesPerRow = (w + 7) / 8;
        // A glyph whose bitmap would reach past the body is treated like a gap.
        if (w == 0 || uint64_t(offset) + uint64_t(bytesPerRow) * uint64_t(h) > length) continue;
        int zw = w * zx;
        int xEnd = x + zw - 1;
        if (xEnd >= TFTwidth) zw = TFTwidth - x;
        drawGlyph(x, zw, y, y0, yEnd, body + offset, bytesPerRow, h, zx, zy);
        x += zw;
    }
}
