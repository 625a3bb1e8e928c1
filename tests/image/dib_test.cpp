// The bitmap record, the image list and the BMP reader, on files built here.
#include <gtest/gtest.h>

#include "image/dib.h"
#include "support/bmp_writer.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// The image list is big; tests keep it on the heap and free it at the end.
struct List {
    MultiDIB* l = new MultiDIB();
    ~List() {
        MultiDibFree(l);
        delete l;
    }
    MultiDIB* operator->() { return l; }
    const DIB& pic() const { return l->slot[1]; }
    int load(const std::string& name, const Bytes& data) {
        return LoadDIBmemory(l, data.data(), data.size(), name.c_str());
    }
};

int32_t field(const DIB& d, int offset) {
    return int32_t(rdLE32(d.bmih + offset));
}
const uint8_t* row(const DIB& d, int y) {
    return d.bits + size_t(y) * d.lineBytes;
}

// The block must be self-consistent: pixels inside it, header matching.
void expectSane(const DIB& d) {
    ASSERT_NE(d.mem, nullptr);
    EXPECT_EQ(d.bmih, d.mem);
    EXPECT_EQ(d.palette, d.mem + field(d, BI_SIZE));
    EXPECT_GT(field(d, BI_WIDTH), 0);
    EXPECT_GT(field(d, BI_HEIGHT), 0);
    EXPECT_EQ(uint32_t(field(d, BI_SIZEIMAGE)), uint32_t(d.lineBytes) * field(d, BI_HEIGHT));
    EXPECT_EQ(d.memSize, uint32_t(d.bits - d.mem) + uint32_t(field(d, BI_SIZEIMAGE)));
}

BmpFile eightBit() {
    BmpFile f;
    f.palette = greyPalette(4);
    f.pixels = {0, 1, 2, 3, 3, 2, 1, 0};
    return f;
}

TEST(DibLoad, ExtensionsPickTheReaderAndFillTheList) {
    const Bytes file = eightBit().build();
    for (const char* name : {"photo.bmp", "photo.BMP", "photo.Bmp", "photo.rle", "x.y.RLE"}) {
        List list;
        ASSERT_EQ(list.load(name, file), 1) << name;
        EXPECT_EQ(list->count, 1);
        EXPECT_EQ(list->first, 1);
        EXPECT_EQ(list->current, 0);
        EXPECT_EQ(list->slot[0].mem, nullptr);
        expectSane(list.pic());
        EXPECT_EQ(0, memcmp(row(list.pic(), 1), "\3\2\1\0", 4)) << name;
    }
    for (const char* name : {"photo.jpeg", "photo", "photo.bmpx", "photo.bm", "photo."}) {
        List list;
        EXPECT_EQ(list.load(name, file), 0) << name;
        EXPECT_EQ(list->count, 0);
        EXPECT_EQ(list->slot[1].mem, nullptr);
    }
    List list;
    EXPECT_EQ(LoadDIB(list.l, "/nonexistent/dir/photo.bmp"), 0);
    EXPECT_EQ(LoadDIB(list.l, nullptr), 0);
}

TEST(DibLoad, FailedLoadEmptiesAFullList) {
    List list;
    ASSERT_EQ(list.load("full.bmp", eightBit().build()), 1);
    BmpFile bad = eightBit();
    bad.sizeDelta = 1;
    EXPECT_EQ(list.load("bad.bmp", bad.build()), 0);
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(list->first, 0);
    EXPECT_EQ(list->slot[1].mem, nullptr);
}

TEST(DibLoad, FileHeaderMustMatchTheFile) {
    List list;
    for (int64_t delta : {1, -1, 1000}) {
        BmpFile f = eightBit();
        f.sizeDelta = delta;
        EXPECT_EQ(list.load("size.bmp", f.build()), 0) << delta;
    }
    BmpFile f = eightBit();
    f.magic = 0x4142; // "BA"
    EXPECT_EQ(list.load("magic.bmp", f.build()), 0);
    EXPECT_EQ(list.load("empty.bmp", Bytes{}), 0);
    EXPECT_EQ(list.load("tiny.bmp", Bytes{'B', 'M', 6, 0, 0, 0}), 0);
}

