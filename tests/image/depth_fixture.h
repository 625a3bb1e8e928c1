// Hand-built bitmap records for the colour-depth and resizing tests. The record
// is laid out here, not by the library, so these tests check the library's
// operations against an independent reading of the block format.
#pragma once
#include "image/dib.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace depthtest {

inline uint32_t rowBytes(int w, int bits) {
    return uint32_t(((w * bits + 31) / 32) * 4);
}

// Block = 40-byte header, palette (bits <= 8) or RGB565 masks (16 bits with
// masks565), zeroed rows. clrUsed 0 means a full palette.
inline DIB makeDIB(int w, int h, int bits, uint32_t clrUsed = 0, bool masks565 = false) {
    uint32_t entries = bits <= 8 ? (clrUsed ? clrUsed : 1u << bits) : 0;
    uint32_t extra = bits <= 8 ? 4 * entries : (bits == 16 && masks565 ? 12 : 0);
    uint32_t image = rowBytes(w, bits) * uint32_t(h);
    uint32_t size = 40 + extra + image;
    uint8_t* m = static_cast<uint8_t*>(calloc(1, size));
    wrLE32(m + BI_SIZE, 40);
    wrLE32(m + BI_WIDTH, uint32_t(w));
    wrLE32(m + BI_HEIGHT, uint32_t(h));
    wrLE16(m + BI_PLANES, 1);
    wrLE16(m + BI_BITCOUNT, uint16_t(bits));
    wrLE32(m + BI_COMPRESSION, bits == 16 && masks565 ? 3 : 0);
    wrLE32(m + BI_SIZEIMAGE, image);
    wrLE32(m + BI_XPELS, 3780);
    wrLE32(m + BI_YPELS, 3780);
    wrLE32(m + BI_CLRUSED, clrUsed);
    if (bits == 16 && masks565) {
        wrLE32(m + 40, 0xF800);
        wrLE32(m + 44, 0x07E0);
        wrLE32(m + 48, 0x001F);
    }
    DIB d{};
    d.mem = m;
    d.memSize = size;
    d.numColors = bits <= 8 ? int32_t(entries) : bits == 16 ? 65536 : 16777216;
    d.lineBytes = int32_t(rowBytes(w, bits));
    d.bmih = m;
    d.palette = m + 40;
    d.bits = m + 40 + extra;
    return d;
}

// Owns a record's block for the length of a test.
struct Owned {
    DIB d;
    explicit Owned(DIB x) : d(x) {}
    ~Owned() { free(d.mem); }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;
};

inline uint8_t* pixel(const DIB& d, int x, int y) {
    return d.bits + size_t(y) * size_t(d.lineBytes) + size_t(x) * size_t(DIBBitCount(&d) / 8);
}
inline void set24(const DIB& d, int x, int y, int b, int g, int r) {
    uint8_t* p = pixel(d, x, y);
    p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r);
}
inline uint16_t get16(const DIB& d, int x, int y) {
    return rdLE16(pixel(d, x, y));
}
inline void set16(const DIB& d, int x, int y, uint16_t v) {
    wrLE16(pixel(d, x, y), v);
}
inline void setPal(const DIB& d, int i, int b, int g, int r) {
    uint8_t* p = d.palette + 4 * i;
    p[0] = uint8_t(b), p[1] = uint8_t(g), p[2] = uint8_t(r), p[3] = 0;
}
inline int getIndex(const DIB& d, int x, int y) {
    const uint8_t* row = d.bits + size_t(y) * size_t(d.lineBytes);
    switch (DIBBitCount(&d)) {
    case 1:
        return (row[x / 8] >> (7 - x % 8)) & 1;
    case 4:
        return x % 2 ? row[x / 2] & 15 : row[x / 2] >> 4;
    default:
        return row[x];
    }
}
inline void setIndex(const DIB& d, int x, int y, int v) {
    uint8_t* row = d.bits + size_t(y) * size_t(d.lineBytes);
    switch (DIBBitCount(&d)) {
    case 1:
        row[x / 8] = uint8_t(v ? row[x / 8] | (0x80 >> (x % 8)) : row[x / 8] & ~(0x80 >> (x % 8)));
        break;
    case 4:
        row[x / 2] = uint8_t(x % 2 ? (row[x / 2] & 0xF0) | v : (row[x / 2] & 0x0F) | (v << 4));
        break;
    default:
        row[x] = uint8_t(v);
    }
}

inline std::vector<uint8_t> blockBytes(const DIB& d) {
    return std::vector<uint8_t>(d.mem, d.mem + d.memSize);
}

// Small deterministic generator, so that "random" pictures are the same on
// every run and platform.
struct Lcg {
    uint32_t s;
    explicit Lcg(uint32_t seed) : s(seed) {}
    uint32_t next() {
        s = s * 1664525u + 1013904223u;
        return s >> 8;
    }
};

} // namespace depthtest
