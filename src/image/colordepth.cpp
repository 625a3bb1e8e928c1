// Colour-depth conversion, palettes and dithering.
//
// Every conversion builds its new block next to the old one and swaps only when
// everything succeeded, so a failure (memory, a record that does not describe its
// block) leaves the picture exactly as it was. All arithmetic is integer: the
// board receives these bytes, and the same picture must give the same bytes on
// every build.
#include "image/dib.h"
#include "image/rgb565.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

// Red, green, blue. Entry 14 is (2,128,255) deliberately, not (0,128,255): the
// palettes made here must stay byte-identical, so keep it when editing the table.
const uint8_t StandardPalette[256][3] = {
    {0, 0, 0},       {0, 0, 255},     {255, 0, 0},     {0, 255, 0},     {255, 0, 255},
    {0, 255, 255},   {255, 255, 0},   {255, 255, 255}, {85, 85, 85},    {255, 127, 0},
    {127, 0, 255},   {255, 0, 127},   {0, 255, 128},   {128, 255, 0},   {2, 128, 255},
    {170, 170, 170}, {255, 153, 51},  {255, 153, 0},   {255, 102, 255}, {255, 102, 204},
    {255, 102, 153}, {255, 102, 102}, {255, 102, 51},  {255, 102, 0},   {255, 51, 255},
    {255, 51, 204},  {255, 51, 153},  {255, 51, 102},  {255, 51, 51},   {255, 51, 0},
    {255, 0, 255},   {255, 0, 204},   {255, 0, 153},   {255, 0, 102},   {255, 0, 51},
    {255, 0, 0},     {204, 255, 255}, {204, 255, 204}, {204, 255, 153}, {204, 255, 102},
    {204, 255, 51},  {204, 255, 0},   {204, 204, 255}, {204, 204, 204}, {204, 204, 153},
    {204, 204, 102}, {204, 204, 51},  {204, 204, 0},   {204, 153, 255}, {204, 153, 204},
    {204, 153, 153}, {204, 153, 102}, {204, 153, 51},  {204, 153, 0},   {204, 102, 255},
    {204, 102, 204}, {204, 102, 153}, {204, 102, 102}, {204, 102, 51},  {204, 102, 0},
    {204, 51, 255},  {204, 51, 204},  {204, 51, 153},  {204, 51, 102},  {204, 51, 51},
    {204, 51, 0},    {204, 0, 255},   {204, 0, 204},   {204, 0, 153},   {204, 0, 102},
    {204, 0, 51},    {204, 0, 0},     {153, 255, 255}, {153, 255, 204}, {153, 255, 153},
    {153, 255, 102}, {153, 255, 51},  {153, 255, 0},   {153, 204, 255}, {153, 204, 204},
    {153, 204, 153}, {153, 204, 102}, {153, 204, 51},  {153, 204, 0},   {153, 153, 255},
    {153, 153, 204}, {153, 153, 153}, {153, 153, 102}, {153, 153, 51},  {153, 153, 0},
    {153, 102, 255}, {153, 102, 204}, {153, 102, 153}, {153, 102, 102}, {153, 102, 51},
    {153, 102, 0},   {153, 51, 255},  {153, 51, 204},  {153, 51, 153},  {153, 51, 102},
    {153, 51, 51},   {153, 51, 0},    {153, 0, 255},   {153, 0, 204},   {153, 0, 153},
    {153, 0, 102},   {153, 0, 51},    {153, 0, 0},     {102, 255, 255}, {102, 255, 204},
    {102, 255, 153}, {102, 255, 102}, {102, 255, 51},  {102, 255, 0},   {102, 204, 255},
    {102, 204, 204}, {102, 204, 153}, {102, 204, 102}, {102, 204, 51},  {102, 204, 0},
    {102, 153, 255}, {102, 153, 204}, {102, 153, 153}, {102, 153, 102}, {102, 153, 51},
    {102, 153, 0},   {102, 102, 255}, {102, 102, 204}, {102, 102, 153}, {102, 102, 102},
    {102, 102, 51},  {102, 102, 0},   {102, 51, 255},  {102, 51, 204},  {102, 51, 153},
    {102, 51, 102},  {102, 51, 51},   {102, 51, 0},    {102, 0, 255},   {102, 0, 204},
    {102, 0, 153},   {102, 0, 102},   {102, 0, 51},    {102, 0, 0},     {51, 255, 255},
    {51, 255, 204},  {51, 255, 153},  {51, 255, 102},  {51, 255, 51},   {51, 255, 0},
    {51, 204, 255},  {51, 204, 204},  {51, 204, 153},  {51, 204, 102},  {51, 204, 51},
    {51, 204, 0},    {51, 153, 255},  {51, 153, 204},  {51, 153, 153},  {51, 153, 102},
    {51, 153, 51},   {51, 153, 0},    {51, 102, 255},  {51, 102, 204},  {51, 102, 153},
    {51, 102, 102},  {51, 102, 51},   {51, 102, 0},    {51, 51, 255},   {51, 51, 204},
    {51, 51, 153},   {51, 51, 102},   {51, 51, 51},    {51, 51, 0},     {51, 0, 255},
    {51, 0, 204},    {51, 0, 153},    {51, 0, 102},    {51, 0, 51},     {51, 0, 0},
    {0, 255, 255},   {0, 255, 204},   {0, 255, 153},   {0, 255, 102},   {0, 255, 51},
    {0, 255, 0},     {0, 204, 255},   {0, 204, 204},   {0, 204, 153},   {0, 204, 102},
    {0, 204, 51},    {0, 204, 0},     {0, 153, 255},   {0, 153, 204},   {0, 153, 153},
    {0, 153, 102},   {0, 153, 51},    {0, 153, 0},     {0, 102, 255},   {0, 102, 204},
    {0, 102, 153},   {0, 102, 102},   {0, 102, 51},    {0, 102, 0},     {0, 51, 255},
    {0, 51, 204},    {0, 51, 153},    {0, 51, 102},    {0, 51, 51},     {0, 51, 0},
    {0, 0, 255},     {0, 0, 204},     {0, 0, 153},     {0, 0, 102},     {0, 0, 51},
    {238, 0, 0},     {221, 0, 0},     {187, 0, 0},     {170, 0, 0},     {136, 0, 0},
    {119, 0, 0},     {85, 0, 0},      {68, 0, 0},      {34, 0, 0},      {17, 0, 0},
    {0, 238, 0},     {0, 221, 0},     {0, 187, 0},     {0, 170, 0},     {0, 136, 0},
    {0, 119, 0},     {0, 85, 0},      {0, 68, 0},      {0, 34, 0},      {0, 17, 0},
    {0, 0, 238},     {0, 0, 221},     {0, 0, 187},     {0, 0, 170},     {0, 0, 136},
    {0, 0, 119},     {0, 0, 85},      {0, 0, 68},      {0, 0, 34},      {0, 0, 17},
    {238, 238, 238}, {221, 221, 221}, {187, 187, 187}, {170, 170, 170}, {136, 136, 136},
    {119, 119, 119}, {85, 85, 85},    {68, 68, 68},    {34, 34, 34},    {17, 17, 17},
    {0, 0, 0},
};