TEST(DibLoad, OneBitPicturesKeepTheBrighterColourFirst) {
    struct Case {
        Bytes palette;
        bool inverted;
    };
    const Case cases[] = {{paletteOf({0x000000, 0xFFFFFF}), true},
                          {paletteOf({0xFFFFFF, 0x000000}), false},
                          {paletteOf({0xFF0000, 0xFFFF00}), true},
                          {paletteOf({0x808080, 0x808080}), false}};
    for (const Case& c : cases) {
        BmpFile f;
        f.bits = 1;
        f.width = 12;
        f.palette = c.palette;
        f.pixels = {0xA5, 0x0F, 0, 0, 0x3C, 0xF0, 0, 0};
        List list;
        ASSERT_EQ(list.load("mono.bmp", f.build()), 1);
        const DIB& d = list.pic();
        expectSane(d);
        EXPECT_EQ(d.numColors, 2);
        if (c.inverted) {
            EXPECT_EQ(0, memcmp(d.palette, "\xFF\xFF\xFF\0\0\0\0", 7));
            const uint8_t want[8] = {0x5A, 0xF0, 0xFF, 0xFF, 0xC3, 0x0F, 0xFF, 0xFF};
            EXPECT_EQ(0, memcmp(d.bits, want, 8));
        } else {
            EXPECT_EQ(0, memcmp(d.palette, c.palette.data(), 8));
            EXPECT_EQ(0, memcmp(d.bits, f.pixels.data(), 8));
        }
    }
    // A one-entry palette still gets a second entry for the rule to look at.
    BmpFile f;
    f.bits = 1;
    f.width = 8;
    f.height = 1;
    f.palette = paletteOf({0x00FF00});
    f.pixels = {0x00, 0, 0, 0};
    List list;
    ASSERT_EQ(list.load("one.bmp", f.build()), 1);
    EXPECT_EQ(list.pic().numColors, 2);
    EXPECT_EQ(0, memcmp(list.pic().palette, "\0\xFF\0\0\0\0\0", 7));
}

BmpFile rle8(int width, int height, Bytes stream) {
    BmpFile f;
    f.width = width;
    f.height = height;
    f.compression = 1;
    f.palette = greyPalette(16);
    f.pixels = std::move(stream);
    return f;
}

BmpFile rle4(int width, int height, Bytes stream) {
    BmpFile f = rle8(width, height, std::move(stream));
    f.bits = 4;
    f.compression = 2;
    return f;
}

TEST(DibRle, Rle8RunsEndOfLineAndEnd) {
    List list;
    ASSERT_EQ(list.load("a.rle", rle8(4, 2, {3, 7, 0, 0, 0, 1}).build()), 1);
    const DIB& d = list.pic();
    expectSane(d);
    EXPECT_EQ(field(d, BI_COMPRESSION), 0);
    EXPECT_EQ(field(d, BI_SIZEIMAGE), 8);
    EXPECT_EQ(0, memcmp(row(d, 0), "\7\7\7\0", 4));
    EXPECT_EQ(0, memcmp(row(d, 1), "\0\0\0\0", 4));

    // Absolute runs with and without their pad byte, and a delta.
    ASSERT_EQ(list.load("b.bmp", rle8(8, 3, {0, 3, 1, 2, 3, 0xEE, 2, 9, 0, 0, 0, 4,
                                             4, 5, 6, 7, 0, 2,    2, 1, 1, 8, 0, 1})
                                     .build()),
              1);
    const DIB& e = list.pic();
    EXPECT_EQ(0, memcmp(row(e, 0), "\1\2\3\11\11\0\0\0", 8));
    EXPECT_EQ(0, memcmp(row(e, 1), "\4\5\6\7\0\0\0\0", 8));
    EXPECT_EQ(0, memcmp(row(e, 2), "\0\0\0\0\0\0\10\0", 8));
}

