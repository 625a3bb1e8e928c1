// Resizing: nearest pixel for palette pictures, area averaging for the rest.
#include "image/depth_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace depthtest;

namespace {

// Area-weighted mean by brute force: every source pixel against every target
// pixel, overlaps measured on the common grid of W * w by H * h units.
std::vector<uint8_t> referenceBox(const DIB& src, int w, int h) {
    const int W = DIBWidth(&src), H = DIBHeight(&src);
    std::vector<uint8_t> out;
    for (int yn = 0; yn < h; yn++)
        for (int xn = 0; xn < w; xn++)
            for (int c = 0; c < 3; c++) {
                uint64_t sum = 0;
                for (int ys = 0; ys < H; ys++) {
                    int64_t oy = std::min<int64_t>(int64_t(ys + 1) * h, int64_t(yn + 1) * H) -
                                 std::max<int64_t>(int64_t(ys) * h, int64_t(yn) * H);
                    if (oy <= 0) continue;
                    for (int xs = 0; xs < W; xs++) {
                        int64_t ox = std::min<int64_t>(int64_t(xs + 1) * w, int64_t(xn + 1) * W) -
                                     std::max<int64_t>(int64_t(xs) * w, int64_t(xn) * W);
                        if (ox > 0) sum += uint64_t(pixel(src, xs, ys)[c]) * uint64_t(ox * oy);
                    }
                }
                uint64_t total = uint64_t(W) * uint64_t(H);
                out.push_back(uint8_t((sum + total / 2) / total));
            }
    return out;
}

std::vector<uint8_t> pixels24(const DIB& d) {
    std::vector<uint8_t> out;
    for (int y = 0; y < DIBHeight(&d); y++)
        for (int x = 0; x < DIBWidth(&d); x++)
            out.insert(out.end(), pixel(d, x, y), pixel(d, x, y) + 3);
    return out;
}

DIB noise24(int w, int h, uint32_t seed) {
    DIB d = makeDIB(w, h, 24);
    Lcg rng(seed);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++)
            set24(d, x, y, rng.next() & 255, rng.next() & 255, rng.next() & 255);
    return d;
}

} // namespace

TEST(Resize, TargetSizeKeepsTheAspect) {
    struct Case {
        int W, H, w, h, keep, wantW, wantH;
    };
    const Case cases[] = {
        {1000, 500, 240, 320, 1, 240, 120}, {640, 480, 320, 240, 1, 320, 240},
        {500, 1000, 480, 320, 1, 160, 320}, {640, 480, 240, 320, 1, 240, 180},
        {640, 480, 240, 320, 0, 240, 320},  {640, 480, 0, 120, 1, 160, 120},
        {640, 480, 100, -3, 0, 100, 75},    {3, 1000, 1, 0, 1, 1, 333},
        {1000, 3, 0, 1, 1, 333, 1},         {1000, 2, 10, 0, 1, 10, 1}, // 0.02 rows: one at least
    };
    for (const Case& c : cases) {
        Owned p(makeDIB(c.W, c.H, 8));
        ASSERT_EQ(NewResizeDIB(&p.d, c.w, c.h, c.keep), 1) << c.W << "x" << c.H;
        EXPECT_EQ(DIBWidth(&p.d), c.wantW) << c.W << "x" << c.H << " into " << c.w << "x" << c.h;
        EXPECT_EQ(DIBHeight(&p.d), c.wantH) << c.W << "x" << c.H << " into " << c.w << "x" << c.h;
    }
    // The same sizes come out of the averaging path.
    Owned q(makeDIB(64, 48, 24));
    ASSERT_EQ(NewResizeDIB(&q.d, 24, 32, 1), 1);
    EXPECT_EQ(DIBWidth(&q.d), 24);
    EXPECT_EQ(DIBHeight(&q.d), 18);
}

