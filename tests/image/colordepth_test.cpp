// Colour-depth conversion, palettes and dithering on hand-built records.
#include "image/depth_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>

using namespace depthtest;

namespace {

uint16_t rgb565(int b, int g, int r) {
    return uint16_t(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}
std::array<int, 3> expand(uint16_t v) {
    int b = ((v & 0x1F) << 3) | ((v & 0x1C) >> 2);
    int g = ((v & 0x7E0) >> 3) | ((v & 0x600) >> 9);
    int r = ((v >> 8) & 0xF8) | ((v & 0xE000) >> 13);
    return {b, g, r};
}
int clampByte(int v) {
    return v < 0 ? 0 : v > 255 ? 255 : v;
}

using Image = std::vector<std::array<int, 3>>; // (b, g, r), stored row order

Image read24(const DIB& d) {
    Image img;
    for (int y = 0; y < DIBHeight(&d); y++)
        for (int x = 0; x < DIBWidth(&d); x++) {
            const uint8_t* p = pixel(d, x, y);
            img.push_back({p[0], p[1], p[2]});
        }
    return img;
}

// Error diffusion over the whole picture held as integers: 3/8 right, 3/8
// below, 1/4 below-right, truncating divisions, clamping after every addition.
// `show` turns a colour into the colour the output will really have.
template <class Show> Image referenceDither(Image img, int w, int h, Show show) {
    Image shown(img.size());
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            auto c = img[size_t(y * w + x)];
            auto s = show(c);
            shown[size_t(y * w + x)] = s;
            for (int k = 0; k < 3; k++) {
                int e = c[k] - s[k];
                if (x + 1 < w) {
                    int& v = img[size_t(y * w + x + 1)][k];
                    v = clampByte(v + 3 * e / 8);
                }
                if (y + 1 < h) {
                    int& v = img[size_t((y + 1) * w + x)][k];
                    v = clampByte(v + 3 * e / 8);
                }
                if (x + 1 < w && y + 1 < h) {
                    int& v = img[size_t((y + 1) * w + x + 1)][k];
                    v = clampByte(v + e / 4);
                }
            }
        }
    return shown;
}

std::array<int, 3> at565(const std::array<int, 3>& c) {
    return expand(rgb565(c[0], c[1], c[2]));
}

int refNearest(const uint8_t* pal, int n, const std::array<int, 3>& c) {
    int best = -1, bestD = 0;
    for (int i = 0; i < n; i++) {
        int d = 0;
        for (int k = 0; k < 3; k++) d += (pal[4 * i + k] - c[k]) * (pal[4 * i + k] - c[k]);
        if (best < 0 || d < bestD) best = i, bestD = d;
    }
    return best;
}

DIB photo24(int w, int h, uint32_t seed) {
    DIB d = makeDIB(w, h, 24);
    Lcg rng(seed);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint32_t n = rng.next();
            set24(d, x, y, (x * 255 / w + int(n % 23)) & 255,
                  (y * 255 / h + int(n / 23 % 17)) & 255, ((x + y) * 97 + int(n / 391 % 40)) & 255);
        }
    return d;
}

std::array<int, 3> palColour(const DIB& d, int i) {
    return {d.palette[4 * i], d.palette[4 * i + 1], d.palette[4 * i + 2]};
}

} // namespace

TEST(ColorDepth, KnownColoursBecomeRgb565) {
    Owned p(makeDIB(7, 2, 24));
    const int colours[7][3] = {{50, 100, 200}, {255, 255, 255}, {0, 0, 0}, {0, 0, 255},
                               {0, 255, 0},    {255, 0, 0},     {8, 4, 8}};
    const uint16_t want[7] = {0xCB26, 0xFFFF, 0x0000, 0xF800, 0x07E0, 0x001F, 0x0821};
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 7; x++) set24(p.d, x, y, colours[x][0], colours[x][1], colours[x][2]);
    ASSERT_EQ(ChangeDIBto16Bit(&p.d, 0), 1);
    EXPECT_EQ(DIBBitCount(&p.d), 16);
    EXPECT_EQ(rdLE32(p.d.mem + BI_SIZE), 40u);
    EXPECT_EQ(rdLE32(p.d.mem + BI_COMPRESSION), 3u);
    EXPECT_EQ(rdLE32(p.d.mem + 40), 0xF800u);
    EXPECT_EQ(rdLE32(p.d.mem + 44), 0x07E0u);
    EXPECT_EQ(rdLE32(p.d.mem + 48), 0x001Fu);
    EXPECT_EQ(rdLE32(p.d.mem + BI_XPELS), 3780u);
    EXPECT_EQ(p.d.numColors, 65536);
    EXPECT_EQ(p.d.bits, p.d.mem + 52);
    EXPECT_EQ(p.d.memSize, 52u + 16u * 2u);
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 7; x++) EXPECT_EQ(get16(p.d, x, y), want[x]) << x << "," << y;

    // A single colour, dithered: the first pixel is the plain conversion, and
    // the rest follows the error diffusion exactly.
    Owned q(makeDIB(9, 5, 24));
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 9; x++) set24(q.d, x, y, 50, 100, 200);
    Image src = read24(q.d);
    ASSERT_EQ(ChangeDIBto16Bit(&q.d, 1), 1);
    EXPECT_EQ(get16(q.d, 0, 0), 0xCB26);
    Image ref = referenceDither(src, 9, 5, at565);
    for (int y = 0; y < 5; y++)
        for (int x = 0; x < 9; x++) EXPECT_EQ(expand(get16(q.d, x, y)), ref[size_t(y * 9 + x)]);
}