TEST(DibRle, Rle8StaysInsideRowPictureAndStream) {
    List list;
    // A run longer than the row is cut at the row's end, not wrapped.
    ASSERT_EQ(list.load("a.bmp", rle8(4, 2, {200, 5, 0, 0, 2, 6, 0, 1}).build()), 1);
    EXPECT_EQ(0, memcmp(row(list.pic(), 0), "\5\5\5\5", 4));
    EXPECT_EQ(0, memcmp(row(list.pic(), 1), "\6\6\0\0", 4));
    // An absolute run past the row, deltas far past the picture.
    ASSERT_EQ(
        list.load("b.bmp", rle8(3, 2, {0, 5, 1, 2, 3, 4, 5, 0, 0, 2, 255, 255, 9, 9}).build()), 1);
    EXPECT_EQ(0, memcmp(row(list.pic(), 0), "\1\2\3", 3));
    EXPECT_EQ(0, memcmp(row(list.pic(), 1), "\0\0\0", 3));
    // End-of-line codes beyond the top row stop decoding.
    Bytes eols;
    for (int k = 0; k < 50; ++k) eols.insert(eols.end(), {1, 1, 0, 0});
    ASSERT_EQ(list.load("c.bmp", rle8(2, 3, eols).build()), 1);
    EXPECT_EQ(0, memcmp(row(list.pic(), 2), "\1\0", 2));
    // Streams that stop without an end code: half a pair, a cut delta, a
    // cut absolute run.
    for (const Bytes& s : {Bytes{2, 3, 0}, Bytes{2, 3, 0, 2, 1}, Bytes{2, 3, 0, 6, 4, 4, 4}}) {
        ASSERT_EQ(list.load("d.bmp", rle8(8, 1, s).build()), 1);
        EXPECT_EQ(row(list.pic(), 0)[0], 3);
        EXPECT_EQ(row(list.pic(), 0)[1], 3);
    }
    ASSERT_EQ(list.load("e.bmp", rle8(8, 1, {0, 6, 4, 4, 4}).build()), 1);
    EXPECT_EQ(0, memcmp(row(list.pic(), 0), "\4\4\4\0\0\0\0\0", 8));
    ASSERT_EQ(list.load("f.bmp", rle8(8, 1, {}).build()), 1);
    EXPECT_EQ(0, memcmp(row(list.pic(), 0), "\0\0\0\0\0\0\0\0", 8));
}

TEST(DibRle, Rle4NibblesAndPadding) {
    List list;
    // Encoded runs alternate high and low nibble; odd width ends mid-byte.
    ASSERT_EQ(list.load("a.bmp", rle4(7, 1, {5, 0xAB, 9, 0xCD, 0, 1}).build()), 1);
    EXPECT_EQ(0, memcmp(row(list.pic(), 0), "\xAB\xAB\xAC\xD0", 4));

    // Absolute runs of 3 to 8 pixels: a pad byte follows when the run's byte
    // count is odd (3 or 4 pixels need 2 bytes, 5 or 6 need 3).
    Bytes s;
    const int runs[] = {3, 4, 5, 6, 7, 8};
    for (int c : runs) {
        s.insert(s.end(), {0, uint8_t(c)});
        int bytes = (c + 1) / 2;
        for (int k = 0; k < bytes; ++k) s.push_back(uint8_t(0x12 + 0x22 * k));
        if (bytes & 1) s.push_back(0xEE); // pad, must not be read as a code
        s.insert(s.end(), {1, 0xF0, 0, 0});
    }
    s.insert(s.end(), {0, 1});
    ASSERT_EQ(list.load("b.bmp", rle4(10, 6, s).build()), 1);
    const DIB& d = list.pic();
    expectSane(d);
    const char* want[] = {"\x12\x3F\0\0",     "\x12\x34\xF0\0",   "\x12\x34\x5F\0",
                          "\x12\x34\x56\xF0", "\x12\x34\x56\x7F", "\x12\x34\x56\x78"};
    for (int y = 0; y < 6; ++y) EXPECT_EQ(0, memcmp(row(d, y), want[y], 4)) << y;
    EXPECT_EQ(row(d, 5)[4], 0xF0);

    // A delta to an odd column writes the low nibble only.
    ASSERT_EQ(list.load("c.bmp", rle4(6, 2, {0, 2, 3, 1, 2, 0x77, 0, 0, 1, 0x90, 0, 1}).build()),
              1);
    EXPECT_EQ(0, memcmp(row(list.pic(), 1), "\0\x07\x70\0", 4));
    // A long run over an odd width stops at the last pixel.
    ASSERT_EQ(list.load("d.bmp", rle4(3, 2, {255, 0x12, 0, 1}).build()), 1);
    EXPECT_EQ(0, memcmp(row(list.pic(), 0), "\x12\x10\0\0", 4));
    EXPECT_EQ(0, memcmp(row(list.pic(), 1), "\0\0\0\0", 4));
}