namespace {

inline uint32_t packKey(uint32_t b, uint32_t g, uint32_t r) {
    return b | (g << 8) | (r << 16);
}

inline uint16_t toRgb565(uint32_t b, uint32_t g, uint32_t r) {
    return rgb565(int(r), int(g), int(b));
}

inline void expand565(uint32_t v, uint8_t* bgr) {
    bgr[0] = uint8_t(((v & 0x1F) << 3) | ((v & 0x1C) >> 2));
    bgr[1] = uint8_t(((v & 0x7E0) >> 3) | ((v & 0x600) >> 9));
    bgr[2] = uint8_t(((v >> 8) & 0xF8) | ((v & 0xE000) >> 13));
}

inline void expand555(uint32_t v, uint8_t* bgr) {
    bgr[0] = uint8_t(((v & 0x1F) << 3) | ((v & 0x1C) >> 2));
    bgr[1] = uint8_t(((v & 0x3E0) >> 2) | ((v & 0x380) >> 7));
    bgr[2] = uint8_t(((v & 0x7C00) >> 7) | ((v & 0x7000) >> 12));
}

// The colour an RGB565 panel really shows for an 8-bit component.
inline uint8_t keep5(uint32_t c) {
    return uint8_t((c & 0xF8) | ((c & 0xE0) >> 5));
}
inline uint8_t keep6(uint32_t c) {
    return uint8_t((c & 0xFC) | (c >> 6));
}

int isRgb565(const DIB* dib, const DIBLayout& l) {
    if (l.bitCount != 16 || l.compression != 3) return 0;
    // The masks follow a 40-byte header or sit inside a longer one, at offset 40
    // either way; a header between the two has no room for them.
    if (l.headerSize != 40 && l.headerSize < 52) return 0;
    return rdLE32(dib->mem + 40) == 0xF800;
}

int maskByte(uint32_t mask) {
    for (int k = 0; k < 4; k++)
        if (mask == (0xFFu << (8 * k))) return k;
    return -1;
}

// Byte positions of blue, green and red inside a 32-bit pixel.
void positions32(const DIB* dib, const DIBLayout& l, int* pos) {
    pos[0] = 0, pos[1] = 1, pos[2] = 2;
    if (l.headerSize == 40) return;
    const uint8_t* h = dib->mem;
    // Long headers with the alpha mask in the low byte: colour in bytes 1 to 3,
    // the layout the BMP reader's transparency step assumes.
    if (l.headerSize >= 56 && rdLE32(h + 52) == 0xFF) {
        pos[0] = 1, pos[1] = 2, pos[2] = 3;
        return;
    }
    if (l.compression == 3 && l.headerSize >= 52) {
        int r = maskByte(rdLE32(h + 40)), g = maskByte(rdLE32(h + 44)),
            b = maskByte(rdLE32(h + 48));
        if (r >= 0 && g >= 0 && b >= 0 && r != g && g != b && r != b)
            pos[0] = b, pos[1] = g, pos[2] = r;
    }
}

// Everything needed to turn stored rows of any depth into blue, green, red.
struct Source {
    const DIB* dib;
    DIBLayout l;
    int rgb565;
    int pos[3];
    uint8_t pal[256 * 3]; // indices past the stored palette read as black
};

int openSource(const DIB* dib, Source* s) {
    if (!GetDIBLayout(dib, &s->l)) return 0;
    s->dib = dib;
    s->rgb565 = isRgb565(dib, s->l);
    positions32(dib, s->l, s->pos);
    memset(s->pal, 0, sizeof s->pal);
    if (s->l.bitCount <= 8) {
        uint32_t n = s->l.paletteEntries < 256 ? s->l.paletteEntries : 256;
        for (uint32_t i = 0; i < n; i++) memcpy(s->pal + 3 * i, dib->palette + 4 * i, 3);
    }
    return 1;
}

const uint8_t* rowOf(const DIB* dib, const DIBLayout& l, int32_t y) {
    return dib->bits + uint64_t(y) * l.lineBytes;
}

// Writes width pixels as blue, green, red.
void decodeRow(const Source& s, int32_t y, uint8_t* out) {
    const uint8_t* row = rowOf(s.dib, s.l, y);
    int32_t w = s.l.width;
    switch (s.l.bitCount) {
    case 1:
        for (int32_t x = 0; x < w; x++)
            memcpy(out + 3 * x, s.pal + 3 * ((row[x >> 3] >> (7 - (x & 7))) & 1), 3);
        break;
    case 4:
        for (int32_t x = 0; x < w; x++) {
            uint8_t v = row[x >> 1];
            memcpy(out + 3 * x, s.pal + 3 * ((x & 1) ? (v & 15) : (v >> 4)), 3);
        }
        break;
    case 8:
        for (int32_t x = 0; x < w; x++) memcpy(out + 3 * x, s.pal + 3 * row[x], 3);
        break;
    case 16:
        for (int32_t x = 0; x < w; x++) {
            uint32_t v = rdLE16(row + 2 * x);
            if (s.rgb565)
                expand565(v, out + 3 * x);
            else
                expand555(v, out + 3 * x);
        }
        break;
    case 24:
        memcpy(out, row, size_t(w) * 3);
        break;
    default: // 32
        for (int32_t x = 0; x < w; x++) {
            const uint8_t* p = row + 4 * x;
            out[3 * x] = p[s.pos[0]];
            out[3 * x + 1] = p[s.pos[1]];
            out[3 * x + 2] = p[s.pos[2]];
        }
        break;
    }
}

// A zero-filled block of the picture's resolution, laid out into *out.
int newBlock(const uint8_t* srcHeader, int32_t w, int32_t h, uint32_t bitCount,
             uint32_t compression, uint32_t clrUsed, DIB* out) {
    if (!MakeDIBBlock(out, w, h, int(bitCount), compression, clrUsed, srcHeader)) return 0;
    DIBLayout check;
    if (!GetDIBLayout(out, &check)) {
        free(out->mem);
        memset(out, 0, sizeof *out);
        return 0;
    }
    return 1;
}

void dropBlock(DIB* d) {
    free(d->mem);
    memset(d, 0, sizeof *d);
}

int make24(const Source& s, DIB* out) {
    if (!newBlock(s.dib->mem, s.l.width, s.l.height, 24, BMP_RGB, 0, out)) return 0;
    DIBLayout ol;
    GetDIBLayout(out, &ol);
    for (int32_t y = 0; y < s.l.height; y++)
        decodeRow(s, y, out->bits + uint64_t(y) * ol.lineBytes);
    return 1;
}

// A 24-bit view of the picture: the picture itself when it already is one,
// otherwise a converted copy in *tmp (to be dropped by the caller).
const DIB* view24(const Source& s, DIB* tmp) {
    memset(tmp, 0, sizeof *tmp);
    if (s.l.bitCount == 24) return s.dib;
    return make24(s, tmp) ? tmp : nullptr;
}

// NearestPaletteColor, fast: the colour cube is cut into 16 x 16 x 16 cells, and
// each cell keeps (once asked) the entries that can be nearest to some colour
// inside it: those no farther from the cell than the best entry's farthest
// corner. Searching them in palette order with the same strict comparison
// gives exactly the answer of the full search, ties included.
struct NearestColourSearch {
    static constexpr int cellShift = 4, cellsPerAxis = 256 >> cellShift;
    static constexpr int cellCount = cellsPerAxis * cellsPerAxis * cellsPerAxis;
    static constexpr int cellMask = (1 << cellShift) - 1;
    const uint8_t* palette = nullptr;
    int entries = 0;
    int16_t* candidateCount = nullptr; // -1 until the cell's list is made
    uint8_t* candidates = nullptr;     // 256 per cell