TEST(ColorDepth, Rgb565PictureIsLeftAlone) {
    Owned p(makeDIB(3, 3, 16, 0, true));
    for (int i = 0; i < 9; i++) set16(p.d, i % 3, i / 3, uint16_t(i * 4099));
    uint8_t* before = p.d.mem;
    auto bytes = blockBytes(p.d);
    EXPECT_EQ(ChangeDIBto16Bit(&p.d, 1), 1);
    EXPECT_EQ(p.d.mem, before);
    EXPECT_EQ(blockBytes(p.d), bytes);
}

TEST(ColorDepth, DitheringWorkedByHand) {
    // Blue 7 is shown as 0 (error 7: 21/8 = 2 to the right, 2 below, 7/4 = 1
    // below-right); the neighbour then holds 9, shown as 8.
    Owned p(makeDIB(4, 2, 24));
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 4; x++) set24(p.d, x, y, 7, 0, 0);
    ASSERT_EQ(ChangeDIBto16Bit(&p.d, 1), 1);
    const uint16_t want[2][4] = {{0, 1, 0, 1}, {1, 1, 1, 1}};
    for (int y = 0; y < 2; y++)
        for (int x = 0; x < 4; x++) EXPECT_EQ(get16(p.d, x, y), want[y][x]) << x << "," << y;

    // Blue 224 is shown as 231: error -7 gives -21/8 = -2 (toward zero, not
    // -3), so 218 becomes 216, which is still 27 in five bits (215 would be 26).
    Owned q(makeDIB(2, 1, 24));
    set24(q.d, 0, 0, 224, 0, 0);
    set24(q.d, 1, 0, 218, 0, 0);
    ASSERT_EQ(ChangeDIBto16Bit(&q.d, 1), 1);
    EXPECT_EQ(get16(q.d, 0, 0), 28);
    EXPECT_EQ(get16(q.d, 1, 0), 27);

    // Without dithering each pixel is just reduced.
    Owned r(makeDIB(2, 1, 24));
    set24(r.d, 0, 0, 224, 0, 0);
    set24(r.d, 1, 0, 218, 0, 0);
    ASSERT_EQ(ChangeDIBto16Bit(&r.d, 0), 1);
    EXPECT_EQ(get16(r.d, 1, 0), 27);
}

TEST(ColorDepth, DitheringTo16BitMatchesReference) {
    const int sizes[][2] = {{37, 23}, {1, 9}, {9, 1}, {1, 1}, {64, 3}};
    for (auto& s : sizes) {
        Owned p(photo24(s[0], s[1], uint32_t(s[0] * 131 + s[1])));
        Image src = read24(p.d);
        ASSERT_EQ(ChangeDIBto16Bit(&p.d, 1), 1);
        Image ref = referenceDither(src, s[0], s[1], at565);
        for (int y = 0; y < s[1]; y++)
            for (int x = 0; x < s[0]; x++)
                ASSERT_EQ(expand(get16(p.d, x, y)), ref[size_t(y * s[0] + x)])
                    << s[0] << "x" << s[1] << " at " << x << "," << y;
    }
}