TEST(DibRle, DecodeRecordDirectly) {
    // The record holds header, palette and stream; biSizeImage bounds the
    // stream even when the block is longer.
    Bytes block(40 + 8 + 6 + 4, 0);
    wrLE32(block.data(), 40);
    wrLE32(block.data() + BI_WIDTH, 4);
    wrLE32(block.data() + BI_HEIGHT, 1);
    wrLE16(block.data() + BI_PLANES, 1);
    wrLE16(block.data() + BI_BITCOUNT, 8);
    wrLE32(block.data() + BI_COMPRESSION, 1);
    wrLE32(block.data() + BI_SIZEIMAGE, 2);
    wrLE32(block.data() + BI_CLRUSED, 2);
    const uint8_t stream[] = {2, 1, 2, 1, 0, 1, 0xFF, 0xFF, 0xFF, 0xFF};
    memcpy(block.data() + 48, stream, sizeof stream);
    DIB d{};
    d.mem = static_cast<uint8_t*>(malloc(block.size()));
    memcpy(d.mem, block.data(), block.size());
    d.memSize = uint32_t(block.size());
    ASSERT_EQ(decode_BMP_RLE(&d), 1);
    EXPECT_EQ(d.memSize, 40u + 8 + 4);
    EXPECT_EQ(0, memcmp(d.bits, "\1\1\0\0", 4));
    EXPECT_EQ(decode_BMP_RLE(&d), 0); // no longer compressed
    FreeDIB(&d);
    EXPECT_EQ(decode_BMP_RLE(&d), 0);
}

TEST(DibLoad, HeaderValuesAreCheckedAgainstTheFile) {
    List list;
    auto refused = [&](BmpFile f, const char* what) {
        EXPECT_EQ(list.load("h.bmp", f.build()), 0) << what;
        EXPECT_EQ(list->slot[1].mem, nullptr) << what;
    };
    BmpFile f = eightBit();
    f.planes = 2;
    refused(f, "planes");
    for (uint16_t b : {0, 2, 3, 7, 9, 48, 64, 0xFFFF}) {
        f = eightBit();
        f.bits = b;
        refused(f, "bit count");
    }
    for (uint32_t size : {0u, 16u, 39u, 41u, 66u, 200u}) {
        f = eightBit();
        f.headerSize = size;
        refused(f, "header size");
    }
    Bytes big = eightBit().build();
    wrLE32(big.data() + 14, 124 + 4096);
    EXPECT_EQ(list.load("hs.bmp", big), 0);
    for (int32_t w : {0, -4, 16385, INT32_MIN}) {
        f = eightBit();
        f.width = w;
        refused(f, "width");
    }
    for (int32_t h : {0, 16385, -16385, INT32_MIN}) {
        f = eightBit();
        f.height = h;
        refused(f, "height");
    }
    f = eightBit();
    f.width = 16384;
    f.height = 16384;
    f.bits = 24;
    f.palette.clear();
    refused(f, "pixel area above 256 MiB");
    f = eightBit();
    f.pixels.pop_back();
    refused(f, "pixels cut short");
    f = eightBit();
    f.compression = 1;
    f.bits = 4;
    refused(f, "RLE8 on 4 bits");
    for (uint32_t c : {3u, 4u, 5u, 7u, 99u}) {
        f = eightBit();
        f.compression = c;
        refused(f, "compression");
    }
    f = rle8(4, -2, {3, 7, 0, 1});
    refused(f, "top-down RLE");
    f = eightBit();
    f.pixels.clear();
    f.clrUsed = 200; // palette would run past the end of the file
    refused(f, "palette past the end");
    f = eightBit();
    f.offBits = 0; // pixels then follow the palette
    EXPECT_EQ(list.load("off0.bmp", f.build()), 1);
    EXPECT_EQ(0, memcmp(row(list.pic(), 0), "\0\1\2\3", 4));
}