    bool open(const uint8_t* pal, int n) {
        palette = pal;
        entries = n;
        candidateCount = static_cast<int16_t*>(malloc(sizeof(int16_t) * cellCount));
        candidates = static_cast<uint8_t*>(malloc(size_t(cellCount) * 256));
        if (candidateCount) memset(candidateCount, 0xFF, sizeof(int16_t) * cellCount);
        return candidateCount && candidates;
    }
    ~NearestColourSearch() {
        free(candidateCount);
        free(candidates);
    }

    static int gapToRange(int v, int lo, int hi) { return v < lo ? lo - v : v > hi ? v - hi : 0; }
    static int farthestInRange(int v, int lo, int hi) { return v - lo > hi - v ? v - lo : hi - v; }

    void makeCandidates(int cell, int r0, int g0, int b0) {
        const int r1 = r0 + (1 << cellShift) - 1, g1 = g0 + (1 << cellShift) - 1,
                  b1 = b0 + (1 << cellShift) - 1;
        int bound = 1 << 30;
        for (int i = 0; i < entries; i++) {
            const uint8_t* e = palette + 4 * i;
            int dr = farthestInRange(e[2], r0, r1), dg = farthestInRange(e[1], g0, g1),
                db = farthestInRange(e[0], b0, b1);
            int far = dr * dr + dg * dg + db * db;
            if (far < bound) bound = far;
        }
        uint8_t* list = candidates + size_t(cell) * 256;
        int n = 0;
        for (int i = 0; i < entries; i++) {
            const uint8_t* e = palette + 4 * i;
            int dr = gapToRange(e[2], r0, r1), dg = gapToRange(e[1], g0, g1),
                db = gapToRange(e[0], b0, b1);
            if (dr * dr + dg * dg + db * db <= bound) list[n++] = uint8_t(i);
        }
        candidateCount[cell] = int16_t(n);
    }