TEST(ColorDepth, EveryDepthTo24Bit) {
    // 1 bit: palette entries by bit, most significant first.
    Owned a(makeDIB(10, 2, 1));
    setPal(a.d, 0, 1, 2, 3);
    setPal(a.d, 1, 200, 150, 100);
    for (int x = 0; x < 10; x++) setIndex(a.d, x, 1, x % 3 == 0);
    ASSERT_EQ(ChangeDIBto24Bit(&a.d), 1);
    EXPECT_EQ(DIBBitCount(&a.d), 24);
    EXPECT_EQ(a.d.numColors, 16777216);
    for (int x = 0; x < 10; x++) {
        std::array<int, 3> want =
            x % 3 == 0 ? std::array<int, 3>{200, 150, 100} : std::array<int, 3>{1, 2, 3};
        EXPECT_EQ(read24(a.d)[size_t(10 + x)], want) << x;
        EXPECT_EQ(read24(a.d)[size_t(x)], (std::array<int, 3>{1, 2, 3}));
    }
    // 4 bits, odd width; 8 bits with a short palette.
    Owned b(makeDIB(5, 1, 4));
    for (int i = 0; i < 16; i++) setPal(b.d, i, i, i * 2, i * 3);
    for (int x = 0; x < 5; x++) setIndex(b.d, x, 0, 15 - x * 3);
    ASSERT_EQ(ChangeDIBto24Bit(&b.d), 1);
    for (int x = 0; x < 5; x++) {
        int i = 15 - x * 3;
        EXPECT_EQ(read24(b.d)[size_t(x)], (std::array<int, 3>{i, i * 2, i * 3}));
    }
    Owned c(makeDIB(3, 1, 8, 3));
    EXPECT_EQ(c.d.numColors, 3);
    setPal(c.d, 0, 9, 8, 7);
    setPal(c.d, 2, 1, 2, 3);
    setIndex(c.d, 0, 0, 2);
    setIndex(c.d, 1, 0, 0);
    setIndex(c.d, 2, 0, 200); // past the palette: read as black, never outside it
    ASSERT_EQ(ChangeDIBto24Bit(&c.d), 1);
    EXPECT_EQ(read24(c.d), (Image{{1, 2, 3}, {9, 8, 7}, {0, 0, 0}}));
    // 16 bits: RGB565 by its masks, 5-5-5 without them.
    Owned d(makeDIB(2, 1, 16, 0, true));
    set16(d.d, 0, 0, 0xCB26);
    set16(d.d, 1, 0, 0xFFFF);
    ASSERT_EQ(ChangeDIBto24Bit(&d.d), 1);
    EXPECT_EQ(read24(d.d), (Image{{0x31, 0x65, 0xCE}, {255, 255, 255}}));
    Owned e(makeDIB(2, 1, 16));
    set16(e.d, 0, 0, 0x7C00); // red only in 5-5-5
    set16(e.d, 1, 0, 0x03E0 | 0x0010);
    ASSERT_EQ(ChangeDIBto24Bit(&e.d), 1);
    EXPECT_EQ(read24(e.d), (Image{{0, 0, 255}, {0x84, 255, 0}}));
    // 32 bits with a 40-byte header: bytes 0, 1, 2.
    Owned f(makeDIB(2, 2, 32));
    for (int i = 0; i < 16; i++) f.d.bits[i] = uint8_t(i * 10 + 1);
    ASSERT_EQ(ChangeDIBto24Bit(&f.d), 1);
    EXPECT_EQ(read24(f.d), (Image{{1, 11, 21}, {41, 51, 61}, {81, 91, 101}, {121, 131, 141}}));
    // Already 24 bits: same block.
    uint8_t* before = f.d.mem;
    EXPECT_EQ(ChangeDIBto24Bit(&f.d), 1);
    EXPECT_EQ(f.d.mem, before);
}

TEST(ColorDepth, EightBitPaletteForFewColours) {
    // Three colours: the palette starts with them at RGB565 precision, darkest
    // first, and the standard table fills the rest.
    Owned p(makeDIB(6, 4, 16, 0, true));
    const uint16_t cols[3] = {rgb565(250, 250, 250) /*light*/, rgb565(10, 200, 30),
                              rgb565(0, 0, 100)};
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 6; x++) set16(p.d, x, y, cols[(x + y) % 3]);
    ASSERT_EQ(ChangeDIBto8Bit(&p.d, 16), 1);
    EXPECT_EQ(DIBBitCount(&p.d), 8);
    EXPECT_EQ(p.d.numColors, 256);
    EXPECT_EQ(rdLE32(p.d.mem + BI_CLRUSED), 0u);
    EXPECT_EQ(palColour(p.d, 0), expand(cols[2]));
    EXPECT_EQ(palColour(p.d, 1), expand(cols[1]));
    EXPECT_EQ(palColour(p.d, 2), expand(cols[0]));
    for (int i = 3; i < 256; i++)
        EXPECT_EQ(palColour(p.d, i),
                  (std::array<int, 3>{StandardPalette[i][2], StandardPalette[i][1],
                                      StandardPalette[i][0]}))
            << i;
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 6; x++)
            EXPECT_EQ(palColour(p.d, getIndex(p.d, x, y)), expand(cols[(x + y) % 3]));

    // Black only: nothing of the picture is kept, the standard table is used
    // whole and every pixel is index 0.
    Owned k(makeDIB(5, 3, 16, 0, true));
    ASSERT_EQ(ChangeDIBto8Bit(&k.d, 16), 1);
    for (int i = 0; i < 256; i++)
        EXPECT_EQ(palColour(k.d, i),
                  (std::array<int, 3>{StandardPalette[i][2], StandardPalette[i][1],
                                      StandardPalette[i][0]}));
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 5; x++) EXPECT_EQ(getIndex(k.d, x, y), 0);

    // Already 8 bits: nothing to do.
    uint8_t* before = k.d.mem;
    EXPECT_EQ(ChangeDIBto8Bit(&k.d, 16), 1);
    EXPECT_EQ(k.d.mem, before);
}