TEST(DibLoad, PalettesAreClampedOrWidenedToWhatPixelsNeed) {
    List list;
    // More entries than 8 bits can index: the surplus is skipped.
    BmpFile f = eightBit();
    f.palette = greyPalette(300);
    f.palette[4 * 3] = 0x99;
    ASSERT_EQ(list.load("over.bmp", f.build()), 1);
    expectSane(list.pic());
    EXPECT_EQ(list.pic().numColors, 256);
    EXPECT_EQ(list.pic().palette[12], 0x99);
    EXPECT_EQ(0, memcmp(row(list.pic(), 1), "\3\2\1\0", 4));
    // A short palette that pixels overrun grows to the full depth, black.
    f = eightBit();
    f.palette = paletteOf({0x112233, 0x445566});
    f.pixels = {0, 1, 200, 1, 0, 0, 0, 0};
    ASSERT_EQ(list.load("short.bmp", f.build()), 1);
    EXPECT_EQ(list.pic().numColors, 256);
    EXPECT_EQ(field(list.pic(), BI_CLRUSED), 256);
    EXPECT_EQ(0, memcmp(list.pic().palette, "\x33\x22\x11\0\x66\x55\x44\0", 8));
    EXPECT_EQ(0, memcmp(list.pic().palette + 4 * 200, "\0\0\0\0", 4));
    EXPECT_EQ(row(list.pic(), 0)[2], 200);
    // A short palette that pixels respect is kept as it is.
    f.pixels = {0, 1, 1, 1, 0, 0, 0, 0};
    ASSERT_EQ(list.load("fits.bmp", f.build()), 1);
    EXPECT_EQ(list.pic().numColors, 2);
    EXPECT_EQ(list.pic().bits, list.pic().palette + 8);
    // 4 bits with a palette size far beyond 16.
    f = BmpFile{};
    f.bits = 4;
    f.palette = greyPalette(40);
    f.pixels = {0x1F, 0xE2, 0, 0, 0x34, 0x56, 0, 0};
    ASSERT_EQ(list.load("p4.bmp", f.build()), 1);
    EXPECT_EQ(list.pic().numColors, 16);
    EXPECT_EQ(0, memcmp(row(list.pic(), 1), "\x34\x56", 2));
}

TEST(DibLoad, PixelOffsetSkipsGapsAndPalettesOfDeepPictures) {
    List list;
    BmpFile f = eightBit();
    f.gap = Bytes(13, 0xAA);
    ASSERT_EQ(list.load("gap.bmp", f.build()), 1);
    EXPECT_EQ(0, memcmp(row(list.pic(), 0), "\0\1\2\3", 4));
    EXPECT_EQ(list.pic().memSize, 40u + 16 + 8);

    // A 24-bit picture with a palette: the palette is dropped, pixels found.
    BmpFile t;
    t.bits = 24;
    t.width = 2;
    t.height = 1;
    t.palette = greyPalette(5);
    t.pixels = {1, 2, 3, 4, 5, 6, 0, 0};
    for (int64_t off : {int64_t(-1), int64_t(0)}) {
        t.offBits = off; // 0: no usable offset, pixels behind the palette
        ASSERT_EQ(list.load("p24.bmp", t.build()), 1);
        const DIB& d = list.pic();
        expectSane(d);
        EXPECT_EQ(d.bits, d.mem + 40);
        EXPECT_EQ(d.numColors, 16777216);
        EXPECT_EQ(field(d, BI_CLRUSED), 0);
        EXPECT_EQ(0, memcmp(d.bits, "\1\2\3\4\5\6", 6));
    }
}