TEST(Resize, NearestPixelAtEveryPaletteDepth) {
    // 4 bits, 100 x 100 to 50 x 0: every second column of every second row.
    Owned p(makeDIB(100, 100, 4));
    for (int i = 0; i < 16; i++) setPal(p.d, i, i * 16, 255 - i, i);
    for (int y = 0; y < 100; y++)
        for (int x = 0; x < 100; x++) setIndex(p.d, x, y, (x * 7 + y * 3) % 16);
    auto palette = std::vector<uint8_t>(p.d.palette, p.d.palette + 64);
    ASSERT_EQ(NewResizeDIB(&p.d, 50, 0, 1), 1);
    EXPECT_EQ(DIBWidth(&p.d), 50);
    EXPECT_EQ(DIBHeight(&p.d), 50);
    EXPECT_EQ(DIBBitCount(&p.d), 4);
    EXPECT_EQ(std::vector<uint8_t>(p.d.palette, p.d.palette + 64), palette);
    EXPECT_EQ(p.d.memSize, 40u + 64u + 28u * 50u);
    for (int y = 0; y < 50; y++)
        for (int x = 0; x < 50; x++) ASSERT_EQ(getIndex(p.d, x, y), (2 * x * 7 + 2 * y * 3) % 16);

    // 1 bit, 8 x 1 to 16 x 1: each pixel twice; kept at 8 x 1 with the aspect.
    const int bitsIn[8] = {1, 0, 0, 1, 1, 1, 0, 1};
    for (int keep : {0, 1}) {
        Owned b(makeDIB(8, 1, 1));
        for (int x = 0; x < 8; x++) setIndex(b.d, x, 0, bitsIn[x]);
        ASSERT_EQ(ResizeDIB(&b.d, 16, 1, keep), 1);
        ASSERT_EQ(DIBWidth(&b.d), keep ? 8 : 16);
        EXPECT_EQ(DIBHeight(&b.d), 1);
        for (int x = 0; x < DIBWidth(&b.d); x++)
            EXPECT_EQ(getIndex(b.d, x, 0), bitsIn[keep ? x : x / 2]);
    }

    // 8 bits, shrinking by 3/7 in x and enlarging by 5/2 in y.
    Owned e(makeDIB(7, 2, 8, 20));
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 7; x++) setIndex(e.d, x, y, x + 10 * y);
    ASSERT_EQ(ResizeDIB(&e.d, 3, 5, 0), 1);
    EXPECT_EQ(rdLE32(e.d.mem + BI_CLRUSED), 20u);
    EXPECT_EQ(e.d.numColors, 20);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 3; x++) EXPECT_EQ(getIndex(e.d, x, y), x * 7 / 3 + 10 * (y * 2 / 5));
}

TEST(Resize, AveragingIsAnExactBoxFilter) {
    // A uniform colour stays exactly that colour at any ratio.
    const int sizes[][2] = {{7, 3}, {3, 7}, {1, 1}, {13, 13}, {40, 2}};
    for (auto& s : sizes) {
        Owned p(makeDIB(13, 11, 24));
        for (int y = 0; y < 11; y++)
            for (int x = 0; x < 13; x++) set24(p.d, x, y, 17, 201, 99);
        ASSERT_EQ(HalftoneResizeDIB(&p.d, s[0], s[1], 0), 1);
        ASSERT_EQ(DIBWidth(&p.d), s[0]);
        for (int y = 0; y < s[1]; y++)
            for (int x = 0; x < s[0]; x++) {
                const uint8_t* px = pixel(p.d, x, y);
                ASSERT_EQ(px[0] + 1000 * px[1] + 1000000 * px[2], 17 + 201000 + 99000000);
            }
    }
    // A 2 x 2 black and white checker averages to mid grey.
    Owned c(makeDIB(2, 2, 24));
    set24(c.d, 0, 0, 255, 255, 255);
    set24(c.d, 1, 1, 255, 255, 255);
    ASSERT_EQ(HalftoneResizeDIB(&c.d, 1, 1, 0), 1);
    EXPECT_EQ(pixels24(c.d), (std::vector<uint8_t>{128, 128, 128}));
    // Noise against the brute-force reference, down, up and sideways.
    const int targets[][2] = {{5, 3}, {17, 19}, {13, 2}, {1, 9}};
    for (auto& t : targets) {
        Owned n(noise24(13, 9, uint32_t(t[0] * 100 + t[1])));
        auto want = referenceBox(n.d, t[0], t[1]);
        ASSERT_EQ(HalftoneResizeDIB(&n.d, t[0], t[1], 0), 1);
        EXPECT_EQ(pixels24(n.d), want) << t[0] << "x" << t[1];
    }
}