    int lookup(int r, int g, int b) {
        int cell =
            ((r >> cellShift) * cellsPerAxis + (g >> cellShift)) * cellsPerAxis + (b >> cellShift);
        if (candidateCount[cell] < 0)
            makeCandidates(cell, r & ~cellMask, g & ~cellMask, b & ~cellMask);
        const uint8_t* list = candidates + size_t(cell) * 256;
        int best = 200000, index = 0;
        for (int k = 0, n = candidateCount[cell]; k < n; k++) {
            const uint8_t* e = palette + 4 * list[k];
            int db = e[0] - b, dg = e[1] - g, dr = e[2] - r;
            int d = dr * dr + dg * dg + db * db;
            if (d < best) {
                best = d;
                index = list[k];
                if (d == 0) break;
            }
        }
        return index;
    }
};

int ditherInto(const DIB* src, DIB* dst) {
    DIBLayout ls, ld;
    if (!GetDIBLayout(src, &ls) || !GetDIBLayout(dst, &ld)) return 0;
    if (ls.bitCount != 24 || (ld.bitCount != 8 && ld.bitCount != 16)) return 0;
    if (ls.width != ld.width || ls.height != ld.height) return 0;
    int entries = 0;
    if (ld.bitCount == 8) {
        entries = int(ld.paletteEntries < 256 ? ld.paletteEntries : 256);
        if (dst->numColors < entries) entries = dst->numColors;
        if (entries < 1) return 0;
    }
    // Two spare bytes past the row take the last pixel's rightward error.
    size_t len = size_t(ls.lineBytes) + 4;
    uint8_t* cur = static_cast<uint8_t*>(calloc(1, len));
    uint8_t* next = static_cast<uint8_t*>(calloc(1, len));
    if (!cur || !next) {
        free(cur);
        free(next);
        return 0;
    }
    NearestColourSearch nearest;
    if (ld.bitCount == 8 && !nearest.open(dst->palette, entries)) {
        free(cur);
        free(next);
        return 0;
    }
    const int32_t w = ls.width, h = ls.height;
    memcpy(cur, rowOf(src, ls, 0), ls.lineBytes);
    for (int32_t y = 0; y < h; y++) {
        if (y > 0) memcpy(cur, next, ls.lineBytes);
        if (y < h - 1) memcpy(next, rowOf(src, ls, y + 1), ls.lineBytes);
        uint8_t* out = dst->bits + uint64_t(y) * ld.lineBytes;
        for (int32_t x = 0; x < w; x++) {
            uint8_t* p = cur + 3 * x;
            int b = p[0], g = p[1], r = p[2];
            int shown[3];
            if (ld.bitCount == 16) {
                wrLE16(out + 2 * x, toRgb565(uint32_t(b), uint32_t(g), uint32_t(r)));
                shown[0] = keep5(uint32_t(b)), shown[1] = keep6(uint32_t(g)),
                shown[2] = keep5(uint32_t(r));
            } else {
                int i = nearest.lookup(r, g, b);
                out[x] = uint8_t(i);
                const uint8_t* e = dst->palette + 4 * i;
                shown[0] = e[0], shown[1] = e[1], shown[2] = e[2];
            }
            const int comp[3] = {b, g, r};
            for (int c = 0; c < 3; c++) {
                int e = comp[c] - shown[c];
                uint8_t* right = cur + 3 * (x + 1) + c;
                uint8_t* below = next + 3 * x + c;
                uint8_t* belowRight = next + 3 * (x + 1) + c;
                *right = GetByteValue(*right + (3 * e) / 8);
                *below = GetByteValue(*below + (3 * e) / 8);
                *belowRight = GetByteValue(*belowRight + e / 4);
            }
        }
    }
    free(cur);
    free(next);
    return 1;
}

// MakeBestPalette with a separate success flag: a result of 0 entries is a
// valid palette (black or black-and-white pictures), not a failure.
int bestPalette(const DIB* src, DIB* dst, int n, int precision, int* ok) {
    *ok = 0;
    DIBLayout ls, ld;
    if (!GetDIBLayout(src, &ls) || !GetDIBLayout(dst, &ld)) return 0;
    if (ls.bitCount != 24 || ld.bitCount > 8 || n < 1 || n > 256 || uint32_t(n) > ld.paletteEntries)
        return 0;
    uint64_t count = uint64_t(ls.width) * uint64_t(ls.height);
    uint32_t* keys = static_cast<uint32_t*>(malloc(size_t(count) * sizeof(uint32_t)));
    if (!keys) return 0;
    memset(dst->palette, 0, size_t(n) * 4);
    uint64_t at = 0;
    for (int32_t y = 0; y < ls.height; y++) {
        const uint8_t* row = rowOf(src, ls, y);
        for (int32_t x = 0; x < ls.width; x++, row += 3) {
            if (precision == 16)
                keys[at++] = packKey(keep5(row[0]), keep6(row[1]), keep5(row[2]));
            else
                keys[at++] = packKey(row[0], row[1], row[2]);
        }
    }
    SortColorValues(keys, 0, int(count - 1), nullptr);
    uint64_t k = 0;
    for (uint64_t i = 1; i < count; i++)
        if (keys[i] != keys[k]) keys[++k] = keys[i];
    uint64_t step = 1, m = k + 1;
    if (k >= uint64_t(n)) step = k / uint64_t(n), m = uint64_t(n);
    uint32_t entry[256], bright[256];
    for (uint64_t i = 0; i + 1 < m; i++) entry[i] = keys[step * i];
    entry[m - 1] = keys[k];
    free(keys);
    for (uint64_t i = 0; i < m; i++) {
        uint32_t e = entry[i];
        bright[i] = ((e & 0xFF) + ((e >> 8) & 0xFF) + ((e >> 16) & 0xFF)) / 3;
    }
    SortColorValues(bright, 0, int(m - 1), entry);
    for (uint64_t i = 0; i < m; i++) wrLE32(dst->palette + 4 * i, entry[i] & 0xFFFFFF);
    int result = int(m);
    if (m < uint64_t(n)) {
        auto blackOrWhite = [](uint32_t e) { return e == 0 || e == 0xFFFFFF; };
        if ((m == 1 && blackOrWhite(entry[0])) ||
            (m == 2 && blackOrWhite(entry[0]) && blackOrWhite(entry[1])))
            result = 0;
        for (int i = result; i < n; i++) {
            uint8_t* p = dst->palette + 4 * i;
            p[0] = StandardPalette[i][2];
            p[1] = StandardPalette[i][1];
            p[2] = StandardPalette[i][0];
            p[3] = 0;
        }
    }
    *ok = 1;
    return result;
}

// Converts the picture into a new block of 8 or 16 bits.
int reduceTo(DIB* dib, int bitCount, int dither, int precision) {
    Source s;
    if (!openSource(dib, &s)) return 0;
    DIB tmp, out;
    const DIB* src = view24(s, &tmp);
    if (!src) return 0;
    int ok;
    if (bitCount == 16)
        ok = newBlock(dib->mem, s.l.width, s.l.height, 16, BMP_BITFIELDS, 0, &out);
    else
        ok = newBlock(dib->mem, s.l.width, s.l.height, 8, BMP_RGB, 0, &out);
    if (ok && bitCount == 8) bestPalette(src, &out, 256, precision, &ok);
    if (ok && (bitCount == 8 || dither)) ok = ditherInto(src, &out);
    if (ok && bitCount == 16 && !dither) {
        DIBLayout ls, lo;
        GetDIBLayout(src, &ls);
        GetDIBLayout(&out, &lo);
        for (int32_t y = 0; y < ls.height; y++) {
            const uint8_t* in = rowOf(src, ls, y);
            uint8_t* o = out.bits + uint64_t(y) * lo.lineBytes;
            for (int32_t x = 0; x < ls.width; x++, in += 3)
                wrLE16(o + 2 * x, toRgb565(in[0], in[1], in[2]));
        }
    }
    if (tmp.mem) dropBlock(&tmp);
    if (!ok) {
        if (out.mem) dropBlock(&out);
        return 0;
    }
    ReplaceDIBBlock(dib, &out);
    return 1;
}

// Finds key in the first n entries; -1 when absent.
int findKey(const uint32_t* keys, int n, uint32_t key) {
    for (int i = 0; i < n; i++)
        if (keys[i] == key) return i;
    return -1;
}

// Position of each of up to 256 colour keys in the order they were added:
// a small open-addressing table, so a pixel costs one probe or two instead
// of a scan over all colours found so far.
struct KeyPositions {
    static constexpr uint32_t slots = 1024, empty = 0xFFFFFFFFu; // keys are 24-bit
    uint32_t key[slots];
    int16_t position[slots];
    KeyPositions() { memset(key, 0xFF, sizeof key); }
    static uint32_t slotOf(uint32_t k) { return (k * 2654435761u) >> 22; }
    int find(uint32_t k) const {
        for (uint32_t i = slotOf(k);; i = (i + 1) & (slots - 1)) {
            if (key[i] == k) return position[i];
            if (key[i] == empty) return -1;
        }
    }
    // Keeps the first position of a key that is added twice.
    void add(uint32_t k, int at) {
        uint32_t i = slotOf(k);
        while (key[i] != empty && key[i] != k) i = (i + 1) & (slots - 1);
        if (key[i] == empty) key[i] = k, position[i] = int16_t(at);
    }
};

// Number of distinct values in a sorted array.
uint64_t countDistinct(const uint32_t* v, uint64_t n) {
    uint64_t d = n ? 1 : 0;
    for (uint64_t i = 1; i < n; i++) d += v[i] != v[i - 1];
    return d;
}

// Every pixel's packed colour key, in stored order; null without memory.
uint32_t* allKeys(const Source& s) {
    uint64_t count = uint64_t(s.l.width) * uint64_t(s.l.height);
    uint32_t* keys = static_cast<uint32_t*>(malloc(size_t(count) * sizeof(uint32_t)));
    uint8_t* row = static_cast<uint8_t*>(malloc(size_t(s.l.width) * 3));
    if (!keys || !row) {
        free(keys);
        free(row);
        return nullptr;
    }
    uint64_t at = 0;
    for (int32_t y = 0; y < s.l.height; y++) {
        decodeRow(s, y, row);
        for (int32_t x = 0; x < s.l.width; x++)
            keys[at++] = packKey(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
    }
    free(row);
    return keys;
}

} // namespace

int GetDIBLayout(const DIB* dib, DIBLayout* layout) {
    if (!dib || !dib->mem || dib->memSize < 40 || !layout) return 0;
    const uint8_t* h = dib->mem;
    uint32_t headerSize = rdLE32(h + BI_SIZE);
    if (headerSize < 40 || headerSize > dib->memSize) return 0;
    int32_t w = int32_t(rdLE32(h + BI_WIDTH)), ht = int32_t(rdLE32(h + BI_HEIGHT));
    if (w < 1 || ht < 1) return 0;
    uint32_t bitCount = rdLE16(h + BI_BITCOUNT), compression = rdLE32(h + BI_COMPRESSION);
    uint32_t clrUsed = rdLE32(h + BI_CLRUSED);
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
        if (compression != 0) return 0;
        break;
    case 16:
    case 32:
        if (compression != 0 && compression != 3) return 0;
        break;
    default:
        return 0;
    }
    uint64_t offset = headerSize, entries = 0;
    if (bitCount <= 8) {
        entries = clrUsed ? clrUsed : (1u << bitCount);
        offset += 4 * entries;
    } else if (headerSize == 40 && compression == 3) {
        offset += 12;
    }
    uint64_t line = DIBRowBytes(w, int(bitCount));
    uint64_t total = offset + line * uint64_t(ht);
    if (total > dib->memSize || total > DIB_MAX_BLOCK) return 0;
    // The record's own pointers must describe the same layout as its header.
    if (dib->bmih != dib->mem || dib->bits != dib->mem + offset ||
        uint64_t(uint32_t(dib->lineBytes)) != line)
        return 0;
    layout->width = w;
    layout->height = ht;
    layout->bitCount = int32_t(bitCount);
    layout->compression = compression;
    layout->headerSize = headerSize;
    layout->pixelOffset = uint32_t(offset);
    layout->lineBytes = uint32_t(line);
    layout->paletteEntries = uint32_t(entries);
    return 1;
}