TEST(ColorDepth, StandardPaletteTable) {
    EXPECT_EQ(StandardPalette[14][0], 2);
    EXPECT_EQ(StandardPalette[14][1], 128);
    EXPECT_EQ(StandardPalette[14][2], 255);
    for (int i = 16; i <= 214; i++) {
        EXPECT_EQ(StandardPalette[i][0], 255 - 51 * (i / 36)) << i;
        EXPECT_EQ(StandardPalette[i][1], 255 - 51 * (i / 6 % 6)) << i;
        EXPECT_EQ(StandardPalette[i][2], 255 - 51 * (i % 6)) << i;
    }
    const int ramp[10] = {238, 221, 187, 170, 136, 119, 85, 68, 34, 17};
    for (int i = 0; i < 10; i++) {
        EXPECT_EQ(StandardPalette[215 + i][0], ramp[i]);
        EXPECT_EQ(StandardPalette[225 + i][1], ramp[i]);
        EXPECT_EQ(StandardPalette[235 + i][2], ramp[i]);
        EXPECT_EQ(StandardPalette[245 + i][1], ramp[i]);
        EXPECT_EQ(StandardPalette[225 + i][0] + StandardPalette[235 + i][1], 0);
    }
    EXPECT_EQ(StandardPalette[255][0] + StandardPalette[255][1] + StandardPalette[255][2], 0);
}

TEST(ColorDepth, PaletteIsExactUpTo256Colours) {
    // 200 colours at RGB565 precision, 256 at full precision: every pixel
    // keeps its colour exactly, so the dithering has no error to spread.
    Owned p(makeDIB(20, 20, 16, 0, true));
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++) set16(p.d, x, y, uint16_t(((x * 20 + y) % 200) * 317));
    std::vector<uint16_t> before;
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++) before.push_back(get16(p.d, x, y));
    ASSERT_EQ(ChangeDIBto8Bit(&p.d, 16), 1);
    for (int y = 0; y < 20; y++)
        for (int x = 0; x < 20; x++)
            ASSERT_EQ(palColour(p.d, getIndex(p.d, x, y)), expand(before[size_t(y * 20 + x)]));

    Owned q(makeDIB(16, 16, 24));
    for (int i = 0; i < 256; i++) set24(q.d, i % 16, i / 16, i, 255 - i, (i * 7) & 255);
    Image src = read24(q.d);
    ASSERT_EQ(ChangeDIBto8Bit(&q.d, 0), 1);
    for (int i = 0; i < 256; i++)
        ASSERT_EQ(palColour(q.d, getIndex(q.d, i % 16, i / 16)), src[size_t(i)]);
}

TEST(ColorDepth, EightBitDitheringMatchesReference) {
    Owned p(photo24(40, 30, 7));
    Image src = read24(p.d);
    ASSERT_EQ(ChangeDIBto8Bit(&p.d, 16), 1);
    // The palette samples the sorted distinct RGB565-precision colours at
    // equal steps, always including the largest, then orders by brightness.
    std::set<uint32_t> distinct;
    for (auto& c : src) {
        auto s = at565(c);
        distinct.insert(uint32_t(s[0] | s[1] << 8 | s[2] << 16));
    }
    std::vector<uint32_t> sorted(distinct.begin(), distinct.end());
    ASSERT_GT(sorted.size(), 256u);
    size_t k = sorted.size() - 1, step = k / 256;
    std::multiset<uint32_t> want, got;
    for (size_t i = 0; i < 255; i++) want.insert(sorted[step * i]);
    want.insert(sorted[k]);
    int lastBright = -1;
    for (int i = 0; i < 256; i++) {
        auto c = palColour(p.d, i);
        got.insert(uint32_t(c[0] | c[1] << 8 | c[2] << 16));
        int bright = (c[0] + c[1] + c[2]) / 3;
        EXPECT_GE(bright, lastBright);
        lastBright = bright;
    }
    EXPECT_EQ(got, want);
    // Dithering against that palette, nearest colour by squared distance.
    Image shownRef = referenceDither(src, 40, 30, [&](const std::array<int, 3>& c) {
        return palColour(p.d, refNearest(p.d.palette, 256, c));
    });
    for (int y = 0; y < 30; y++)
        for (int x = 0; x < 40; x++)
            ASSERT_EQ(palColour(p.d, getIndex(p.d, x, y)), shownRef[size_t(y * 40 + x)])
                << x << "," << y;
}

