// The committed ZPF fonts in data/fonts: file structure, code sets and the
// drawings the text renderer and the start screens rely on.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/dib.h"

namespace {

struct FontCase {
    const char* name;
    int height;
    int count;
    char set; // 'A', 'B' or '6' for the 0..255 font
};

const FontCase kFonts[] = {
    {"font8", 8, 131, 'A'},   {"font10", 10, 131, 'A'}, {"font14", 14, 131, 'A'},
    {"font16", 16, 256, '6'}, {"font20", 20, 214, 'B'}, {"font22", 22, 214, 'B'},
    {"font24", 24, 214, 'B'}, {"font26", 26, 214, 'B'}, {"font32", 32, 214, 'B'},
    {"font40", 40, 214, 'B'}, {"font48", 48, 214, 'B'}, {"font60", 60, 214, 'B'},
};

std::vector<int> expectedCodes(char set) {
    std::vector<int> codes;
    if (set == '6') {
        for (int c = 0; c < 256; ++c) codes.push_back(c);
        return codes;
    }
    for (int c = 0x20; c <= 0x7E; ++c) codes.push_back(c);
    if (set == 'A') {
        const int extra[] = {0xAA, 0xB0, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xD1, 0xD6,
                             0xDC, 0xDF, 0xE0, 0xE1, 0xE2, 0xE4, 0xE5, 0xE6, 0xE7,
                             0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED, 0xEE, 0xEF, 0xF1,
                             0xF2, 0xF3, 0xF4, 0xF6, 0xF9, 0xFA, 0xFB, 0xFC, 0xFF};
        codes.insert(codes.end(), std::begin(extra), std::end(extra));
    } else {
        for (int c = 0x80; c <= 0x88; ++c) codes.push_back(c);
        for (int c = 0x90; c <= 0x9D; ++c) codes.push_back(c);
        for (int c = 0xA0; c <= 0xFF; ++c) codes.push_back(c);
    }
    return codes;
}

std::vector<uint8_t> readFont(const char* name) {
    std::string path = std::string(VANTORIX_SOURCE_DIR) + "/data/fonts/" + name + ".zpf";
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
}

// Read access to one font's glyphs; structure is checked separately.
struct FontView {
    std::vector<uint8_t> file;
    const uint8_t* body() const { return file.data() + 8; }
    int height() const { return rdLE16(body() + 10); }
    int descent() const { return rdLE16(body() + 12); }
    int count() const { return rdLE16(body() + 2); }
    const uint8_t* record(int i) const { return body() + 24 + 20 * i; }
    int find(int code) const {
        for (int i = 0; i < count(); ++i)
            if (rdLE16(record(i)) == code) return i;
        return -1;
    }
    int width(int i) const { return rdLE16(record(i) + 10); }
    // y counts from the top row of the cell.
    bool pixel(int i, int x, int y) const {
        int rowBytes = (width(i) + 7) / 8;
        const uint8_t* data = body() + rdLE32(record(i) + 4);
        return (data[(height() - 1 - y) * rowBytes + x / 8] >> (x % 8)) & 1;
    }
    struct Box {
        int left = -1, right = -1, top = -1, bottom = -1, pixels = 0;
    };
    Box ink(int i) const {
        Box b;
        for (int y = 0; y < height(); ++y)
            for (int x = 0; x < width(i); ++x)
                if (pixel(i, x, y)) {
                    if (b.pixels++ == 0) b.left = b.right = x, b.top = b.bottom = y;
                    b.left = std::min(b.left, x);
                    b.right = std::max(b.right, x);
                    b.top = std::min(b.top, y);
                    b.bottom = std::max(b.bottom, y);
                }
        return b;
    }
};

} // namespace