TEST(DibLoad, TopDownRowsAreStoredBottomUp) {
    BmpFile f = eightBit();
    f.height = -3;
    f.pixels = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3};
    List list;
    ASSERT_EQ(list.load("td.bmp", f.build()), 1);
    EXPECT_EQ(field(list.pic(), BI_HEIGHT), 3);
    EXPECT_EQ(row(list.pic(), 0)[0], 3);
    EXPECT_EQ(row(list.pic(), 2)[0], 1);
}

TEST(DibLoad, OldOs2HeaderBecomesAnInfoHeader) {
    Bytes f;
    imagebytes::putLE16(f, 0x4D42);
    imagebytes::putLE32(f, 14 + 12 + 6 + 8);
    imagebytes::putLE32(f, 0);
    imagebytes::putLE32(f, 14 + 12 + 6);
    imagebytes::putLE32(f, 12);
    imagebytes::putLE16(f, 3);
    imagebytes::putLE16(f, 2);
    imagebytes::putLE16(f, 1);
    imagebytes::putLE16(f, 1);
    f.insert(f.end(), {0, 0, 0xFF, 0xFF, 0, 0}); // red, blue: 3-byte entries
    f.insert(f.end(), {0x40, 0, 0, 0, 0xA0, 0, 0, 0});
    List list;
    ASSERT_EQ(list.load("os2.bmp", f), 1);
    const DIB& d = list.pic();
    expectSane(d);
    EXPECT_EQ(field(d, BI_SIZE), 40);
    EXPECT_EQ(d.numColors, 2);
    // Blue is brighter than red by the sum rule? Both sum to 255: kept.
    EXPECT_EQ(0, memcmp(d.palette, "\0\0\xFF\0\xFF\0\0\0", 8));
    EXPECT_EQ(d.bits[0], 0x40);
    EXPECT_EQ(d.bits[4], 0xA0);
}

// Conversions to RGB565 and 24 bits come from the colour-depth code.
TEST(DibLoad, SixteenBitPicturesBecomeRgb565_NeedsColourConversions) {
    BmpFile f;
    f.bits = 16;
    f.width = 2;
    f.height = 1;
    f.compression = 3;
    imagebytes::putLE32(f.masks, 0xF800);
    imagebytes::putLE32(f.masks, 0x07E0);
    imagebytes::putLE32(f.masks, 0x001F);
    f.pixels = {0x34, 0x12, 0xCD, 0xAB};
    List list;
    ASSERT_EQ(list.load("565.bmp", f.build()), 1);
    EXPECT_EQ(rdLE16(list.pic().bmih + BI_BITCOUNT), 16);
    EXPECT_EQ(rdLE16(list.pic().bits), 0x1234);
    EXPECT_EQ(rdLE16(list.pic().bits + 2), 0xABCD);

    // 5-5-5 without masks: the five green bits gain a replicated sixth.
    f.compression = 0;
    f.masks.clear();
    f.pixels = {0xFF, 0x7F, 0x21, 0x04}; // white; r1 g1 b1
    ASSERT_EQ(list.load("555.bmp", f.build()), 1);
    EXPECT_EQ(field(list.pic(), BI_COMPRESSION), 3);
    EXPECT_EQ(rdLE16(list.pic().bits), 0xFFFF);
    EXPECT_EQ(rdLE16(list.pic().bits + 2), (1 << 11) | (2 << 5) | 1);

    // An unusual mask layout (4-4-4 in the high bits) is read by its masks.
    f.compression = 3;
    imagebytes::putLE32(f.masks, 0xF000);
    imagebytes::putLE32(f.masks, 0x0F00);
    imagebytes::putLE32(f.masks, 0x00F0);
    f.pixels = {0xF0, 0xF0, 0x00, 0x0F}; // red+blue full; green full
    ASSERT_EQ(list.load("444.bmp", f.build()), 1);
    EXPECT_EQ(rdLE16(list.pic().bits), 0xF81F);
    EXPECT_EQ(rdLE16(list.pic().bits + 2), 0x07E0);
}