TEST(ColorDepth, SortKeepsTheDocumentedTieOrder) {
    // Traced by hand: the pivot swap of the outer ends, then the two halves.
    uint32_t v[3] = {5, 5, 5}, par[3] = {1, 2, 3};
    SortColorValues(v, 0, 2, par);
    EXPECT_EQ(par[0], 2u);
    EXPECT_EQ(par[1], 1u);
    EXPECT_EQ(par[2], 3u);
    // Signed comparison.
    uint32_t s[4] = {3, 0xFFFFFFFFu, 2, 0x80000000u};
    SortColorValues(s, 0, 3, nullptr);
    EXPECT_EQ(s[0], 0x80000000u);
    EXPECT_EQ(s[1], 0xFFFFFFFFu);
    EXPECT_EQ(s[2], 2u);
    EXPECT_EQ(s[3], 3u);
    // Many duplicates and an organ-pipe order sort like std::sort.
    std::vector<uint32_t> big;
    Lcg rng(3);
    for (int i = 0; i < 20000; i++) big.push_back(rng.next() % 50);
    for (int i = 0; i < 20000; i++) big.push_back(uint32_t(i < 10000 ? i : 20000 - i));
    std::vector<uint32_t> want = big;
    std::sort(want.begin(), want.end());
    SortColorValues(big.data(), 0, int(big.size() - 1), nullptr);
    EXPECT_EQ(big, want);
    // Equal brightness in the palette: blue < green < red by key, brightness
    // 10 each, so the tie order above puts green first.
    Owned src(makeDIB(3, 1, 24));
    set24(src.d, 0, 0, 0, 0, 30);
    set24(src.d, 1, 0, 30, 0, 0);
    set24(src.d, 2, 0, 0, 30, 0);
    Owned dst(makeDIB(3, 1, 8));
    EXPECT_EQ(MakeBestPalette(&src.d, &dst.d, 256, 0), 3);
    EXPECT_EQ(palColour(dst.d, 0), (std::array<int, 3>{0, 30, 0}));
    EXPECT_EQ(palColour(dst.d, 1), (std::array<int, 3>{30, 0, 0}));
    EXPECT_EQ(palColour(dst.d, 2), (std::array<int, 3>{0, 0, 30}));
    EXPECT_EQ(palColour(dst.d, 3), (std::array<int, 3>{0, 255, 0})); // standard entry 3
    // Black and white alone give no picture entries at all.
    set24(src.d, 0, 0, 0, 0, 0);
    set24(src.d, 1, 0, 255, 255, 255);
    set24(src.d, 2, 0, 0, 0, 0);
    EXPECT_EQ(MakeBestPalette(&src.d, &dst.d, 256, 0), 0);
    EXPECT_EQ(palColour(dst.d, 7), (std::array<int, 3>{255, 255, 255}));
}

TEST(ColorDepth, NearestPaletteColour) {
    uint8_t pal[4 * 4] = {10, 10, 10, 0, 20, 20, 20, 0, 20, 20, 20, 0, 0, 0, 0, 0};
    EXPECT_EQ(NearestPaletteColor(pal, 15, 15, 15, 4), 0); // tie: lower index
    EXPECT_EQ(NearestPaletteColor(pal, 20, 20, 20, 4), 1); // exact, first of two
    EXPECT_EQ(NearestPaletteColor(pal, 1, 1, 1, 4), 3);
    EXPECT_EQ(NearestPaletteColor(pal, 1, 1, 1, 3), 0);
    EXPECT_EQ(NearestPaletteColor(pal, 255, 0, 0, 0), 0);
    EXPECT_EQ(GetByteValue(-5), 0);
    EXPECT_EQ(GetByteValue(300), 255);
    EXPECT_EQ(GetByteValue(77), 77);
}