TEST(ZpfFonts, FilesFollowTheFormatAndTheirCodeSets) {
    for (const FontCase& expected : kFonts) {
        SCOPED_TRACE(expected.name);
        std::vector<uint8_t> f = readFont(expected.name);
        ASSERT_GE(f.size(), 8u + 24u);
        EXPECT_EQ(f[0], 'Z');
        EXPECT_EQ(f[1], 'R');
        EXPECT_EQ(f[2], 1);
        EXPECT_EQ(f[3], 1);
        const uint32_t length = rdLE32(f.data() + 4);
        ASSERT_EQ(length, f.size() - 8);
        const uint8_t* b = f.data() + 8;
        const int count = rdLE16(b + 2);
        ASSERT_EQ(count, expected.count);
        ASSERT_LE(24u + 20u * uint32_t(count), length);
        EXPECT_EQ(rdLE16(b + 0), 0x0101);
        EXPECT_EQ(rdLE16(b + 4), expected.set == '6' ? 0 : 32);
        EXPECT_EQ(rdLE16(b + 6), 255);
        EXPECT_EQ(rdLE16(b + 8), 0);
        EXPECT_EQ(rdLE16(b + 10), expected.height);
        const int d = rdLE16(b + 12);
        EXPECT_GE(d, 1);
        EXPECT_LT(d, expected.height / 3 + 1);
        EXPECT_LE(rdLE16(b + 16), 1);
        EXPECT_EQ(rdLE16(b + 20), 0);
        EXPECT_EQ(int16_t(rdLE16(b + 22)), -d);

        std::vector<int> codes;
        int widest = 0, widestField14 = 0;
        uint32_t dataStart = 24 + 20 * uint32_t(count), previousEnd = dataStart;
        for (int i = 0; i < count; ++i) {
            const uint8_t* r = b + 24 + 20 * i;
            const int code = rdLE16(r), size = rdLE16(r + 2), width = rdLE16(r + 10);
            const uint32_t offset = rdLE32(r + 4);
            SCOPED_TRACE(code);
            codes.push_back(code);
            ASSERT_GE(width, 1);
            EXPECT_EQ(size, ((width + 7) / 8) * expected.height);
            // glyph data follows the records, in record order, without overlap
            EXPECT_GE(offset, previousEnd);
            ASSERT_LE(uint64_t(offset) + uint64_t(size), length);
            previousEnd = offset + uint32_t(size);
            EXPECT_EQ(rdLE16(r + 8), 0);
            EXPECT_LE(rdLE16(r + 12), 8);
            EXPECT_LT(rdLE16(r + 14), width);
            EXPECT_LT(int16_t(rdLE16(r + 16)), expected.height);
            EXPECT_LE(int16_t(rdLE16(r + 18)), int16_t(rdLE16(r + 16)));
            if (expected.set == '6') {
                EXPECT_EQ(width, 8);
            }
            widest = std::max(widest, width);
            widestField14 = std::max(widestField14, int(rdLE16(r + 14)));
        }
        EXPECT_EQ(previousEnd, length); // no stray bytes after the last glyph
        EXPECT_EQ(rdLE16(b + 14), widest);
        EXPECT_EQ(rdLE16(b + 18), widestField14);
        EXPECT_EQ(rdLE16(b + 16), expected.set == '6' ? 1 : 0);
        // exactly the code set, ascending, each code once
        EXPECT_EQ(codes, expectedCodes(expected.set));
    }
}

