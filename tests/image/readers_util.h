// Shared helpers of the reader tests: temporary files and pixel access.
#pragma once
#include "image/dib.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace readers_test {

using Bytes = std::vector<uint8_t>;

// Every temporary file named here is removed when the test program ends.
struct TempFiles {
    std::vector<std::string> paths;
    ~TempFiles() {
        for (const std::string& p : paths) remove(p.c_str());
    }
};
inline TempFiles& tempFiles() {
    static TempFiles files;
    return files;
}

// Named per process: other runs of the test program may share the folder.
inline std::string tempPath(const std::string& name) {
    std::string path =
        ::testing::TempDir() + "vantorix_readers_" + std::to_string(getpid()) + "_" + name;
    bool known = false;
    for (const std::string& p : tempFiles().paths) known = known || p == path;
    if (!known) tempFiles().paths.push_back(path);
    return path;
}

inline std::string writeTemp(const std::string& name, const Bytes& data) {
    std::string path = tempPath(name);
    // A fresh file each time: truncating an existing one makes ext4 flush it
    // to disk on close, which turns thousands of small writes into seconds.
    remove(path.c_str());
    FILE* f = fopen(path.c_str(), "wb");
    if (f) {
        if (!data.empty()) fwrite(data.data(), 1, data.size(), f);
        fclose(f);
    }
    return path;
}

inline Bytes readAll(const std::string& path) {
    Bytes out;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return out;
    int c;
    while ((c = fgetc(f)) != EOF) out.push_back(uint8_t(c));
    fclose(f);
    return out;
}

// The image list is large; keep it off the stack and always free it.
struct ListDeleter {
    void operator()(MultiDIB* list) const {
        MultiDibFree(list);
        free(list);
    }
};
using List = std::unique_ptr<MultiDIB, ListDeleter>;
inline List newList() {
    return List(static_cast<MultiDIB*>(calloc(1, sizeof(MultiDIB))));
}

inline const DIB& slotAt(const List& list, int k) {
    return list->slot[k];
}

// Colour (blue, green, red) of pixel x of picture row y (counted from the top).
inline void pixelBGR(const DIB& d, int x, int y, uint8_t out[3]) {
    const uint8_t* row = d.bits + size_t(DIBHeight(&d) - 1 - y) * d.lineBytes;
    int bits = DIBBitCount(&d);
    if (bits == 24) {
        memcpy(out, row + x * 3, 3);
        return;
    }
    int idx = bits == 8   ? row[x]
              : bits == 4 ? ((x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4)
                          : (row[x >> 3] >> (7 - (x & 7))) & 1;
    EXPECT_LT(idx, d.numColors) << "index beyond the palette at " << x << "," << y;
    if (idx >= d.numColors) idx = 0;
    memcpy(out, d.palette + idx * 4, 3);
}

// Every pixel read once: lets the sanitizers see a block that is too short.
inline uint32_t touchAll(const DIB& d) {
    uint32_t sum = 0;
    int w = DIBWidth(&d), h = DIBHeight(&d);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint8_t c[3];
            pixelBGR(d, x, y, c);
            sum += c[0] + c[1] + c[2];
        }
    return sum;
}

} // namespace readers_test