TEST(ColorDepth, CountColorsStopsAfter256) {
    Owned p(makeDIB(20, 15, 24));
    for (int i = 0; i < 300; i++) set24(p.d, i % 20, i / 20, i & 255, i >> 8, 7);
    std::vector<uint8_t> pal(1024, 0xEE);
    EXPECT_EQ(CountColors(&p.d, pal.data(), 1), 257);
    EXPECT_EQ(CountColors(&p.d, nullptr, 0), 300);
    for (int i = 0; i < 256; i++) {
        EXPECT_EQ(pal[size_t(4 * i)], i & 255);
        EXPECT_EQ(pal[size_t(4 * i + 2)], 7);
        EXPECT_EQ(pal[size_t(4 * i + 3)], 0);
    }
    // Order found, repeated colours counted once.
    Owned q(makeDIB(4, 2, 24));
    const int seq[8] = {3, 1, 3, 2, 1, 1, 0, 3};
    for (int i = 0; i < 8; i++) set24(q.d, i % 4, i / 4, seq[i], 0, 0);
    std::vector<uint8_t> qp(1024, 0xEE);
    EXPECT_EQ(CountColors(&q.d, qp.data(), 1), 4);
    EXPECT_EQ(qp[0], 3);
    EXPECT_EQ(qp[4], 1);
    EXPECT_EQ(qp[8], 2);
    EXPECT_EQ(qp[12], 0);
    EXPECT_EQ(qp[16], 0xEE);
    // 8 bits: colours, not indices; 1 bit: the palette size, unscanned.
    Owned r(makeDIB(3, 1, 8));
    setPal(r.d, 4, 9, 9, 9);
    setPal(r.d, 5, 9, 9, 9);
    setIndex(r.d, 0, 0, 4);
    setIndex(r.d, 1, 0, 5);
    EXPECT_EQ(CountColors(&r.d, nullptr, 1), 2); // (9,9,9) and black
    Owned s(makeDIB(8, 8, 1));
    EXPECT_EQ(CountColors(&s.d, nullptr, 1), 2);
}

TEST(ColorDepth, SmallestPalette) {
    // 8 bits using 5 of 256 colours -> 4 bits, 5 entries in the old order.
    Owned p(makeDIB(7, 3, 8));
    for (int i = 0; i < 256; i++) setPal(p.d, i, i, 255 - i, i / 2);
    const int used[5] = {200, 3, 77, 150, 9};
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 7; x++) setIndex(p.d, x, y, used[(x + 2 * y) % 5]);
    EXPECT_EQ(ChangeDIBtoMinPalette(&p.d), 5);
    EXPECT_EQ(DIBBitCount(&p.d), 4);
    EXPECT_EQ(rdLE32(p.d.mem + BI_CLRUSED), 5u);
    EXPECT_EQ(rdLE32(p.d.mem + BI_CLRIMPORTANT), 5u);
    EXPECT_EQ(p.d.numColors, 5);
    const int order[5] = {3, 9, 77, 150, 200};
    for (int i = 0; i < 5; i++)
        EXPECT_EQ(palColour(p.d, i), (std::array<int, 3>{order[i], 255 - order[i], order[i] / 2}));
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 7; x++) {
            int old = used[(x + 2 * y) % 5];
            EXPECT_EQ(palColour(p.d, getIndex(p.d, x, y)),
                      (std::array<int, 3>{old, 255 - old, old / 2}));
        }
    // Equal palette entries merge: indices 1, 3 and 7 with two colours -> 1 bit.
    Owned q(makeDIB(9, 1, 8));
    setPal(q.d, 1, 10, 20, 30);
    setPal(q.d, 3, 40, 50, 60);
    setPal(q.d, 7, 40, 50, 60);
    const int idx[9] = {7, 1, 3, 3, 7, 1, 1, 7, 3};
    for (int x = 0; x < 9; x++) setIndex(q.d, x, 0, idx[x]);
    EXPECT_EQ(ChangeDIBtoMinPalette(&q.d), 2);
    EXPECT_EQ(DIBBitCount(&q.d), 1);
    EXPECT_EQ(rdLE32(q.d.mem + BI_CLRUSED), 0u);
    EXPECT_EQ(palColour(q.d, 0), (std::array<int, 3>{10, 20, 30}));
    EXPECT_EQ(palColour(q.d, 1), (std::array<int, 3>{40, 50, 60}));
    for (int x = 0; x < 9; x++) EXPECT_EQ(getIndex(q.d, x, 0), idx[x] == 1 ? 0 : 1);
    // 24 bits with 16 colours -> 4 bits, palette in the order found.
    Owned r(makeDIB(8, 4, 24));
    for (int i = 0; i < 32; i++) set24(r.d, i % 8, i / 8, (31 - i) % 16 * 10, 1, 2);
    EXPECT_EQ(ChangeDIBtoMinPalette(&r.d), 16);
    EXPECT_EQ(DIBBitCount(&r.d), 4);
    EXPECT_EQ(rdLE32(r.d.mem + BI_CLRUSED), 0u);
    EXPECT_EQ(palColour(r.d, 0), (std::array<int, 3>{150, 1, 2}));
    for (int i = 0; i < 32; i++)
        EXPECT_EQ(palColour(r.d, getIndex(r.d, i % 8, i / 8))[0], (31 - i) % 16 * 10);
    // Too many colours, or already minimal: unchanged.
    Owned s(photo24(30, 30, 5));
    auto bytes = blockBytes(s.d);
    EXPECT_GT(ChangeDIBtoMinPalette(&s.d), 256);
    EXPECT_EQ(blockBytes(s.d), bytes);
    Owned t(makeDIB(4, 4, 1));
    auto tb = blockBytes(t.d);
    EXPECT_EQ(ChangeDIBtoMinPalette(&t.d), 2);
    EXPECT_EQ(blockBytes(t.d), tb);
}

