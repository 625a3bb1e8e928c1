// Bitmap creation, freeing and quarter turns, checked pixel by pixel against
// a plain screen-coordinate model of the turn.
#include <gtest/gtest.h>

#include "image/dib.h"

#include <cstring>
#include <vector>

namespace {

// Pixel value at (x, y) with y counted from the top, as on screen.
uint32_t pixel(const DIB& d, int x, int y) {
    const uint8_t* row = d.bits + size_t(DIBHeight(&d) - 1 - y) * d.lineBytes;
    switch (DIBBitCount(&d)) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
    case 8:
        return row[x];
    case 16:
        return rdLE16(row + 2 * x);
    case 24:
        return uint32_t(row[3 * x]) | row[3 * x + 1] << 8 | row[3 * x + 2] << 16;
    default:
        return rdLE32(row + 4 * x);
    }
}

void setPixel(DIB& d, int x, int y, uint32_t v) {
    uint8_t* row = d.bits + size_t(DIBHeight(&d) - 1 - y) * d.lineBytes;
    switch (DIBBitCount(&d)) {
    case 1:
        row[x >> 3] = uint8_t((row[x >> 3] & ~(0x80 >> (x & 7))) | ((v & 1) << (7 - (x & 7))));
        break;
    case 4:
        row[x >> 1] = (x & 1) ? uint8_t((row[x >> 1] & 0xF0) | (v & 15))
                              : uint8_t((row[x >> 1] & 0x0F) | (v & 15) << 4);
        break;
    case 8:
        row[x] = uint8_t(v);
        break;
    case 16:
        wrLE16(row + 2 * x, uint16_t(v));
        break;
    case 24:
        row[3 * x] = uint8_t(v);
        row[3 * x + 1] = uint8_t(v >> 8);
        row[3 * x + 2] = uint8_t(v >> 16);
        break;
    default:
        wrLE32(row + 4 * x, v);
    }
}

DIB filled(int w, int h, int bits, uint32_t seed) {
    DIB d{};
    EXPECT_EQ(NewDIB(&d, w, h, bits, nullptr), 1);
    uint32_t s = seed;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            s = s * 1664525u + 1013904223u;
            setPixel(d, x, y, s >> 3);
        }
    return d;
}

// Where the screen pixel (x, y) of the turned picture comes from, for a
// clockwise turn by the caller's angle.
void sourceOf(int angle, int w, int h, int x, int y, int* sx, int* sy) {
    switch (angle) {
    case 90: // the top edge becomes the right edge
        *sx = y;
        *sy = h - 1 - x;
        break;
    case 180:
        *sx = w - 1 - x;
        *sy = h - 1 - y;
        break;
    default: // 270: the top edge becomes the left edge
        *sx = w - 1 - y;
        *sy = x;
    }
}

void expectTurned(const DIB& src, const DIB& got, int angle) {
    const int w = DIBWidth(&src), h = DIBHeight(&src);
    ASSERT_EQ(DIBWidth(&got), angle == 180 ? w : h);
    ASSERT_EQ(DIBHeight(&got), angle == 180 ? h : w);
    ASSERT_EQ(DIBBitCount(&got), DIBBitCount(&src));
    EXPECT_EQ(got.numColors, src.numColors);
    EXPECT_EQ(got.memSize,
              uint32_t(got.bits - got.mem) + uint32_t(got.lineBytes) * DIBHeight(&got));
    // Palette or masks travel with the pixels.
    EXPECT_EQ(0, memcmp(got.palette, src.palette, size_t(src.bits - src.palette)));
    int wrong = 0;
    for (int y = 0; y < DIBHeight(&got); ++y)
        for (int x = 0; x < DIBWidth(&got); ++x) {
            int sx, sy;
            sourceOf(angle, w, h, x, y, &sx, &sy);
            wrong += pixel(got, x, y) != pixel(src, sx, sy);
        }
    EXPECT_EQ(wrong, 0);
}

