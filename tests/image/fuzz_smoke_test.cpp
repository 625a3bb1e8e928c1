// A short, deterministic fuzz run of the three readers: mutated small files must
// load or fail cleanly (run it under the sanitizers to see out-of-bounds access).
#include "image/dib.h"
#include "image/png_internal.h"
#include "image/readers_util.h"
#include "support/image_bytes.h"

#include <gtest/gtest.h>
#include <jpeglib.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

using namespace readers_test;
using namespace imagebytes;

namespace {

void addChunk(Bytes& f, const char* type, const Bytes& data) {
    const Bytes chunk = pngChunk(type, data);
    f.insert(f.end(), chunk.begin(), chunk.end());
}

// Re-computes every chunk CRC that can be found, so mutations reach the decoder.
void fixCrcs(Bytes& f) {
    size_t pos = 8;
    while (pos + 12 <= f.size()) {
        uint32_t len =
            (uint32_t(f[pos]) << 24) | (f[pos + 1] << 16) | (f[pos + 2] << 8) | f[pos + 3];
        if (len > f.size() - pos - 12) return;
        uint32_t crc = uint32_t(crc32(0, f.data() + pos + 4, uInt(len + 4)));
        for (int i = 0; i < 4; i++) f[pos + 8 + len + i] = uint8_t(crc >> (24 - 8 * i));
        pos += size_t(len) + 12;
    }
}

struct PngSeed {
    uint32_t w, h;
    int depth, type, interlace;
};

Bytes pngSeed(const PngSeed& s, std::mt19937& rng, Bytes* rawOut = nullptr) {
    PngReset();
    png.width = s.w;
    png.height = s.h;
    png.bitDepth = uint8_t(s.depth);
    png.colorType = uint8_t(s.type);
    png.interlace = uint8_t(s.interlace);
    png.rowBytes = png_linebytes(s.w, s.depth, s.type);
    size_t size = size_t(png_inflated_size());
    PngReset();
    Bytes raw(size);
    for (auto& b : raw) b = uint8_t(rng() % 5 == 0 ? rng() % 5 : rng());
    if (rawOut) *rawOut = raw;
    Bytes f = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};
    addChunk(f, "IHDR", pngHeader(s.w, s.h, s.depth, s.type, s.interlace));
    if (s.type == 3) {
        Bytes pal(size_t(3) << s.depth);
        for (auto& b : pal) b = uint8_t(rng());
        addChunk(f, "PLTE", pal);
        addChunk(f, "tRNS", {0, 255, 12, 200});
    }
    if (s.type == 0) addChunk(f, "tRNS", {0, 1});
    if (s.type == 2) addChunk(f, "tRNS", {0, 1, 0, 2, 0, 3});
    uLongf len = compressBound(uLong(raw.size()));
    Bytes z(len);
    compress2(z.data(), &len, raw.data(), uLong(raw.size()), 6);
    z.resize(len);
    // Two IDAT chunks, so the gathering of the stream is exercised too.
    size_t half = z.size() / 2;
    addChunk(f, "IDAT", Bytes(z.begin(), z.begin() + half));
    addChunk(f, "IDAT", Bytes(z.begin() + half, z.end()));
    addChunk(f, "IEND", {});
    return f;
}

// A GIF whose LZW data uses only literal codes (a clear code before the table
// would grow): valid for any decoder, and easy to write here.
void gifImage(Bytes& f, int left, int top, int w, int h, int flags, int m, std::mt19937& rng) {
    f.insert(f.end(), {0x21, 0xF9, 4, uint8_t(rng() % 16), 10, 0, 1, 0});
    f.push_back(0x2C);
    for (int v : {left, top, w, h}) {
        f.push_back(uint8_t(v));
        f.push_back(uint8_t(v >> 8));
    }
    f.push_back(uint8_t(flags));
    if (flags & 0x80)
        for (int i = 0; i < (6 << (flags & 7)); i++) f.push_back(uint8_t(rng()));
    f.push_back(uint8_t(m));
    int clear = 1 << m, size = m + 1, run = 0;
    uint32_t acc = 0;
    int bits = 0;
    Bytes data;
    auto put = [&](int code) {
        acc |= uint32_t(code) << bits;
        bits += size;
        while (bits >= 8) {
            data.push_back(uint8_t(acc));
            acc >>= 8;
            bits -= 8;
        }
    };
    for (int i = 0; i < w * h; i++) {
        if (run == 0) put(clear);
        put(int(rng() % clear));
        if (++run == clear - 2) run = 0;
    }
    put(clear + 1);
    if (bits) data.push_back(uint8_t(acc));
    for (size_t o = 0; o < data.size(); o += 255) {
        size_t n = std::min<size_t>(255, data.size() - o);
        f.push_back(uint8_t(n));
        f.insert(f.end(), data.begin() + o, data.begin() + o + n);
    }
    f.push_back(0);
}

Bytes gifSeed(std::mt19937& rng, bool animated) {
    Bytes f = {'G', 'I', 'F', '8', '9', 'a', 12, 0, 9, 0, 0xF2, 1, 0};
    for (int i = 0; i < 8 * 3; i++) f.push_back(uint8_t(rng()));
    gifImage(f, 0, 0, 12, 9, 0x40, 3, rng);
    if (animated) {
        gifImage(f, 3, 2, 5, 4, 0x81, 2, rng);
        gifImage(f, 8, 6, 7, 5, 0x40, 4, rng);
    }
    f.push_back(0x3B);
    return f;
}

