// Creation, freeing and rotation of single bitmaps.
#include "image/dib.h"

#include <cstdlib>
#include <cstring>

namespace {

int validDepth(int bits) {
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

void fillNewPalette(uint8_t* pal, int bits, uint32_t colors, const DIB* model) {
    if (model) {
        memcpy(pal, model->palette, size_t(colors) * 4);
    } else if (bits == 1) {
        pal[0] = pal[1] = pal[2] = 255; // white first, black second
    } else {
        // Grey ramp from black to white for the other palette depths.
        for (uint32_t k = 0; k < colors; ++k) {
            const uint8_t g = uint8_t(k * 255 / (colors - 1));
            pal[4 * k] = pal[4 * k + 1] = pal[4 * k + 2] = g;
        }
    }
}

int getPixel(const uint8_t* row, int64_t x, int bits) {
    if (bits == 1) return (row[x >> 3] >> (7 - (x & 7))) & 1;
    return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
}

// Sets one 1- or 4-bit pixel and keeps its neighbours in the same byte.
void setPixel(uint8_t* row, int64_t x, int bits, int v) {
    if (bits == 1) {
        const uint8_t bit = uint8_t(0x80 >> (x & 7));
        row[x >> 3] = uint8_t(v ? (row[x >> 3] | bit) : (row[x >> 3] & ~bit));
    } else {
        uint8_t* b = row + (x >> 1);
        *b = (x & 1) ? uint8_t((*b & 0xF0) | (v & 0x0F)) : uint8_t((*b & 0x0F) | (v << 4));
    }
}

} // namespace

int NewDIB(DIB* dib, int32_t width, int32_t height, int32_t bitsPerPixel, const DIB* model) {
    if (!dib) return 0;
    // The rectangles belong to the caller and survive; everything else is new.
    // The old block goes only at the end: the template may be this record.
    const Rect pos = dib->rcPos, active = dib->rcActive;
    auto fail = [&]() {
        free(dib->mem);
        memset(dib, 0, sizeof *dib);
        dib->rcPos = pos;
        dib->rcActive = active;
        return 0;
    };

    const int haveModel = model && model->mem;
    int bits = bitsPerPixel;
    if (bits == 0 && haveModel) bits = DIBBitCount(model);
    if (!validDepth(bits) || width <= 0 || height <= 0 ||
        DIBTooManyPixels(uint64_t(width), uint64_t(height)))
        return fail();

    uint32_t colors = 0;
    int copyPalette = 0;
    if (bits <= 8) {
        colors = 1u << bits;
        const int modelBits = haveModel ? DIBBitCount(model) : 0;
        // A template without a palette, or with more entries than this depth
        // can index, gives only what fits.
        if (haveModel && modelBits <= 8 && model->numColors > 0) {
            copyPalette = 1;
            if (uint32_t(model->numColors) < colors) colors = uint32_t(model->numColors);
        }
    }
    DIB fresh;
    if (!MakeDIBBlock(&fresh, width, height, bits, bits == 16 ? BMP_BITFIELDS : BMP_RGB, colors,
                      nullptr))
        return fail();
    if (bits <= 8) fillNewPalette(fresh.palette, bits, colors, copyPalette ? model : nullptr);
    free(dib->mem);
    memset(dib, 0, sizeof *dib);
    dib->rcPos = pos;
    dib->rcActive = active;
    ReplaceDIBBlock(dib, &fresh);
    return 1;
}

void FreeDIB(DIB* dib) {
    if (!dib) return;
    free(dib->mem);
    memset(dib, 0, sizeof *dib);
}

int RotateDIB(DIB* dib, int32_t angle) {
    if (!dib) return 0;
    DIB turned;
    memset(&turned, 0, sizeof turned);
    if (!CopyRotateDIB(&turned, dib, angle)) return 0;
    free(dib->mem);
    *dib = turned;
    // The caller places the turned bitmap anew.
    memset(&dib->rcPos, 0, sizeof dib->rcPos);
    memset(&dib->rcActive, 0, sizeof dib->rcActive);
    return 1;
}

int CopyRotateDIB(DIB* destination, const DIB* source, int32_t angle) {
    if (!destination || !source) return 0;
    if (destination == source) return RotateDIB(destination, angle);
    // Only quarter turns exist; a multiple of 360 in either direction is a copy.
    const int32_t rest = angle % 360;
    if (rest % 90 != 0) return 0;
    const int32_t internal = rest < 0 ? -rest : (360 - rest) % 360;
    FreeDIB(destination);
    if (internal == 0) return CopyDIB(source, destination);
    return CopyRotate90DIB(destination, source, internal);
}

int CopyRotate90DIB(DIB* destination, const DIB* source, int32_t angle) {
    if (!destination || !source || !source->mem) return 0;
    if (angle != 90 && angle != 180 && angle != 270) return 0;
    const int bits = DIBBitCount(source);
    const uint32_t compression = rdLE32(source->bmih + BI_COMPRESSION);
    const int64_t W = DIBWidth(source), H = DIBHeight(source);
    if (!validDepth(bits) || (compression != BMP_RGB && compression != BMP_BITFIELDS)) return 0;
    if (W <= 0 || H <= 0 || DIBTooManyPixels(uint64_t(W), uint64_t(H))) return 0;
    if (source->bits < source->mem) return 0;
    const size_t head = size_t(source->bits - source->mem);

    const int64_t newW = angle == 180 ? W : H;
    const int64_t newH = angle == 180 ? H : W;
    const uint64_t line = DIBRowBytes(newW, bits);
    const uint64_t area = line * uint64_t(newH);
    uint8_t* block = static_cast<uint8_t*>(calloc(1, size_t(head + area)));
    if (!block) return 0;
    memcpy(block, source->mem, head);
    wrLE32(block + BI_WIDTH, uint32_t(newW));
    wrLE32(block + BI_HEIGHT, uint32_t(newH));
    DIB turned;
    memset(&turned, 0, sizeof turned);
    turned.mem = block;
    InitDIB(&turned);

    const size_t srcLine = size_t(source->lineBytes);
    const int bytes = bits / 8;
    for (int64_t j = 0; j < newH; ++j) {
        uint8_t* dst = turned.bits + size_t(j) * size_t(line);
        for (int64_t i = 0; i < newW; ++i) {
            int64_t sc, sr;
            if (angle == 180) {
                sc = W - 1 - i;
                sr = H - 1 - j;
            } else if (angle == 90) {
                sc = j;
                sr = H - 1 - i;
            } else {
                sc = W - 1 - j;
                sr = i;
            }
            const uint8_t* src = source->bits + size_t(sr) * srcLine;
            if (bits >= 8)
                memcpy(dst + size_t(i) * bytes, src + size_t(sc) * bytes, size_t(bytes));
            else
                setPixel(dst, i, bits, getPixel(src, sc, bits));
        }
    }

    if (destination->mem) free(destination->mem);
    *destination = turned;
    return 1;
}