TEST(Rotate, EveryDepthAndQuarterTurnMatchesThePixelModel) {
    const int sizes[][2] = {{1, 1}, {3, 2}, {7, 3}, {5, 9}, {13, 1}, {1, 11}, {33, 17}};
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        for (auto& size : sizes) {
            for (int angle : {90, 180, 270}) {
                SCOPED_TRACE(::testing::Message()
                             << bits << " bits " << size[0] << "x" << size[1] << " by " << angle);
                DIB src = filled(size[0], size[1], bits, uint32_t(bits * 1000 + angle));
                DIB copy{};
                ASSERT_EQ(CopyRotateDIB(&copy, &src, angle), 1);
                expectTurned(src, copy, angle);
                // In place gives the same, and frees the old block.
                DIB inPlace{};
                ASSERT_EQ(CopyDIB(&src, &inPlace), 1);
                ASSERT_EQ(RotateDIB(&inPlace, angle), 1);
                EXPECT_EQ(inPlace.memSize, copy.memSize);
                EXPECT_EQ(0, memcmp(inPlace.mem, copy.mem, copy.memSize));
                FreeDIB(&inPlace);
                FreeDIB(&copy);
                FreeDIB(&src);
            }
        }
    }
}

TEST(Rotate, TurnsUndoEachOther) {
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        DIB d = filled(11, 5, bits, 7);
        DIB start{};
        ASSERT_EQ(CopyDIB(&d, &start), 1);
        ASSERT_EQ(RotateDIB(&d, 90), 1);
        ASSERT_EQ(RotateDIB(&d, 270), 1);
        ASSERT_EQ(d.memSize, start.memSize);
        EXPECT_EQ(0, memcmp(d.mem, start.mem, d.memSize)) << bits;
        ASSERT_EQ(RotateDIB(&d, 180), 1);
        ASSERT_EQ(RotateDIB(&d, 180), 1);
        EXPECT_EQ(0, memcmp(d.mem, start.mem, d.memSize)) << bits;
        // A negative angle turns the other way.
        DIB a{}, b{};
        ASSERT_EQ(CopyRotateDIB(&a, &start, -90), 1);
        ASSERT_EQ(CopyRotateDIB(&b, &start, 270), 1);
        EXPECT_EQ(0, memcmp(a.mem, b.mem, a.memSize)) << bits;
        FreeDIB(&a);
        FreeDIB(&b);
        FreeDIB(&d);
        FreeDIB(&start);
    }
}

TEST(Rotate, ThreeByTwoTopLeftGoesTopRight) {
    DIB d{};
    ASSERT_EQ(NewDIB(&d, 3, 2, 16, nullptr), 1);
    setPixel(d, 0, 0, 0xF800);
    d.rcPos = {1, 2, 3, 4};
    d.rcActive = {5, 6, 7, 8};
    ASSERT_EQ(RotateDIB(&d, 90), 1);
    EXPECT_EQ(DIBWidth(&d), 2);
    EXPECT_EQ(DIBHeight(&d), 3);
    EXPECT_EQ(pixel(d, 1, 0), 0xF800u);
    EXPECT_EQ(pixel(d, 0, 0), 0u);
    EXPECT_EQ(d.rcPos.right, 0);
    EXPECT_EQ(d.rcPos.left, 0);
    EXPECT_EQ(d.rcActive.bottom, 0);
    // Even a whole turn, which is a plain copy, leaves no rectangles behind.
    d.rcPos = {1, 2, 3, 4};
    ASSERT_EQ(RotateDIB(&d, 360), 1);
    EXPECT_EQ(d.rcPos.right, 0);
    EXPECT_EQ(pixel(d, 1, 0), 0xF800u);
    FreeDIB(&d);
}

TEST(Rotate, OtherAnglesAndBadSourcesFailWithoutChange) {
    DIB d = filled(4, 3, 8, 1);
    d.rcPos = {1, 2, 3, 4};
    uint8_t* block = d.mem;
    for (int32_t angle : {45, -1, 1, 359, INT32_MIN, INT32_MAX}) {
        EXPECT_EQ(RotateDIB(&d, angle), 0) << angle;
        EXPECT_EQ(d.mem, block);
        EXPECT_EQ(d.rcPos.right, 3);
    }
    // Multiples of a quarter turn beyond one full turn are fine.
    DIB a{}, b{};
    ASSERT_EQ(CopyRotateDIB(&a, &d, 450), 1);
    ASSERT_EQ(CopyRotateDIB(&b, &d, 90), 1);
    EXPECT_EQ(0, memcmp(a.mem, b.mem, a.memSize));
    EXPECT_EQ(CopyRotate90DIB(&a, &d, 45), 0);
    DIB empty{};
    EXPECT_EQ(CopyRotateDIB(&a, &empty, 90), 0);
    EXPECT_EQ(a.mem, nullptr);
    EXPECT_EQ(RotateDIB(&empty, 90), 0);
    EXPECT_EQ(RotateDIB(nullptr, 90), 0);
    FreeDIB(&b);
    FreeDIB(&d);
}