BmpFile thirtyTwo(Bytes pixels, int width) {
    BmpFile f;
    f.bits = 32;
    f.width = width;
    f.height = 1;
    f.pixels = std::move(pixels);
    return f;
}

TEST(DibLoad, AlphaBecomesTheTransparentColour_NeedsColourConversions) {
    List list;
    const int32_t savedLimit = alphaLimit;
    alphaLimit = 128;
    BmpFile f = thirtyTwo({10, 20, 30, 0, 11, 21, 31, 127, 12, 22, 32, 128, 13, 23, 33, 255}, 4);
    ASSERT_EQ(list.load("alpha.bmp", f.build()), 1);
    const DIB& d = list.pic();
    expectSane(d);
    EXPECT_EQ(rdLE16(d.bmih + BI_BITCOUNT), 24);
    ASSERT_EQ(list->hasTransparent, 1);
    const uint8_t* t = list->transparent;
    EXPECT_EQ(0, memcmp(d.bits, t, 3));
    EXPECT_EQ(0, memcmp(d.bits + 3, t, 3));
    EXPECT_EQ(0, memcmp(d.bits + 6, "\x0C\x16\x20\x0D\x17\x21", 6));
    // The transparent colour differs from every kept pixel at RGB565 precision.
    auto key = [](const uint8_t* p) { return (p[2] >> 3) << 11 | (p[1] >> 2) << 5 | p[0] >> 3; };
    EXPECT_NE(key(t), key(d.bits + 6));
    EXPECT_NE(key(t), key(d.bits + 9));

    // A limit of 0 keeps every pixel.
    alphaLimit = 0;
    ASSERT_EQ(list.load("alpha0.bmp", f.build()), 1);
    EXPECT_EQ(0, memcmp(list.pic().bits, "\x0A\x14\x1E\x0B\x15\x1F", 6));
    alphaLimit = savedLimit;

    // Alpha that is zero everywhere is padding: nothing becomes transparent.
    f = thirtyTwo({10, 20, 30, 0, 40, 50, 60, 0}, 2);
    ASSERT_EQ(list.load("noalpha.bmp", f.build()), 1);
    EXPECT_EQ(list->hasTransparent, 0);
    EXPECT_EQ(0, memcmp(list.pic().bits, "\x0A\x14\x1E\x28\x32\x3C", 6));

    // Bit fields in an unusual order are read by their masks.
    f = thirtyTwo({0x11, 0x22, 0x33, 0x44}, 1);
    f.compression = 3;
    imagebytes::putLE32(f.masks, 0x000000FF); // red
    imagebytes::putLE32(f.masks, 0xFF000000); // green
    imagebytes::putLE32(f.masks, 0x0000FF00); // blue
    ASSERT_EQ(list.load("bf.bmp", f.build()), 1);
    EXPECT_EQ(0, memcmp(list.pic().bits, "\x22\x44\x11", 3));
}

DIB makeDib(int width, int height, int bits) {
    DIB d{};
    EXPECT_EQ(NewDIB(&d, width, height, bits, nullptr), 1);
    return d;
}