Bytes jpegSeed(int w, int h, int comps, bool progressive) {
    jpeg_compress_struct c;
    jpeg_error_mgr err;
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long outLen = 0;
    jpeg_mem_dest(&c, &out, &outLen);
    c.image_width = w;
    c.image_height = h;
    c.input_components = comps;
    c.in_color_space = comps == 1 ? JCS_GRAYSCALE : comps == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&c);
    if (progressive) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    Bytes row(size_t(w) * comps);
    while (c.next_scanline < c.image_height) {
        for (size_t i = 0; i < row.size(); i++) row[i] = uint8_t(i * 5 + c.next_scanline * 9);
        JSAMPROW r = row.data();
        jpeg_write_scanlines(&c, &r, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    Bytes b(out, out + outLen);
    free(out);
    return b;
}

Bytes mutate(const Bytes& seed, std::mt19937& rng) {
    Bytes b = seed;
    int edits = 1 + int(rng() % 4);
    for (int e = 0; e < edits && !b.empty(); e++) {
        size_t at = rng() % b.size();
        switch (rng() % 6) {
        case 0:
            b[at] ^= uint8_t(1u << (rng() % 8));
            break;
        case 1:
            b[at] = uint8_t(rng());
            break;
        case 2:
            b[at] = uint8_t(rng() % 2 ? 0xFF : 0x00);
            break;
        case 3:
            b.resize(at);
            break;
        case 4:
            b.insert(b.begin() + long(at), uint8_t(rng()));
            break;
        default:
            if (b.size() > at + 4)
                for (int i = 0; i < 4; i++) b[at + i] = uint8_t(rng());
            break;
        }
    }
    return b;
}

// One input through the loader: the result is 0 or 1, and a loaded list is whole.
void oneInput(const Bytes& data, const char* name) {
    List list = newList();
    int r = LoadDIBmemory(list.get(), data.data(), data.size(), name);
    ASSERT_TRUE(r == 0 || r == 1);
    if (!r) {
        ASSERT_EQ(list->count, 0);
        return;
    }
    ASSERT_GE(list->count, 1);
    ASSERT_EQ(list->first, 1);
    for (int k = 0; k < list->count; k++) {
        const DIB& d = slotAt(list, 1 + k);
        ASSERT_NE(d.mem, nullptr);
        ASSERT_GE(d.memSize, uint32_t(d.bits - d.mem) + uint32_t(d.lineBytes) * DIBHeight(&d));
        touchAll(d);
    }
}

} // namespace

TEST(ReaderFuzzSmoke, MutatedPngsLoadOrFailCleanly) {
    std::mt19937 rng(1234);
    const PngSeed seeds[] = {{7, 5, 8, 6, 0},  {9, 9, 16, 6, 1},  {5, 3, 2, 3, 1},
                             {13, 2, 1, 0, 0}, {4, 11, 16, 0, 1}, {6, 6, 8, 2, 1},
                             {3, 3, 16, 4, 0}, {10, 4, 4, 3, 0}};
    int loaded = 0;
    for (const PngSeed& s : seeds) {
        Bytes raw;
        Bytes seed = pngSeed(s, rng, &raw);
        oneInput(seed, "seed.png");
        for (int i = 0; i < 250; i++) {
            Bytes m = mutate(seed, rng);
            if (i % 2) fixCrcs(m);
            oneInput(m, "fuzz.png");
            if (HasFatalFailure()) return;
        }
        // Header fields changed under valid data: sizes, depths and types that disagree.
        for (int i = 0; i < 60; i++) {
            Bytes m = seed;
            size_t field = 16 + rng() % 13;
            m[field] = uint8_t(i % 3 ? rng() % 20 : rng());
            fixCrcs(m);
            List list = newList();
            loaded += LoadDIBmemory(list.get(), m.data(), m.size(), "hdr.png");
            if (list->count) touchAll(slotAt(list, 1));
        }
    }
    EXPECT_GE(loaded, 0);
}

TEST(ReaderFuzzSmoke, MutatedGifsLoadOrFailCleanly) {
    std::mt19937 rng(99);
    for (bool animated : {false, true}) {
        Bytes seed = gifSeed(rng, animated);
        List list = newList();
        ASSERT_EQ(LoadDIB(list.get(), writeTemp("seed.gif", seed).c_str()), 1);
        EXPECT_EQ(list->count, animated ? 3 : 1);
        list.reset();
        for (int i = 0; i < 600; i++) {
            oneInput(mutate(seed, rng), "fuzz.gif");
            if (HasFatalFailure()) return;
        }
    }
}

TEST(ReaderFuzzSmoke, MutatedJpegsLoadOrFailCleanly) {
    std::mt19937 rng(7);
    for (auto [w, h, comps, prog] :
         {std::tuple{17, 9, 3, false}, {8, 8, 1, true}, {12, 5, 4, false}, {9, 14, 3, true}}) {
        Bytes seed = jpegSeed(w, h, comps, prog);
        List list = newList();
        ASSERT_EQ(LoadDIB(list.get(), writeTemp("seed.jpg", seed).c_str()), 1);
        list.reset();
        for (int i = 0; i < 300; i++) {
            oneInput(mutate(seed, rng), "fuzz.jpg");
            if (HasFatalFailure()) return;
        }
    }
}
