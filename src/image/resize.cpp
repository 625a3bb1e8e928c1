// Resizing: nearest pixel for palette pictures (they keep palette and depth),
// area averaging in 24 bits for the others. The averaging is a box filter in
// exact integer arithmetic, so a picture scales to the same bytes everywhere.
#include "image/dib.h"

#include <cstdlib>
#include <cstring>

namespace {

// Fits or stretches (srcW x srcH) into the requested box; 0 when both sides
// are missing.
int targetSize(int32_t srcW, int32_t srcH, int w, int h, int keepAspect, int32_t* outW,
               int32_t* outH) {
    if (w < 1 && h < 1) return 0;
    int64_t wFromH = int64_t(srcW) * h / srcH;
    int64_t hFromW = int64_t(srcH) * w / srcW;
    int64_t nw = w, nh = h;
    if (w < 1) {
        nw = wFromH;
    } else if (h < 1) {
        nh = hFromW;
    } else if (keepAspect) {
        if (nw < wFromH) nh = hFromW;
        if (nh < hFromW) nw = wFromH;
    }
    // A very thin picture can round a derived side down to nothing; one row or
    // column is the least a bitmap can have.
    if (nw < 1) nw = 1;
    if (nh < 1) nh = 1;
    if (nw > 0x7FFFFFFF || nh > 0x7FFFFFFF) return 0;
    *outW = int32_t(nw);
    *outH = int32_t(nh);
    return 1;
}

// A block with the picture's header and palette (or masks) and zeroed rows of
// the new size, laid out into *out.
int newSizedBlock(const DIB* dib, const DIBLayout& l, int32_t w, int32_t h, DIB* out) {
    memset(out, 0, sizeof *out);
    uint64_t line = DIBRowBytes(w, l.bitCount);
    uint64_t total = l.pixelOffset + line * uint64_t(h);
    if (total > DIB_MAX_BLOCK) return 0;
    uint8_t* blk = static_cast<uint8_t*>(calloc(1, size_t(total)));
    if (!blk) return 0;
    memcpy(blk, dib->mem, l.pixelOffset);
    wrLE32(blk + BI_WIDTH, uint32_t(w));
    wrLE32(blk + BI_HEIGHT, uint32_t(h));
    wrLE32(blk + BI_SIZEIMAGE, uint32_t(line * uint64_t(h)));
    out->mem = blk;
    InitDIB(out);
    DIBLayout check;
    if (!GetDIBLayout(out, &check) || out->memSize != total || check.width != w ||
        check.height != h) {
        free(blk);
        memset(out, 0, sizeof *out);
        return 0;
    }
    return 1;
}

// A private copy of the picture, so that a chain of steps can fail without
// touching the original.
int duplicate(const DIB* dib, const DIBLayout& l, DIB* out) {
    memset(out, 0, sizeof *out);
    uint64_t total = l.pixelOffset + uint64_t(l.lineBytes) * uint64_t(l.height);
    uint8_t* blk = static_cast<uint8_t*>(malloc(size_t(total)));
    if (!blk) return 0;
    memcpy(blk, dib->mem, size_t(total));
    out->mem = blk;
    InitDIB(out);
    DIBLayout check;
    if (!GetDIBLayout(out, &check)) {
        free(blk);
        memset(out, 0, sizeof *out);
        return 0;
    }
    return 1;
}

// Overlap of destination pixels with source pixels along one axis. Source pixel
// s spans [s * dst, (s + 1) * dst) and destination pixel d spans
// [d * src, (d + 1) * src), so every overlap is a whole number and the weights
// of one destination pixel add up to src.
struct Axis {
    int32_t* first;    // first source pixel of each destination pixel
    int32_t* count;    // number of source pixels it covers
    uint32_t* start;   // index of its first weight
    uint32_t* weights; // overlaps, destination by destination
};

void freeAxis(Axis* a) {
    free(a->first);
    free(a->count);
    free(a->start);
    free(a->weights);
}

int buildAxis(int32_t src, int32_t dst, Axis* a) {
    a->first = static_cast<int32_t*>(malloc(size_t(dst) * sizeof(int32_t)));
    a->count = static_cast<int32_t*>(malloc(size_t(dst) * sizeof(int32_t)));
    a->start = static_cast<uint32_t*>(malloc(size_t(dst) * sizeof(uint32_t)));
    // Each destination pixel covers at most one source pixel more than the
    // previous one ended on, so src + dst weights always suffice.
    a->weights = static_cast<uint32_t*>(malloc((size_t(src) + size_t(dst)) * sizeof(uint32_t)));
    if (!a->first || !a->count || !a->start || !a->weights) {
        freeAxis(a);
        return 0;
    }
    uint32_t at = 0;
    for (int32_t d = 0; d < dst; d++) {
        uint64_t lo = uint64_t(d) * uint64_t(src), hi = lo + uint64_t(src);
        int32_t s0 = int32_t(lo / uint64_t(dst)), s1 = int32_t((hi - 1) / uint64_t(dst));
        a->first[d] = s0;
        a->count[d] = s1 - s0 + 1;
        a->start[d] = at;
        for (int32_t s = s0; s <= s1; s++) {
            uint64_t a0 = uint64_t(s) * uint64_t(dst), a1 = a0 + uint64_t(dst);
            uint64_t from = a0 > lo ? a0 : lo, to = a1 < hi ? a1 : hi;
            a->weights[at++] = uint32_t(to - from);
        }
    }
    return 1;
}

// Each destination pixel is the area-weighted mean of the source pixels it
// covers, rounded to nearest.
int boxFilter(const DIB* src, const DIBLayout& ls, DIB* dst, const DIBLayout& ld) {
    const int32_t w = ld.width, h = ld.height;
    Axis ax = {}, ay = {};
    uint64_t* rowSum = static_cast<uint64_t*>(malloc(size_t(w) * 3 * sizeof(uint64_t)));
    uint64_t* acc = static_cast<uint64_t*>(malloc(size_t(w) * 3 * sizeof(uint64_t)));
    int ok = rowSum && acc && buildAxis(ls.width, w, &ax) && buildAxis(ls.height, h, &ay);
    if (ok) {
        const uint64_t total = uint64_t(ls.width) * uint64_t(ls.height), half = total / 2;
        for (int32_t yn = 0; yn < h; yn++) {
            memset(acc, 0, size_t(w) * 3 * sizeof(uint64_t));
            for (int32_t k = 0; k < ay.count[yn]; k++) {
                const uint8_t* row = src->bits + uint64_t(ay.first[yn] + k) * ls.lineBytes;
                const uint64_t wy = ay.weights[ay.start[yn] + k];
                for (int32_t xn = 0; xn < w; xn++) {
                    const uint8_t* p = row + 3 * uint64_t(ax.first[xn]);
                    const uint32_t* wx = ax.weights + ax.start[xn];
                    uint64_t b = 0, g = 0, r = 0;
                    for (int32_t j = 0; j < ax.count[xn]; j++, p += 3) {
                        b += uint64_t(p[0]) * wx[j];
                        g += uint64_t(p[1]) * wx[j];
                        r += uint64_t(p[2]) * wx[j];
                    }
                    rowSum[3 * xn] = b;
                    rowSum[3 * xn + 1] = g;
                    rowSum[3 * xn + 2] = r;
                }
                for (int32_t i = 0; i < 3 * w; i++) acc[i] += rowSum[i] * wy;
            }
            uint8_t* out = dst->bits + uint64_t(yn) * ld.lineBytes;
            for (int32_t i = 0; i < 3 * w; i++) out[i] = uint8_t((acc[i] + half) / total);
        }
    }
    freeAxis(&ax);
    freeAxis(&ay);
    free(rowSum);
    free(acc);
    return ok;
}

} // namespace

