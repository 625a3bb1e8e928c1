// Writes small BMP files for tests.
#pragma once
#include <cstdint>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

inline void putLE(std::vector<uint8_t>& b, size_t at, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

// 24-bit bottom-up BMP file image; colour(x, y) gives 0xRRGGBB for viewer (x, y).
inline std::vector<uint8_t> makeBmp24(int width, int height,
                                      const std::function<uint32_t(int, int)>& colour) {
    int rowBytes = (width * 3 + 3) & ~3;
    std::vector<uint8_t> b(54 + size_t(rowBytes) * height, 0);
    b[0] = 'B';
    b[1] = 'M';
    putLE(b, 2, uint32_t(b.size()), 4);
    putLE(b, 10, 54, 4);
    putLE(b, 14, 40, 4);
    putLE(b, 18, uint32_t(width), 4);
    putLE(b, 22, uint32_t(height), 4);
    putLE(b, 26, 1, 2);
    putLE(b, 28, 24, 2);
    putLE(b, 34, uint32_t(rowBytes * height), 4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t c = colour(x, y);
            uint8_t* p = &b[54 + size_t(height - 1 - y) * rowBytes + 3 * size_t(x)];
            p[0] = uint8_t(c);
            p[1] = uint8_t(c >> 8);
            p[2] = uint8_t(c >> 16);
        }
    return b;
}

// 8-bit bottom-up BMP with a full 256-entry grey palette; index(x, y) per pixel.
inline std::vector<uint8_t> makeBmp8(int width, int height,
                                     const std::function<uint8_t(int, int)>& index) {
    int rowBytes = (width + 3) & ~3;
    size_t offset = 54 + 1024;
    std::vector<uint8_t> b(offset + size_t(rowBytes) * height, 0);
    b[0] = 'B';
    b[1] = 'M';
    putLE(b, 2, uint32_t(b.size()), 4);
    putLE(b, 10, uint32_t(offset), 4);
    putLE(b, 14, 40, 4);
    putLE(b, 18, uint32_t(width), 4);
    putLE(b, 22, uint32_t(height), 4);
    putLE(b, 26, 1, 2);
    putLE(b, 28, 8, 2);
    putLE(b, 34, uint32_t(rowBytes * height), 4);
    for (int i = 0; i < 256; ++i) b[54 + 4 * i] = b[55 + 4 * i] = b[56 + 4 * i] = uint8_t(i);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            b[offset + size_t(height - 1 - y) * rowBytes + x] = index(x, y);
    return b;
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}