TEST(NewDib, HeadersPalettesAndMasks) {
    DIB d{};
    d.rcPos = {1, 2, 3, 4};
    ASSERT_EQ(NewDIB(&d, 5, 3, 16, nullptr), 1);
    EXPECT_EQ(d.rcPos.bottom, 4); // untouched
    EXPECT_EQ(rdLE32(d.bmih + BI_SIZE), 40u);
    EXPECT_EQ(rdLE16(d.bmih + BI_PLANES), 1);
    EXPECT_EQ(rdLE32(d.bmih + BI_COMPRESSION), 3u);
    EXPECT_EQ(rdLE32(d.palette), 0xF800u);
    EXPECT_EQ(rdLE32(d.palette + 4), 0x07E0u);
    EXPECT_EQ(rdLE32(d.palette + 8), 0x001Fu);
    EXPECT_EQ(d.bits, d.mem + 52);
    EXPECT_EQ(d.lineBytes, 12);
    EXPECT_EQ(rdLE32(d.bmih + BI_SIZEIMAGE), 36u);
    EXPECT_EQ(rdLE32(d.bmih + BI_XPELS), 2500u);
    EXPECT_EQ(rdLE32(d.bmih + BI_YPELS), 2500u);
    EXPECT_EQ(rdLE32(d.bmih + BI_CLRUSED), 0u);
    EXPECT_EQ(d.numColors, 65536);
    EXPECT_EQ(d.memSize, 52u + 36);
    for (uint32_t k = 0; k < 36; ++k) ASSERT_EQ(d.bits[k], 0);

    // A second call replaces the block (the leak checker watches the old one).
    ASSERT_EQ(NewDIB(&d, 9, 2, 1, nullptr), 1);
    EXPECT_EQ(d.numColors, 2);
    EXPECT_EQ(rdLE32(d.bmih + BI_CLRUSED), 2u);
    EXPECT_EQ(rdLE32(d.bmih + BI_CLRIMPORTANT), 2u);
    EXPECT_EQ(rdLE32(d.bmih + BI_COMPRESSION), 0u);
    EXPECT_EQ(0, memcmp(d.palette, "\xFF\xFF\xFF\0\0\0\0\0", 8));
    EXPECT_EQ(d.lineBytes, 4);

    // With a template: its palette and, when asked for 0 bits, its depth.
    DIB model{};
    ASSERT_EQ(NewDIB(&model, 2, 2, 8, nullptr), 1);
    for (int k = 0; k < 256; ++k) model.palette[4 * k] = uint8_t(255 - k);
    DIB copy{};
    ASSERT_EQ(NewDIB(&copy, 7, 4, 0, &model), 1);
    EXPECT_EQ(rdLE16(copy.bmih + BI_BITCOUNT), 8);
    EXPECT_EQ(copy.numColors, 256);
    EXPECT_EQ(0, memcmp(copy.palette, model.palette, 1024));
    EXPECT_EQ(copy.lineBytes, 8);
    // The template may be the record itself.
    ASSERT_EQ(NewDIB(&model, 3, 3, 0, &model), 1);
    EXPECT_EQ(0, memcmp(copy.palette, model.palette, 1024));
    EXPECT_EQ(DIBWidth(&model), 3);
    // A 4-bit bitmap from an 8-bit template takes only the entries it can index.
    ASSERT_EQ(NewDIB(&copy, 3, 3, 4, &model), 1);
    EXPECT_EQ(copy.numColors, 16);
    EXPECT_EQ(copy.bits, copy.palette + 64);
    ASSERT_EQ(NewDIB(&copy, 3, 3, 24, &model), 1);
    EXPECT_EQ(copy.bits, copy.palette);
    EXPECT_EQ(copy.lineBytes, 12);

    // Nonsense sizes or depths: 0 and an empty block.
    for (auto args : {std::vector<int>{0, 1, 8},
                      {1, 0, 8},
                      {-3, 2, 8},
                      {2, 2, 3},
                      {2, 2, 0},
                      {100000, 100000, 32}}) {
        EXPECT_EQ(NewDIB(&copy, args[0], args[1], args[2], nullptr), 0);
        EXPECT_EQ(copy.mem, nullptr);
    }
    FreeDIB(&copy);
    FreeDIB(&model);
    FreeDIB(&d);
    EXPECT_EQ(d.rcPos.bottom, 0);
    EXPECT_EQ(NewDIB(nullptr, 1, 1, 8, nullptr), 0);
}

} // namespace