int ResizeDIB(DIB* dib, int width, int height, int keepAspect) {
    DIBLayout l;
    if (!GetDIBLayout(dib, &l)) return 0;
    int32_t w, h;
    if (!targetSize(l.width, l.height, width, height, keepAspect, &w, &h)) return 0;
    DIB out;
    if (!newSizedBlock(dib, l, w, h, &out)) return 0;
    DIBLayout lo;
    GetDIBLayout(&out, &lo);
    // Pictures of 16 to 32 bits are whole bytes per pixel and scale the same way.
    const uint32_t pixelBytes = uint32_t(l.bitCount) / 8;
    for (int32_t yn = 0; yn < h; yn++) {
        const uint8_t* s = dib->bits + uint64_t(int64_t(yn) * l.height / h) * l.lineBytes;
        uint8_t* o = out.bits + uint64_t(yn) * lo.lineBytes;
        for (int32_t xn = 0; xn < w; xn++) {
            const uint32_t xs = uint32_t(int64_t(xn) * l.width / w);
            switch (l.bitCount) {
            case 1:
                if (s[xs >> 3] & (0x80 >> (xs & 7))) o[xn >> 3] |= uint8_t(0x80 >> (xn & 7));
                break;
            case 4: {
                const uint8_t v = s[xs >> 1];
                const uint8_t nibble = (xs & 1) ? (v & 15) : (v >> 4);
                o[xn >> 1] |= uint8_t((xn & 1) ? nibble : nibble << 4);
                break;
            }
            case 8:
                o[xn] = s[xs];
                break;
            default:
                memcpy(o + uint64_t(xn) * pixelBytes, s + uint64_t(xs) * pixelBytes, pixelBytes);
                break;
            }
        }
    }
    ReplaceDIBBlock(dib, &out);
    return 1;
}

