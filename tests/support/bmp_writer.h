// Writes BMP files for tests: one builder, field by field, so that tests can
// break any one field, and the common pictures made with it.
#pragma once
#include "support/image_bytes.h"

#include <cstdint>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

// Overwrites a little-endian field of `bytes` at `at`.
inline void putLE(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

struct BmpFile {
    using Bytes = std::vector<uint8_t>;
    int32_t width = 4;
    int32_t height = 2;
    uint16_t planes = 1;
    uint16_t bits = 8;
    uint32_t compression = 0;
    uint32_t headerSize = 40;
    int64_t clrUsed = -1;   // -1: the number of palette entries given
    int64_t sizeImage = -1; // -1: the size of `pixels`
    uint32_t resolution = 2835;
    Bytes masks;          // written right after the header
    Bytes palette;        // 4 bytes an entry: blue, green, red, 0
    Bytes gap;            // between palette and pixels
    Bytes pixels;         // rows as stored, or the RLE stream
    int64_t offBits = -1; // -1: where the pixels really start
    int64_t sizeDelta = 0;
    uint16_t magic = 0x4D42;

    Bytes build() const {
        using namespace imagebytes;
        Bytes h;
        putLE32(h, headerSize);
        putLE32(h, uint32_t(width));
        putLE32(h, uint32_t(height));
        putLE16(h, planes);
        putLE16(h, bits);
        putLE32(h, compression);
        putLE32(h, uint32_t(sizeImage >= 0 ? sizeImage : int64_t(pixels.size())));
        putLE32(h, resolution);
        putLE32(h, resolution);
        putLE32(h, uint32_t(clrUsed >= 0 ? clrUsed : int64_t(palette.size() / 4)));
        putLE32(h, 0);
        h.resize(headerSize, 0);
        const size_t start = 14 + h.size() + masks.size() + palette.size() + gap.size();
        const size_t total = start + pixels.size();
        Bytes f;
        putLE16(f, magic);
        putLE32(f, uint32_t(int64_t(total) + sizeDelta));
        putLE32(f, 0);
        putLE32(f, uint32_t(offBits >= 0 ? offBits : int64_t(start)));
        for (const Bytes* part : {static_cast<const Bytes*>(&h), &masks, &palette, &gap, &pixels})
            f.insert(f.end(), part->begin(), part->end());
        return f;
    }
};

// Palette entries from 0xRRGGBB values.
inline std::vector<uint8_t> paletteOf(std::initializer_list<uint32_t> rgb) {
    std::vector<uint8_t> p;
    for (uint32_t c : rgb) p.insert(p.end(), {uint8_t(c), uint8_t(c >> 8), uint8_t(c >> 16), 0});
    return p;
}

inline std::vector<uint8_t> greyPalette(int n) {
    std::vector<uint8_t> p(size_t(n) * 4, 0);
    for (int k = 0; k < n; ++k) p[4 * k] = p[4 * k + 1] = p[4 * k + 2] = uint8_t(k);
    return p;
}

// 24-bit bottom-up BMP file image; colour(x, y) gives 0xRRGGBB for viewer (x, y).
inline std::vector<uint8_t> makeBmp24(int width, int height,
                                      const std::function<uint32_t(int, int)>& colour) {
    const int rowBytes = (width * 3 + 3) & ~3;
    BmpFile f;
    f.width = width;
    f.height = height;
    f.bits = 24;
    f.resolution = 0;
    f.pixels.assign(size_t(rowBytes) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t c = colour(x, y);
            uint8_t* p = &f.pixels[size_t(height - 1 - y) * rowBytes + 3 * size_t(x)];
            p[0] = uint8_t(c);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c >> 16);
        }
    return f.build();
}

// 8-bit bottom-up BMP with a full 256-entry grey palette; index(x, y) per pixel.
inline std::vector<uint8_t> makeBmp8(int width, int height,
                                     const std::function<uint8_t(int, int)>& index) {
    const int rowBytes = (width + 3) & ~3;
    BmpFile f;
    f.width = width;
    f.height = height;
    f.resolution = 0;
    f.clrUsed = 0;
    f.palette = greyPalette(256);
    f.pixels.assign(size_t(rowBytes) * height, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            f.pixels[size_t(height - 1 - y) * rowBytes + x] = index(x, y);
    return f.build();
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