TEST(ColorDepth, UnusedColour) {
    uint8_t bgr[3];
    // Nothing in the way: the first candidate.
    Owned a(makeDIB(4, 4, 24));
    ASSERT_EQ(GetUnusedColor(&a.d, bgr), 1);
    EXPECT_EQ(bgr[0], 0x5A);
    EXPECT_EQ(bgr[1], 0xFB);
    EXPECT_EQ(bgr[2], 0xAD);
    // The first candidate at RGB565 precision (not the same bytes) is present.
    set24(a.d, 2, 3, 0x5C, 0xF9, 0xAA);
    ASSERT_EQ(GetUnusedColor(&a.d, bgr), 1);
    EXPECT_EQ(bgr[0], 0x63);
    EXPECT_EQ(bgr[1], 0xE3);
    EXPECT_EQ(bgr[2], 0x73);
    // Palette pictures look at their palette; 32-bit pictures at their pixels.
    Owned b(makeDIB(2, 2, 8, 2));
    setPal(b.d, 1, 0x58, 0xF8, 0xA8);
    ASSERT_EQ(GetUnusedColor(&b.d, bgr), 1);
    EXPECT_EQ(bgr[0], 0x63);
    Owned c(makeDIB(2, 2, 32));
    c.d.bits[4] = 0x58, c.d.bits[5] = 0xF8, c.d.bits[6] = 0xA8;
    ASSERT_EQ(GetUnusedColor(&c.d, bgr), 1);
    EXPECT_EQ(bgr[0], 0x63);
    // 1 bit: no answer.
    Owned d(makeDIB(8, 1, 1));
    EXPECT_EQ(GetUnusedColor(&d.d, bgr), 0);
    // All 32 candidates present: still a colour the picture lacks.
    Owned e(makeDIB(8, 4, 24));
    int cb = 0x58, cg = 0xF8, cr = 0xA8;
    std::set<uint16_t> present;
    for (int i = 0; i < 32; i++) {
        set24(e.d, i % 8, i / 8, cb, cg, cr);
        present.insert(rgb565(cb, cg, cr));
        cb = (cb + 8) & 255, cg = (cg - 0x18) & 255, cr = (cr - 0x38) & 255;
    }
    EXPECT_EQ(cb, 0x58); // the sequence has come round
    ASSERT_EQ(GetUnusedColor(&e.d, bgr), 1);
    EXPECT_EQ(present.count(rgb565(bgr[0], bgr[1], bgr[2])), 0u);
    EXPECT_EQ(expand(rgb565(bgr[0], bgr[1], bgr[2])), (std::array<int, 3>{bgr[0], bgr[1], bgr[2]}));
    // A photograph: the answer differs at RGB565 precision from every pixel.
    Owned f(photo24(64, 48, 11));
    ASSERT_EQ(GetUnusedColor(&f.d, bgr), 1);
    uint16_t u = rgb565(bgr[0], bgr[1], bgr[2]);
    for (auto& px : read24(f.d)) ASSERT_NE(rgb565(px[0], px[1], px[2]), u);
    // Every RGB565 value present: there is none.
    Owned g(makeDIB(256, 256, 16, 0, true));
    for (int i = 0; i < 65536; i++) set16(g.d, i % 256, i / 256, uint16_t(i));
    EXPECT_EQ(GetUnusedColor(&g.d, bgr), 0);
}