TEST(ZpfFonts, GlyphsShareABaselineAndCarryTheirSymbols) {
    for (const FontCase& expected : kFonts) {
        SCOPED_TRACE(expected.name);
        FontView v{readFont(expected.name)};
        ASSERT_EQ(v.count(), expected.count);
        const int h = v.height(), baseline = h - v.descent(); // first row below the baseline

        // letters and digits stand on one baseline (round ones may overshoot
        // by a row at large sizes); descenders go below it
        for (int c : {'H', 'x', 'E', '1', 'a', '0', '8', 'o'}) {
            SCOPED_TRACE(c);
            int i = v.find(c);
            ASSERT_GE(i, 0);
            const bool flat = c == 'H' || c == 'x' || c == 'E' || c == '1';
            EXPECT_GE(v.ink(i).bottom, baseline - 1);
            EXPECT_LE(v.ink(i).bottom, flat ? baseline - 1 : baseline);
        }
        for (int c : {'g', 'p', 'y'}) {
            FontView::Box box = v.ink(v.find(c));
            EXPECT_GE(box.bottom, baseline);
            EXPECT_LT(box.bottom, h);
        }
        const FontView::Box capital = v.ink(v.find('H'));
        EXPECT_GE(capital.bottom - capital.top + 1, h / 2);

        // space is blank with a usable width; digits line up in columns
        int space = v.find(' ');
        EXPECT_EQ(v.ink(space).pixels, 0);
        EXPECT_GE(v.width(space), expected.height >= 16 ? 3 : 2);
        for (int c = '1'; c <= '9'; ++c) EXPECT_EQ(v.width(v.find(c)), v.width(v.find('0'))) << c;

        // the degree sign is a small mark high in the cell
        FontView::Box degree = v.ink(v.find(0xB0));
        EXPECT_GT(degree.pixels, 0);
        EXPECT_LE(degree.bottom, (capital.top + capital.bottom) / 2);

        // Latin-1 letters differ from their base letters
        for (auto pair : {std::pair<int, int>{0xC4, 'A'}, {0xE9, 'e'}, {0xF6, 'o'}, {0xFC, 'u'}}) {
            int accented = v.find(pair.first), plain = v.find(pair.second);
            ASSERT_GE(accented, 0);
            FontView::Box a = v.ink(accented), p = v.ink(plain);
            EXPECT_LE(a.top, p.top) << pair.first;
            bool differs = v.width(accented) != v.width(plain);
            for (int y = 0; y < h && !differs; ++y)
                for (int x = 0; x < v.width(plain); ++x)
                    differs |= v.pixel(accented, x, y) != v.pixel(plain, x, y);
            EXPECT_TRUE(differs) << pair.first;
        }

        if (expected.set == 'A') continue;
        // the bullet: a filled round dot, centred across its cell and on the
        // middle of the capitals
        int bi = v.find(0x81);
        ASSERT_GE(bi, 0);
        FontView::Box bullet = v.ink(bi);
        ASSERT_GT(bullet.pixels, 0);
        const int bw = bullet.right - bullet.left + 1, bh = bullet.bottom - bullet.top + 1;
        EXPECT_LE(std::abs(bw - bh), 1);
        EXPECT_GE(bw, 3);
        EXPECT_LE(std::abs(bullet.left - (v.width(bi) - 1 - bullet.right)), 1);
        const double fill = double(bullet.pixels) / double(bw * bh);
        EXPECT_GT(fill, 0.6);
        EXPECT_LT(fill, 0.95); // round, not square
        EXPECT_LE(std::abs((bullet.top + bullet.bottom) - (capital.top + capital.bottom)), 2);
        for (int y = bullet.top; y <= bullet.bottom; ++y) { // no holes along the middle column
            EXPECT_TRUE(v.pixel(bi, (bullet.left + bullet.right) / 2, y)) << y;
        }
        // every drawn symbol has ink
        for (int c = 0x80; c <= 0x9D; ++c) {
            if (c > 0x88 && c < 0x90) continue;
            EXPECT_GT(v.ink(v.find(c)).pixels, 0) << c;
        }
        if (expected.set != 'B') continue;
        // drawn arrows are rotations of one another: the same amount of ink
        const int right = v.ink(v.find(0x86)).pixels;
        for (int c : {0x83, 0x84, 0x85}) EXPECT_EQ(v.ink(v.find(c)).pixels, right) << c;
        // line pieces join across lines: the vertical bar fills the cell height
        FontView::Box bar = v.ink(v.find(0x99));
        EXPECT_EQ(bar.top, 0);
        EXPECT_EQ(bar.bottom, h - 1);
    }
}