namespace {

// The averaged picture in a new block *out; the picture itself stays as it is.
int halftoneInto(const DIB* dib, int width, int height, int keepAspect, DIB* out) {
    DIBLayout l;
    if (!GetDIBLayout(dib, &l)) return 0;
    int32_t w, h;
    if (!targetSize(l.width, l.height, width, height, keepAspect, &w, &h)) return 0;
    // Other depths are averaged from a 24-bit copy.
    DIB tmp = {};
    const DIB* src = dib;
    if (l.bitCount != 24) {
        if (!duplicate(dib, l, &tmp)) return 0;
        if (!ChangeDIBto24Bit(&tmp)) {
            free(tmp.mem);
            return 0;
        }
        src = &tmp;
    }
    DIBLayout ls, lo;
    int ok = GetDIBLayout(src, &ls) && newSizedBlock(src, ls, w, h, out);
    if (ok) {
        GetDIBLayout(out, &lo);
        ok = boxFilter(src, ls, out, lo);
        if (!ok) free(out->mem);
    }
    free(tmp.mem);
    return ok;
}

} // namespace

int HalftoneResizeDIB(DIB* dib, int width, int height, int keepAspect) {
    DIB out;
    if (!halftoneInto(dib, width, height, keepAspect, &out)) return 0;
    ReplaceDIBBlock(dib, &out);
    return 1;
}

int NewResizeDIB(DIB* dib, int width, int height, int keepAspect) {
    DIBLayout l;
    if (!dib || !dib->mem || !GetDIBLayout(dib, &l)) return 0;
    if (l.bitCount <= 8) return ResizeDIB(dib, width, height, keepAspect);
    // The result is built beside the picture, which changes only once every
    // step has succeeded; a 24-bit picture is averaged without a copy.
    DIB work;
    if (!halftoneInto(dib, width, height, keepAspect, &work)) return 0;
    if (l.bitCount == 16 && !ChangeDIBto16Bit(&work, 1)) {
        free(work.mem);
        return 0;
    }
    ReplaceDIBBlock(dib, &work);
    return 1;
}