uint8_t GetByteValue(int value) {
    return uint8_t(value < 0 ? 0 : value > 255 ? 255 : value);
}

int ChangeDIBto24Bit(DIB* dib) {
    Source s;
    if (!openSource(dib, &s)) return 0;
    if (s.l.bitCount == 24) return 1;
    DIB out;
    if (!make24(s, &out)) return 0;
    ReplaceDIBBlock(dib, &out);
    return 1;
}

int ChangeDIBto16Bit(DIB* dib, int dither) {
    DIBLayout l;
    if (!GetDIBLayout(dib, &l)) return 0;
    if (isRgb565(dib, l)) return 1;
    return reduceTo(dib, 16, dither, 0);
}

int ChangeDIBto8Bit(DIB* dib, int precision) {
    DIBLayout l;
    if (!GetDIBLayout(dib, &l)) return 0;
    if (l.bitCount == 8) return 1;
    return reduceTo(dib, 8, 1, precision);
}

void FloydSteinbergDithering(const DIB* source, DIB* destination) {
    ditherInto(source, destination);
}

int MakeBestPalette(const DIB* source, DIB* destination, int n, int precision) {
    int ok;
    return bestPalette(source, destination, n, precision, &ok);
}

void SortColorValues(uint32_t* values, int first, int last, uint32_t* parallel) {
    if (!values || first < 0) return;
    while (first < last) {
        const int32_t p = int32_t(values[first + (last - first) / 2]);
        int i = first, j = last;
        while (i < j) {
            while (int32_t(values[i]) < p) i++;
            while (p < int32_t(values[j])) j--;
            if (i <= j) {
                uint32_t t = values[i];
                values[i] = values[j];
                values[j] = t;
                if (parallel) {
                    t = parallel[i];
                    parallel[i] = parallel[j];
                    parallel[j] = t;
                }
                i++;
                j--;
            }
        }
        if (parallel) {
            // Entries travelling along make the order of the two halves matter
            // for equal values: left half first, always.
            if (first < j) SortColorValues(values, first, j, parallel);
            first = i;
        } else if (j - first < last - i) {
            // Plain values sort to the same result in any order; taking the
            // smaller half first bounds the recursion depth on hostile input.
            if (first < j) SortColorValues(values, first, j, nullptr);
            first = i;
        } else {
            if (i < last) SortColorValues(values, i, last, nullptr);
            last = j;
        }
    }
}