TEST(Resize, DeepPicturesComeBackInTheirDepth) {
    // 16 bits: averaged in 24 and brought back to RGB565 with its masks.
    Owned p(makeDIB(640, 480, 16, 0, true));
    for (int y = 0; y < 480; y++)
        for (int x = 0; x < 640; x++) set16(p.d, x, y, uint16_t(x * 97 + y * 31));
    ASSERT_EQ(NewResizeDIB(&p.d, 240, 320, 1), 1);
    EXPECT_EQ(DIBWidth(&p.d), 240);
    EXPECT_EQ(DIBHeight(&p.d), 180);
    EXPECT_EQ(DIBBitCount(&p.d), 16);
    EXPECT_EQ(rdLE32(p.d.mem + BI_COMPRESSION), 3u);
    EXPECT_EQ(rdLE32(p.d.mem + 40), 0xF800u);
    EXPECT_EQ(p.d.memSize, 52u + 480u * 180u);
    // A uniform RGB565 colour survives averaging and dithering unchanged.
    Owned u(makeDIB(30, 20, 16, 0, true));
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 30; x++) set16(u.d, x, y, 0xCB26);
    ASSERT_EQ(NewResizeDIB(&u.d, 7, 0, 1), 1);
    EXPECT_EQ(DIBHeight(&u.d), 4);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 7; x++) EXPECT_EQ(get16(u.d, x, y), 0xCB26);
    // 32 bits come back as 24.
    Owned q(makeDIB(8, 8, 32));
    ASSERT_EQ(NewResizeDIB(&q.d, 4, 4, 1), 1);
    EXPECT_EQ(DIBBitCount(&q.d), 24);
    EXPECT_EQ(DIBWidth(&q.d), 4);
}

TEST(Resize, FailuresKeepThePicture) {
    for (int bits : {1, 4, 8, 16, 24, 32}) {
        Owned p(makeDIB(9, 5, bits, 0, bits == 16));
        for (uint32_t i = 0; i < p.d.memSize - 40; i++) p.d.mem[40 + i] = uint8_t(i * 13);
        uint8_t* before = p.d.mem;
        auto bytes = blockBytes(p.d);
        EXPECT_EQ(NewResizeDIB(&p.d, 0, 0, 1), 0) << bits;
        EXPECT_EQ(ResizeDIB(&p.d, -1, 0, 0), 0) << bits;
        EXPECT_EQ(HalftoneResizeDIB(&p.d, 0, -7, 1), 0) << bits;
        // Far too large to allocate.
        EXPECT_EQ(NewResizeDIB(&p.d, 200000, 200000, 0), 0) << bits;
        EXPECT_EQ(HalftoneResizeDIB(&p.d, 0x7FFFFFFF, 3, 0), 0) << bits;
        EXPECT_EQ(p.d.mem, before) << bits;
        EXPECT_EQ(blockBytes(p.d), bytes) << bits;
    }
    DIB empty{};
    EXPECT_EQ(NewResizeDIB(&empty, 10, 10, 1), 0);
    EXPECT_EQ(NewResizeDIB(nullptr, 10, 10, 1), 0);
    // A header claiming more rows than the block holds is refused.
    Owned bad(makeDIB(4, 4, 24));
    wrLE32(bad.d.mem + BI_HEIGHT, 400);
    EXPECT_EQ(NewResizeDIB(&bad.d, 2, 2, 0), 0);
    EXPECT_EQ(ResizeDIB(&bad.d, 2, 2, 0), 0);
}

TEST(Resize, SamePictureSameBytes) {
    Owned a(noise24(123, 77, 5)), b(noise24(123, 77, 5));
    ASSERT_EQ(ChangeDIBto16Bit(&a.d, 0), 1);
    ASSERT_EQ(ChangeDIBto16Bit(&b.d, 0), 1);
    ASSERT_EQ(NewResizeDIB(&a.d, 50, 50, 1), 1);
    ASSERT_EQ(NewResizeDIB(&b.d, 50, 50, 1), 1);
    EXPECT_EQ(DIBHeight(&a.d), 31);
    EXPECT_EQ(blockBytes(a.d), blockBytes(b.d));
}
