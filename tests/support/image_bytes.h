// Building picture files byte by byte in tests: little-endian fields (BMP,
// GIF), big-endian ones and chunks (PNG).
#pragma once
#include <zlib.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace imagebytes {

using Bytes = std::vector<uint8_t>;

// Kept out of line: once inlined into a run of field writes, GCC 12's flow
// analysis misreads the vector's growth as an overflow (-Warray-bounds,
// -Wstringop-overflow) at -O2 and -O3.
[[gnu::noinline]] inline void appendLE(Bytes& b, uint32_t v, int bytes) {
    const size_t at = b.size();
    b.resize(at + size_t(bytes));
    for (int k = 0; k < bytes; ++k) b[at + k] = uint8_t(v >> (8 * k));
}
inline void putLE16(Bytes& b, uint32_t v) {
    appendLE(b, v, 2);
}
inline void putLE32(Bytes& b, uint32_t v) {
    appendLE(b, v, 4);
}
[[gnu::noinline]] inline void putBE32(Bytes& b, uint32_t v) {
    const size_t at = b.size();
    b.resize(at + 4);
    for (int k = 0; k < 4; ++k) b[at + k] = uint8_t(v >> (24 - 8 * k));
}

// A PNG chunk with its CRC (spoilt on request).
inline Bytes pngChunk(const char* type, const Bytes& data, bool badCrc = false) {
    Bytes b;
    putBE32(b, uint32_t(data.size()));
    b.resize(8 + data.size());
    memcpy(&b[4], type, 4);
    if (!data.empty()) memcpy(&b[8], data.data(), data.size());
    uLong crc = crc32(0, b.data() + 4, uInt(data.size() + 4));
    putBE32(b, uint32_t(crc) ^ (badCrc ? 1u : 0u));
    return b;
}

inline Bytes pngHeader(uint32_t w, uint32_t h, int depth, int type, int interlace = 0) {
    Bytes d(13, 0);
    for (int k = 0; k < 4; ++k) {
        d[k] = uint8_t(w >> (24 - 8 * k));
        d[4 + k] = uint8_t(h >> (24 - 8 * k));
    }
    d[8] = uint8_t(depth);
    d[9] = uint8_t(type);
    d[12] = uint8_t(interlace);
    return d;
}

inline Bytes deflateBytes(const Bytes& raw) {
    uLongf len = compressBound(uLong(raw.size()));
    Bytes out(len);
    compress2(out.data(), &len, raw.data(), uLong(raw.size()), 9);
    out.resize(len);
    return out;
}

inline Bytes pngFile(const std::vector<Bytes>& chunks) {
    Bytes f = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    for (const Bytes& c : chunks) f.insert(f.end(), c.begin(), c.end());
    return f;
}

} // namespace imagebytes