int NearestPaletteColor(const uint8_t* palette, int red, int green, int blue, int entries) {
    if (!palette) return 0;
    int best = 200000, index = 0;
    for (int i = 0; i < entries; i++) {
        const uint8_t* e = palette + 4 * i;
        int db = e[0] - blue, dg = e[1] - green, dr = e[2] - red;
        int d = dr * dr + dg * dg + db * db;
        if (d < best) {
            best = d;
            index = i;
            if (d == 0) break;
        }
    }
    return index;
}

int paletteIndexAt(const uint8_t* row, int bitCount, int32_t x) {
    return bitCount == 8 ? row[x] : (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
}

uint32_t paletteKey(const Source& s, int index) {
    const uint8_t* e = s.pal + 3 * index;
    return packKey(e[0], e[1], e[2]);
}

// Colours of a 4- or 8-bit picture in the order their first pixel comes: each
// index is looked at once, so the count costs one table read per pixel.
int countPaletteColours(const Source& s, uint8_t* palette256) {
    bool seen[256] = {};
    KeyPositions positions;
    int count = 0;
    for (int32_t y = 0; y < s.l.height; y++) {
        const uint8_t* row = rowOf(s.dib, s.l, y);
        for (int32_t x = 0; x < s.l.width; x++) {
            int index = paletteIndexAt(row, s.l.bitCount, x);
            if (seen[index]) continue;
            seen[index] = true;
            uint32_t key = paletteKey(s, index);
            if (positions.find(key) >= 0) continue;
            if (palette256) wrLE32(palette256 + 4 * count, key);
            positions.add(key, count++);
        }
    }
    return count;
}

int CountColors(const DIB* dib, uint8_t* palette256, int stop) {
    Source s;
    if (!openSource(dib, &s)) return 0;
    if (s.l.bitCount == 1) return int(s.l.paletteEntries);
    if (s.l.bitCount <= 8) return countPaletteColours(s, palette256);
    uint8_t* row = static_cast<uint8_t*>(malloc(size_t(s.l.width) * 3));
    if (!row) return 0;
    // Only the first 257 colours are ever searched linearly; past that the
    // total comes from sorting, which gives the same count without the
    // quadratic scan over a photograph's many colours.
    uint32_t found[257];
    int count = 0, last = -1;
    KeyPositions positions;
    for (int32_t y = 0; y < s.l.height && count <= 256; y++) {
        decodeRow(s, y, row);
        for (int32_t x = 0; x < s.l.width; x++) {
            uint32_t key = packKey(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
            if (last >= 0 && found[last] == key) continue;
            last = positions.find(key);
            if (last >= 0) continue;
            if (palette256 && count < 256) wrLE32(palette256 + 4 * count, key);
            found[count] = key;
            positions.add(key, count);
            last = count++;
            if (count > 256) break;
        }
    }
    free(row);
    if (count <= 256 || stop) return count;
    uint32_t* keys = allKeys(s);
    if (!keys) return 0;
    uint64_t n = uint64_t(s.l.width) * uint64_t(s.l.height);
    SortColorValues(keys, 0, int(n - 1), nullptr);
    uint64_t d = countDistinct(keys, n);
    free(keys);
    return d > 0x7FFFFFFF ? 0x7FFFFFFF : int(d);
}

int ChangeDIBtoMinPalette(DIB* dib) {
    Source s;
    if (!openSource(dib, &s)) return 0;
    if (s.l.bitCount == 1) return int(s.l.paletteEntries);
    uint8_t found[256 * 4];
    int c = CountColors(dib, found, 1);
    if (c == 0 || c > 256 || c == dib->numColors) return c;
    uint32_t d = c <= 2 ? 1 : c <= 16 ? 4 : 8;
    uint32_t clrUsed = uint32_t(c) == (1u << d) ? 0 : uint32_t(c);
    DIB out;
    if (!newBlock(dib->mem, s.l.width, s.l.height, d, BMP_RGB, clrUsed, &out))
        return dib->numColors;
    uint32_t foundKeys[256], pal[256];
    for (int i = 0; i < c; i++) foundKeys[i] = rdLE32(found + 4 * i) & 0xFFFFFF;
    int n = 0;
    if (s.l.bitCount <= 8) {
        // Used colours keep their old order; duplicates merge into one entry.
        for (uint32_t i = 0; i < s.l.paletteEntries && n < c; i++) {
            const uint8_t* e = dib->palette + 4 * i;
            uint32_t key = packKey(e[0], e[1], e[2]);
            if (findKey(foundKeys, c, key) >= 0 && findKey(pal, n, key) < 0) pal[n++] = key;
        }
    }
    // Colours not in the old palette (indices past its end read as black, and
    // every colour of a 16-, 24- or 32-bit picture) follow in the order found.
    for (int i = 0; i < c && n < c; i++)
        if (findKey(pal, n, foundKeys[i]) < 0) pal[n++] = foundKeys[i];
    for (int i = 0; i < n; i++) wrLE32(out.palette + 4 * i, pal[i]);
    uint8_t* row = static_cast<uint8_t*>(malloc(size_t(s.l.width) * 3));
    if (!row) {
        dropBlock(&out);
        return dib->numColors;
    }
    DIBLayout lo;
    GetDIBLayout(&out, &lo);
    KeyPositions positions;
    for (int i = 0; i < n; i++) positions.add(pal[i], i);
    int newIndex[256] = {};
    if (s.l.bitCount <= 8)
        for (int i = 0; i < 256; i++) newIndex[i] = std::max(positions.find(paletteKey(s, i)), 0);
    int last = 0;
    for (int32_t y = 0; y < s.l.height; y++) {
        if (s.l.bitCount <= 8) {
            // Palette pictures map each old index straight to its new one.
            const uint8_t* r = rowOf(dib, s.l, y);
            uint8_t* o = out.bits + uint64_t(y) * lo.lineBytes;
            for (int32_t x = 0; x < s.l.width; x++) {
                int v = newIndex[paletteIndexAt(r, s.l.bitCount, x)];
                if (d == 8)
                    o[x] = uint8_t(v);
                else if (d == 4)
                    o[x >> 1] |= uint8_t((x & 1) ? v : v << 4);
                else if (v)
                    o[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
            continue;
        }
        decodeRow(s, y, row);
        uint8_t* o = out.bits + uint64_t(y) * lo.lineBytes;
        for (int32_t x = 0; x < s.l.width; x++) {
            uint32_t key = packKey(row[3 * x], row[3 * x + 1], row[3 * x + 2]);
            if (pal[last] != key) {
                int i = positions.find(key);
                last = i < 0 ? 0 : i;
            }
            if (d == 8)
                o[x] = uint8_t(last);
            else if (d == 4)
                o[x >> 1] |= uint8_t((x & 1) ? last : last << 4);
            else if (last)
                o[x >> 3] |= uint8_t(0x80 >> (x & 7));
        }
    }
    free(row);
    ReplaceDIBBlock(dib, &out);
    return c;
}

namespace {
// The transparent colour is looked for among candidates that rarely occur in
// pictures: a pale green first (blue, green, red), then steps of blue up and
// green and red down; the fallback search starts at this RGB565 value.
constexpr uint32_t kFirstCandidate[3] = {0x58, 0xF8, 0xA8};
constexpr uint32_t kCandidateStep[3] = {0x08, 0x18, 0x38};
constexpr int kCandidates = 32;
constexpr uint32_t kFallbackStart = 0xAFCB;

// Every colour the picture shows into the set; row has room for one row of
// 24-bit pixels.
void markPictureColors(const DIB* dib, const Source& s, uint8_t* row, UsedColors* set) {
    if (s.l.bitCount <= 8) {
        for (uint64_t i = 0; i < s.l.paletteEntries; i++) {
            const uint8_t* e = dib->palette + 4 * i;
            set->used[toRgb565(e[0], e[1], e[2])] = 1;
        }
        return;
    }
    // 32-bit pictures count too: the transparent colour chosen for them
    // must not already be one of their pixels.
    for (int32_t y = 0; y < s.l.height; y++) {
        if (s.l.bitCount == 16 && s.rgb565) {
            const uint8_t* r = rowOf(dib, s.l, y);
            for (int32_t x = 0; x < s.l.width; x++) set->used[rdLE16(r + 2 * x)] = 1;
            continue;
        }
        // 24-bit rows are read where they are.
        const uint8_t* bgr = rowOf(dib, s.l, y);
        if (s.l.bitCount != 24) {
            decodeRow(s, y, row);
            bgr = row;
        }
        for (int32_t x = 0; x < s.l.width; x++)
            set->used[toRgb565(bgr[3 * x], bgr[3 * x + 1], bgr[3 * x + 2])] = 1;
    }
}
} // namespace

int PickUnusedColor(const UsedColors* set, uint8_t* blueGreenRed) {
    auto used = [&](uint32_t value) { return set->used[value] != 0; };
    uint32_t b = kFirstCandidate[0], g = kFirstCandidate[1], r = kFirstCandidate[2];
    uint32_t value = toRgb565(b, g, r);
    int tries = 0;
    while (used(value) && tries < kCandidates) {
        b = (b + kCandidateStep[0]) & 0xFF;
        g = (g - kCandidateStep[1]) & 0xFF;
        r = (r - kCandidateStep[2]) & 0xFF;
        value = toRgb565(b, g, r);
        tries++;
    }
    if (used(value)) {
        // All candidates are in the picture: take the next RGB565 value it
        // does not use; a picture with every one of them has no free colour.
        int t = 0;
        while (t < 65536 && used((kFallbackStart + uint32_t(t)) & 0xFFFF)) t++;
        if (t == 65536) return 0;
        value = (kFallbackStart + uint32_t(t)) & 0xFFFF;
    }
    expand565(value, blueGreenRed);
    return 1;
}

int GetUnusedColor(const DIB* dib, uint8_t* blueGreenRed) {
    Source s;
    if (!blueGreenRed || !openSource(dib, &s) || s.l.bitCount == 1) return 0;
    UsedColors* set = static_cast<UsedColors*>(calloc(1, sizeof(UsedColors)));
    uint8_t* row = static_cast<uint8_t*>(malloc(size_t(s.l.width) * 3));
    int found = 0;
    if (set && row) {
        markPictureColors(dib, s, row, set);
        found = PickUnusedColor(set, blueGreenRed);
    }
    free(row);
    free(set);
    return found;
}

void ReplaceDIBBlock(DIB* dib, const DIB* fresh) {
    free(dib->mem);
    dib->mem = fresh->mem;
    dib->memSize = fresh->memSize;
    dib->numColors = fresh->numColors;
    dib->lineBytes = fresh->lineBytes;
    dib->bmih = fresh->bmih;
    dib->palette = fresh->palette;
    dib->bits = fresh->bits;
}