TEST(ColorDepth, RecordsThatLieAboutTheirBlock) {
    uint8_t bgr[3], pal[1024];
    auto everything = [&](DIB* d) {
        int r = 0;
        r += ChangeDIBto24Bit(d);
        r += ChangeDIBto16Bit(d, 1);
        r += ChangeDIBto8Bit(d, 16);
        r += CountColors(d, pal, 1);
        r += ChangeDIBtoMinPalette(d);
        r += GetUnusedColor(d, bgr);
        return r;
    };
    DIB empty{};
    EXPECT_EQ(everything(&empty), 0);
    EXPECT_EQ(everything(nullptr), 0);
    struct Case {
        const char* what;
        void (*spoil)(DIB&);
    };
    const Case cases[] = {
        {"block one byte short", [](DIB& d) { d.memSize -= 1; }},
        {"height larger than the block", [](DIB& d) { wrLE32(d.mem + BI_HEIGHT, 5000); }},
        {"huge width", [](DIB& d) { wrLE32(d.mem + BI_WIDTH, 0x7FFFFFFF); }},
        {"top-down rows", [](DIB& d) { wrLE32(d.mem + BI_HEIGHT, uint32_t(-4)); }},
        {"odd depth", [](DIB& d) { wrLE16(d.mem + BI_BITCOUNT, 7); }},
        {"compressed rows", [](DIB& d) { wrLE32(d.mem + BI_COMPRESSION, 1); }},
        {"huge palette", [](DIB& d) { wrLE32(d.mem + BI_CLRUSED, 0x40000000); }},
        {"header size past the block", [](DIB& d) { wrLE32(d.mem + BI_SIZE, 100000); }},
        {"pointers not matching the header", [](DIB& d) { d.bits += 4; }},
    };
    for (const Case& c : cases) {
        Owned p(makeDIB(6, 4, 8));
        for (int i = 0; i < 24; i++) setIndex(p.d, i % 6, i / 6, i);
        c.spoil(p.d);
        uint8_t* before = p.d.mem;
        auto bytes = std::vector<uint8_t>(p.d.mem, p.d.mem + 40);
        EXPECT_EQ(everything(&p.d), 0) << c.what;
        EXPECT_EQ(p.d.mem, before) << c.what;
        EXPECT_EQ(std::vector<uint8_t>(p.d.mem, p.d.mem + 40), bytes) << c.what;
    }
    // A destination that does not fit the source is left alone by the dither.
    Owned src(photo24(5, 5, 1));
    Owned dst(makeDIB(4, 5, 16, 0, true));
    auto db = blockBytes(dst.d);
    FloydSteinbergDithering(&src.d, &dst.d);
    EXPECT_EQ(blockBytes(dst.d), db);
    EXPECT_EQ(MakeBestPalette(&src.d, &dst.d, 256, 16), 0);
}

TEST(ColorDepth, SamePictureSameBytes) {
    for (int depth : {16, 8}) {
        Owned a(photo24(48, 32, 99)), b(photo24(48, 32, 99));
        ASSERT_EQ(depth == 16 ? ChangeDIBto16Bit(&a.d, 1) : ChangeDIBto8Bit(&a.d, 16), 1);
        ASSERT_EQ(depth == 16 ? ChangeDIBto16Bit(&b.d, 1) : ChangeDIBto8Bit(&b.d, 16), 1);
        EXPECT_EQ(blockBytes(a.d), blockBytes(b.d));
    }
}

// The fast nearest-colour search must pick the very index the full search
// picks, also among duplicate and equally distant palette entries.
TEST(ColorDepth, FastNearestSearchPicksTheSameIndicesAsTheFullSearch) {
    for (uint32_t seed : {1u, 2u, 3u}) {
        Owned src(photo24(64, 48, seed));
        Owned dst(makeDIB(64, 48, 8));
        Lcg rng(seed * 77);
        for (int i = 0; i < 256; i++) {
            uint8_t* e = dst.d.palette + 4 * i;
            if (i % 5 == 4) {
                std::copy(e - 16, e - 12, e); // a duplicate of an earlier entry
            } else if (seed == 3) {
                e[0] = uint8_t(32 * (i % 8)), e[1] = uint8_t(32 * (i / 8 % 8)); // grid: many ties
                e[2] = uint8_t(64 * (i / 64));
            } else {
                uint32_t n = rng.next();
                e[0] = uint8_t(n), e[1] = uint8_t(n >> 8), e[2] = uint8_t(n >> 16);
            }
        }
        FloydSteinbergDithering(&src.d, &dst.d);
        Image input = read24(src.d);
        // Reference: diffusion with the first entry of least distance.
        Image work = input;
        for (int y = 0; y < 48; y++)
            for (int x = 0; x < 64; x++) {
                auto c = work[size_t(y * 64 + x)];
                int want = refNearest(dst.d.palette, 256, c);
                ASSERT_EQ(getIndex(dst.d, x, y), want)
                    << "seed " << seed << " at " << x << "," << y;
                auto s = palColour(dst.d, want);
                for (int k = 0; k < 3; k++) {
                    int e = c[k] - s[k];
                    if (x + 1 < 64)
                        work[size_t(y * 64 + x + 1)][k] =
                            clampByte(work[size_t(y * 64 + x + 1)][k] + 3 * e / 8);
                    if (y + 1 < 48)
                        work[size_t((y + 1) * 64 + x)][k] =
                            clampByte(work[size_t((y + 1) * 64 + x)][k] + 3 * e / 8);
                    if (x + 1 < 64 && y + 1 < 48)
                        work[size_t((y + 1) * 64 + x + 1)][k] =
                            clampByte(work[size_t((y + 1) * 64 + x + 1)][k] + e / 4);
                }
            }
    }
}