TEST(DibRecord, InitDibDerivesLayoutFromTheHeader) {
    DIB d{};
    InitDIB(&d); // nothing to do on an empty record
    EXPECT_EQ(d.bits, nullptr);
    Bytes block(40 + 12 + 8, 0);
    wrLE32(block.data(), 40);
    wrLE32(block.data() + BI_WIDTH, 3);
    wrLE32(block.data() + BI_HEIGHT, 2);
    wrLE16(block.data() + BI_BITCOUNT, 16);
    wrLE32(block.data() + BI_COMPRESSION, 3);
    wrLE32(block.data() + BI_SIZEIMAGE, 12345);
    d.mem = block.data();
    InitDIB(&d);
    EXPECT_EQ(d.numColors, 65536);
    EXPECT_EQ(d.lineBytes, 8);
    EXPECT_EQ(d.bits, block.data() + 52);
    EXPECT_EQ(rdLE32(block.data() + BI_SIZEIMAGE), 16u);
    EXPECT_EQ(d.memSize, 52u + 16);
    wrLE32(block.data() + BI_COMPRESSION, 0);
    wrLE16(block.data() + BI_BITCOUNT, 32);
    InitDIB(&d);
    EXPECT_EQ(d.numColors, 16777216);
    EXPECT_EQ(d.bits, block.data() + 40);
    EXPECT_EQ(d.lineBytes, 12);
    wrLE16(block.data() + BI_BITCOUNT, 4);
    wrLE32(block.data() + BI_CLRUSED, 3);
    InitDIB(&d);
    EXPECT_EQ(d.numColors, 3);
    EXPECT_EQ(d.bits, block.data() + 52);
    EXPECT_EQ(d.lineBytes, 4);
}

TEST(DibRecord, CopyAndFreeKeepOwnershipStraight) {
    DIB a = makeDib(5, 3, 8);
    a.rcPos = {1, 2, 3, 4};
    a.rcActive = {5, 6, 7, 8};
    a.bits[7] = 42;
    DIB b = makeDib(2, 2, 24); // its old block must be freed by the copy
    ASSERT_EQ(CopyDIB(&a, &b), 1);
    EXPECT_NE(b.mem, a.mem);
    EXPECT_EQ(b.memSize, a.memSize);
    EXPECT_EQ(b.rcPos.right, 3);
    EXPECT_EQ(b.rcActive.bottom, 8);
    EXPECT_EQ(b.bits - b.mem, a.bits - a.mem);
    EXPECT_EQ(0, memcmp(a.mem, b.mem, a.memSize));
    FreeDIB(&a);
    EXPECT_EQ(a.mem, nullptr);
    EXPECT_EQ(a.rcPos.right, 0);
    EXPECT_EQ(b.bits[7], 42); // still owned by b
    EXPECT_EQ(CopyDIB(&b, &b), 1);
    EXPECT_EQ(b.bits[7], 42);
    DIB empty{};
    EXPECT_EQ(CopyDIB(&empty, &b), 0); // nothing to copy: b is emptied
    EXPECT_EQ(b.mem, nullptr);
    FreeDIB(&b);
    FreeDIB(&b);

    // The list frees exactly its frames, and a second free does nothing.
    MultiDIB* list = new MultiDIB();
    list->first = 1;
    list->count = 3;
    for (int k = 1; k <= 3; ++k) list->slot[k] = makeDib(k, k, 8);
    uint8_t* hole = list->slot[2].mem;
    list->slot[2].mem = nullptr; // a hole is skipped
    free(hole);
    list->hasTransparent = 1;
    MultiDibFree(list);
    EXPECT_EQ(list->count, 0);
    EXPECT_EQ(list->first, 0);
    EXPECT_EQ(list->hasTransparent, 0);
    EXPECT_EQ(list->slot[1].mem, nullptr);
    MultiDibFree(list);
    // Frame numbers past the last slot are not followed.
    list->first = 250;
    list->count = 20;
    list->slot[255] = makeDib(1, 1, 8);
    MultiDibFree(list);
    EXPECT_EQ(list->slot[255].mem, nullptr);
    MultiDibFree(nullptr);
    delete list;
}

TEST(DibRecord, AlphaLimitStartsAtHalf) {
    EXPECT_EQ(alphaLimit, 128);
}

} // namespace
