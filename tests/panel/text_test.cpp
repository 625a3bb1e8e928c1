// Text drawing against a real frame memory, with small fonts built here so
// every pixel is known, plus checks of the fonts built into the program.
#include "support/panel_fixture.h"

#include "image/dib.h"
#include "panel/fonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct TestGlyph {
    uint16_t code;
    std::vector<std::string> rows; // top row first; '#' is a set pixel
};

int glyphWidth(const TestGlyph& g) {
    return g.rows.empty() ? 0 : int(g.rows[0].size());
}

// A ZPF file with the glyphs in the given (ascending) order. The vector is
// exactly as long as the file, so a read past its end is caught by ASan.
std::vector<uint8_t> buildZPF(int height, const std::vector<TestGlyph>& glyphs, uint16_t first,
                              uint16_t last) {
    uint32_t count = uint32_t(glyphs.size());
    uint32_t dataStart = 24 + 20 * count;
    std::vector<uint8_t> body(dataStart);
    wrLE16(&body[0], 0x0101);
    wrLE16(&body[2], uint16_t(count));
    wrLE16(&body[4], first);
    wrLE16(&body[6], last);
    wrLE16(&body[10], uint16_t(height));
    wrLE16(&body[12], 1);
    wrLE16(&body[22], 0xFFFF);
    for (uint32_t i = 0; i < count; ++i) {
        const TestGlyph& g = glyphs[i];
        int w = glyphWidth(g);
        int bytesPerRow = (w + 7) / 8;
        uint8_t* record = &body[24 + 20 * i];
        wrLE16(record, g.code);
        wrLE16(record + 2, uint16_t(bytesPerRow * height));
        wrLE32(record + 4, uint32_t(body.size()));
        wrLE16(record + 10, uint16_t(w));
        // Stored bottom row first; bit 0 of a byte is its leftmost pixel.
        for (int r = height - 1; r >= 0; --r) {
            for (int b = 0; b < bytesPerRow; ++b) {
                uint8_t byte = 0;
                for (int bit = 0; bit < 8; ++bit) {
                    int col = b * 8 + bit;
                    if (col < w && size_t(r) < g.rows.size() && g.rows[r][col] == '#')
                        byte |= uint8_t(1 << bit);
                }
                body.push_back(byte);
            }
        }
    }
    std::vector<uint8_t> file(8 + body.size());
    file[0] = 'Z';
    file[1] = 'R';
    file[2] = file[3] = 1;
    wrLE32(&file[4], uint32_t(body.size()));
    std::copy(body.begin(), body.end(), file.begin() + 8);
    return file;
}

// Height-4 font with distinct drawings, 'C' left out although it is in range.
const std::vector<TestGlyph>& tinyGlyphs() {
    static const std::vector<TestGlyph> glyphs = {
        {'$', {".##", "##.", ".##", "##."}},  {'2', {"##.", "..#", ".#.", "###"}},
        {'4', {"#.#", "###", "..#", "..#"}},  {'A', {".#.", "#.#", "###", "#.#"}},
        {'B', {"##.", "###", "#.#", "##."}},  {'Z', {"###", "..#", "#..", "###"}},
        {'\\', {"#..", ".#.", ".#.", "..#"}}, {'a', {"...", ".##", "#.#", ".##"}},
        {'b', {"#..", "##.", "#.#", "##."}},  {'x', {"#.#", ".#.", ".#.", "#.#"}},
    };
    return glyphs;
}

const TestGlyph& tiny(char c) {
    for (const TestGlyph& g : tinyGlyphs())
        if (g.code == uint8_t(c)) return g;
    static const TestGlyph none{0, {}};
    return none;
}

// Every pixel of the glyph at (x, y) with the zoom, fg for set and bg for clear.
::testing::AssertionResult glyphAt(const PanelFixture& panel, int x, int y, const TestGlyph& g,
                                   int zx = 1, int zy = 1, uint16_t fg = 0xFFFF,
                                   uint16_t bg = 0x0000) {
    for (int py = 0; py < int(g.rows.size()) * zy; ++py)
        for (int px = 0; px < glyphWidth(g) * zx; ++px) {
            uint16_t want = g.rows[py / zy][px / zx] == '#' ? fg : bg;
            uint16_t got = panel.at(x + px, y + py);
            if (got != want)
                return ::testing::AssertionFailure()
                       << "pixel (" << x + px << "," << y + py << ") of glyph " << char(g.code)
                       << " is " << got << ", expected " << want;
        }
    return ::testing::AssertionSuccess();
}

constexpr uint16_t kRed = 0xF800, kBlue = 0x001F, kMark = 0x0841;

struct TextPanel : PanelFixture {
    std::vector<uint8_t> font;
    TextPanel(int model, std::vector<uint8_t> file)
        : PanelFixture(model, 0), font(std::move(file)) {
        EXPECT_EQ(selectZPFfont(font.data(), uint32_t(font.size())), 1);
        std::fill(pixels.begin(), pixels.end(), kMark); // untouched pixels stay visible
    }
    TextPanel(int model) : TextPanel(model, buildZPF(4, tinyGlyphs(), 32, 126)) {}
};

} // namespace

TEST(TextPrimitives, MirrorZoomAndHexDigits) {
    EXPECT_EQ(mirror(0x01), 0x80);
    EXPECT_EQ(mirror(0xF0), 0x0F);
    EXPECT_EQ(mirror(0xA6), 0x65);
    for (int b = 0; b < 256; ++b) ASSERT_EQ(mirror(mirror(uint8_t(b))), b);

    uint8_t out[5] = {0, 0, 0, 0, 0xEE};
    zoombyte(out, 0xA5, 1);
    EXPECT_EQ(out[0], 0xA5);
    zoombyte(out, 0xA5, 2); // 10100101 -> 11001100 00110011
    EXPECT_EQ(out[0], 0xCC);
    EXPECT_EQ(out[1], 0x33);
    zoombyte(out, 0x81, 3); // 1 0000 00 1 each three times
    EXPECT_EQ(out[0], 0xE0);
    EXPECT_EQ(out[1], 0x00);
    EXPECT_EQ(out[2], 0x07);
    zoombyte(out, 0x80, 4);
    EXPECT_EQ(out[0], 0xF0);
    EXPECT_EQ(out[1] | out[2] | out[3], 0);
    EXPECT_EQ(out[4], 0xEE) << "zoom 4 writes exactly four bytes";

    // Glyph bytes keep their leftmost pixel in bit 0; the row comes out with
    // it in the top bit, widened by the zoom.
    const uint8_t row[2] = {0x01, 0x80};
    uint8_t bits[4] = {};
    getlinedat(bits, row, 2, 2);
    EXPECT_EQ(bits[0], 0xC0);
    EXPECT_EQ(bits[1], 0x00);
    EXPECT_EQ(bits[2], 0x00);
    EXPECT_EQ(bits[3], 0x03);

    EXPECT_EQ(getHexvalue('0'), 0);
    EXPECT_EQ(getHexvalue('9'), 9);
    EXPECT_EQ(getHexvalue('A'), 10);
    EXPECT_EQ(getHexvalue('f'), 15);
    EXPECT_EQ(getHexvalue('G'), 'G');
    EXPECT_EQ(getHexvalue(0xE4), 0xE4);
}

TEST(TextDraw, GlyphsLandOpaqueWithExactPixels) {
    TextPanel panel(3); // 240 x 320
    setTFTcolor(kRed, kBlue);
    TFTtext(10, 20, "AB");
    EXPECT_TRUE(glyphAt(panel, 10, 20, tiny('A'), 1, 1, kRed, kBlue));
    EXPECT_TRUE(glyphAt(panel, 13, 20, tiny('B'), 1, 1, kRed, kBlue));
    EXPECT_EQ(panel.countOther(kMark, 0, 0, 239, 19), 0) << "nothing above the line";
    EXPECT_EQ(panel.countOther(kMark, 0, 24, 239, 319), 0) << "nothing below the line";
    EXPECT_EQ(panel.countOther(kMark, 16, 20, 239, 23), 0) << "nothing right of the text";
    EXPECT_EQ(panel.countOther(kMark, 0, 20, 9, 23), 0) << "nothing left of the text";

    // A code inside the range without a glyph, or outside the range, takes
    // no room: the letters close up.
    setTFTcolor(0xFFFF, 0);
    TFTtext(10, 40,
            "A\x01"
            "C\x7F\xE3Z");
    EXPECT_TRUE(glyphAt(panel, 10, 40, tiny('A')));
    EXPECT_TRUE(glyphAt(panel, 13, 40, tiny('Z')));
    EXPECT_EQ(panel.countOther(kMark, 16, 40, 239, 43), 0);
}

TEST(TextDraw, CursorMovesOnlyForLinesAtTheCursor) {
    TextPanel panel(3);
    setTFTtextXYH(10, 20, 16);
    TFTtext(-1, -1, "A");
    EXPECT_EQ(textY, 36);
    TFTtext(-1, -1, "B");
    EXPECT_EQ(textX, 10) << "x never moves";
    EXPECT_EQ(textY, 52);
    EXPECT_TRUE(glyphAt(panel, 10, 20, tiny('A')));
    EXPECT_TRUE(glyphAt(panel, 10, 36, tiny('B')));

    TFTtext(5, 5, "Z");
    EXPECT_TRUE(glyphAt(panel, 5, 5, tiny('Z')));
    EXPECT_EQ(textX, 10);
    EXPECT_EQ(textY, 52);

    TFTtext(-1, 100, "A"); // x from the cursor, explicit y: no line advance
    EXPECT_TRUE(glyphAt(panel, 10, 100, tiny('A')));
    EXPECT_EQ(textY, 52);
    TFTtext(50, -1, "B"); // y from the cursor advances
    EXPECT_TRUE(glyphAt(panel, 50, 52, tiny('B')));
    EXPECT_EQ(textY, 68);

    // A line that starts at or below the bottom edge draws nothing and
    // leaves the cursor where it is.
    std::vector<uint16_t> before = panel.pixels;
    setTFTtextXYH(0, 320, 16);
    TFTtext(-1, -1, "AAAA");
    EXPECT_EQ(textY, 320);
    TFTtext(240, 0, "AAAA");
    TFTtext(1000, 10, "A");
    EXPECT_TRUE(panel.pixels == before) << "text at x >= width or y >= height draws nothing";
}

TEST(TextDraw, ZoomReplicatesPixelsAndKeepsTheLineAdvance) {
    TestGlyph block{'M', std::vector<std::string>(16, "########")};
    TestGlyph checker{'N', {}};
    for (int r = 0; r < 16; ++r) checker.rows.push_back(r % 2 ? ".#.#.#.#" : "#.#.#.#.");
    TextPanel panel(5, buildZPF(16, {block, checker}, 'M', 'N'));
    setTFTfont(99, 2, 3); // unknown number: font stays, zoom changes
    EXPECT_EQ(zoomX, 2);
    EXPECT_EQ(zoomY, 3);
    TFTtext(20, 30, "M");
    EXPECT_EQ(panel.countOther(0xFFFF, 20, 30, 35, 77), 0) << "16 x 48 block";
    EXPECT_EQ(panel.countColour(0xFFFF), 16 * 48);

    for (int z = 1; z <= 4; ++z) {
        setTFTfont(0, int16_t(z), int16_t(5 - z));
        TFTtext(100, 100, "N");
        EXPECT_TRUE(glyphAt(panel, 100, 100, checker, z, 5 - z)) << "zoom " << z << "x" << 5 - z;
    }

    setTFTfont(0, 2, 3);
    setTFTtextXYH(0, 200, 16);
    TFTtext(-1, -1, "M");
    EXPECT_EQ(textY, 216) << "the zoom does not change the line advance";
}

TEST(TextDraw, EscapesAndTheirEndings) {
    TextPanel panel(3);
    TFTtext(0, 0, "A\\x42Z");
    TFTtext(0, 10, "A\\$42Z");
    for (int y : {0, 10}) {
        EXPECT_TRUE(glyphAt(panel, 0, y, tiny('A')));
        EXPECT_TRUE(glyphAt(panel, 3, y, tiny('B')));
        EXPECT_TRUE(glyphAt(panel, 6, y, tiny('Z')));
        EXPECT_EQ(panel.countOther(kMark, 9, y, 239, y + 3), 0);
    }
    TFTtext(0, 20, "a\\\\b");
    EXPECT_TRUE(glyphAt(panel, 0, 20, tiny('a')));
    EXPECT_TRUE(glyphAt(panel, 3, 20, tiny('\\')));
    EXPECT_TRUE(glyphAt(panel, 6, 20, tiny('b')));
    TFTtext(0, 30, "\\X42\\A"); // only a lower-case x opens a hex escape
    EXPECT_TRUE(glyphAt(panel, 0, 30, tiny('4')));
    EXPECT_TRUE(glyphAt(panel, 3, 30, tiny('2')));
    EXPECT_TRUE(glyphAt(panel, 6, 30, tiny('A')));

    // Escapes cut short by the end of the text: exact-length heap copies so
    // that a read past the NUL is caught.
    int row = 40;
    for (const char* text : {"A\\", "A\\x", "A\\x4", "A\\$", "A\\$4"}) {
        std::vector<char> copy(text, text + std::strlen(text) + 1);
        TFTtext(0, int16_t(row), copy.data());
        EXPECT_TRUE(glyphAt(panel, 0, row, tiny('A'))) << text;
        EXPECT_EQ(panel.countOther(kMark, 3, row, 239, row + 3), 0) << text;
        row += 10;
    }
}

TEST(TextDraw, ClipsAtTheRightAndBottomEdges) {
    TextPanel panel(1); // 80 x 160
    TFTtext(76, 0, "ABZ");
    EXPECT_TRUE(glyphAt(panel, 76, 0, tiny('A')));
    // B is cut after its first column; Z never appears.
    EXPECT_EQ(panel.at(79, 0), 0xFFFF);
    EXPECT_EQ(panel.at(79, 1), 0xFFFF);
    EXPECT_EQ(panel.at(79, 2), 0xFFFF);
    EXPECT_EQ(panel.at(79, 3), 0xFFFF);
    EXPECT_EQ(panel.countOther(kMark, 0, 4, 79, 159), 0) << "no wrap into the next rows";
    EXPECT_EQ(panel.countOther(kMark, 0, 0, 75, 3), 0) << "no wrap to the left";

    TFTtext(0, 158, "A");
    EXPECT_EQ(panel.at(0, 158), 0x0000);
    EXPECT_EQ(panel.at(1, 158), 0xFFFF);
    EXPECT_EQ(panel.at(0, 159), 0xFFFF);
    EXPECT_EQ(panel.at(1, 159), 0x0000);
    EXPECT_EQ(panel.countOther(kMark, 0, 0, 2, 3), 0) << "the rows below do not wrap to the top";
    EXPECT_EQ(panel.countOther(kMark, 0, 4, 79, 157), 0);

    setTFTfont(0, 4, 4); // a zoomed line cut at both edges at once
    TFTtext(70, 150, "A");
    EXPECT_EQ(panel.at(70, 150), 0x0000);
    EXPECT_EQ(panel.at(74, 150), 0xFFFF);
    EXPECT_EQ(panel.at(75, 155), 0x0000);
    EXPECT_EQ(panel.at(79, 159), 0xFFFF);
}

TEST(TextDraw, NegativePositionsShowTheVisiblePartOnly) {
    TextPanel panel(1); // 80 x 160
    TFTtext(-2, -3, "AZ");
    // Only the last column and row of A, then Z from x = 1, row 3 of it at y = 0.
    EXPECT_EQ(panel.at(0, 0), 0xFFFF); // A row 3 col 2
    EXPECT_EQ(panel.at(1, 0), 0xFFFF); // Z row 3 col 0
    EXPECT_EQ(panel.at(2, 0), 0xFFFF);
    EXPECT_EQ(panel.at(3, 0), 0xFFFF);
    EXPECT_EQ(panel.countOther(kMark, 4, 0, 79, 159), 0);
    EXPECT_EQ(panel.countOther(kMark, 0, 1, 79, 159), 0);

    // A glyph far wider than the panel after zoom, starting far to the left:
    // the visible window shows exactly its columns 100 * 4 + 0 .. 479 / 4.
    TestGlyph wide{'W', std::vector<std::string>(4, std::string(200, '.'))};
    for (int c = 0; c < 200; c += 3) wide.rows[1][c] = '#';
    TextPanel big(5, buildZPF(4, {wide}, 'W', 'W')); // 320 x 480
    setTFTfont(0, 4, 4);
    TFTtext(-400, -4, "W"); // glyph columns 100.., glyph row 1 at y 0..3
    for (int x = 0; x < 320; ++x) {
        uint16_t want = (100 + x / 4) % 3 == 0 ? 0xFFFF : 0x0000;
        ASSERT_EQ(big.at(x, 0), want) << x;
        ASSERT_EQ(big.at(x, 3), want) << x;
        ASSERT_EQ(big.at(x, 4), 0x0000) << x;
    }
    EXPECT_EQ(big.countOther(kMark, 0, 12, 319, 479), 0);
    std::vector<uint16_t> before = big.pixels;
    TFTtext(-32000, -32000, "WWWW");
    TFTtext(-1000, 100, "W");
    TFTtext(100, -100, "W");
    EXPECT_TRUE(big.pixels == before) << "glyphs wholly outside draw nothing";
}

TEST(TextFont, LookupFindsEveryRecordAndNothingElse) {
    PanelFixture panel(3, 0);
    for (int count = 1; count <= 40; ++count) {
        std::vector<TestGlyph> glyphs;
        for (int i = 0; i < count; ++i) glyphs.push_back({uint16_t(40 + 3 * i + i % 2), {"#"}});
        std::vector<uint8_t> font = buildZPF(1, glyphs, glyphs.front().code, glyphs.back().code);
        ASSERT_EQ(selectZPFfont(font.data(), uint32_t(font.size())), 1);
        for (int code = 0; code < 300; ++code) {
            uint16_t want = 0xFFFF;
            for (int i = 0; i < count; ++i)
                if (glyphs[i].code == code) want = uint16_t(i);
            ASSERT_EQ(GetZPFcharIndex(uint16_t(code)), want)
                << "count " << count << " code " << code;
        }
    }
    // One record whose code differs from the header's first code: the first
    // code finds record 0 directly, the record's own code through the search.
    std::vector<uint8_t> odd = buildZPF(1, {{'Q', {"#"}}}, 'P', 'Q');
    ASSERT_EQ(selectZPFfont(odd.data(), uint32_t(odd.size())), 1);
    EXPECT_EQ(GetZPFcharIndex('P'), 0);
    EXPECT_EQ(GetZPFcharIndex('Q'), 0);
    EXPECT_EQ(GetZPFcharIndex('R'), 0xFFFF);
}

TEST(TextFont, SelectionKeepsStateOnBadInput) {
    TextPanel panel(3);
    const uint8_t* body = fontBody;
    setTFTfont(0, 3, 2);
    setTFTfont(12, 0, 5);
    EXPECT_EQ(fontBody, body);
    EXPECT_EQ(zoomX, 3);
    EXPECT_EQ(zoomY, 2);
    setTFTfont(7, -1, 4);
    EXPECT_EQ(fontBody, body);
    EXPECT_EQ(zoomX, 3);
    EXPECT_EQ(zoomY, 4);

    std::vector<uint8_t> good = buildZPF(4, tinyGlyphs(), 32, 126);
    auto refused = [&](std::vector<uint8_t> file, const char* why) {
        EXPECT_EQ(selectZPFfont(file.data(), uint32_t(file.size())), 0) << why;
        EXPECT_EQ(fontBody, body) << why;
    };
    std::vector<uint8_t> bad = good;
    bad[1] = 'Q';
    refused(bad, "magic");
    bad = good;
    wrLE32(&bad[4], uint32_t(good.size() - 7));
    refused(bad, "body longer than the file");
    bad = good;
    wrLE16(&bad[8 + 2], 0);
    refused(bad, "no records");
    bad = good;
    wrLE16(&bad[8 + 2], 5000);
    refused(bad, "records past the body");
    bad = good;
    wrLE16(&bad[8 + 10], 0);
    refused(bad, "zero cell height");
    refused(std::vector<uint8_t>(good.begin(), good.begin() + 20), "truncated");
    EXPECT_EQ(selectZPFfont(nullptr, 100), 0);

    // Glyphs whose bitmaps lie beyond the body are skipped; the rest draw.
    bad = good;
    wrLE32(&bad[8 + 24 + 20 * 3 + 4], 0xFFFFFFF0u);          // 'A' far away
    wrLE32(&bad[8 + 24 + 20 * 4 + 4], uint32_t(bad.size())); // 'B' just past the end
    wrLE16(&bad[8 + 24 + 20 * 5 + 10], 60000);               // 'Z' too wide for its data
    ASSERT_EQ(selectZPFfont(bad.data(), uint32_t(bad.size())), 1);
    setTFTfont(0, 1, 1);
    TFTtext(0, 0, "ABZa");
    EXPECT_TRUE(glyphAt(panel, 0, 0, tiny('a')));
    EXPECT_EQ(panel.countOther(kMark, 3, 0, 239, 319), 0);

    // A body of unknown origin is never read.
    ASSERT_EQ(selectZPFfont(good.data(), uint32_t(good.size())), 1);
    uint8_t stray[8] = {};
    fontBody = stray;
    std::vector<uint16_t> before = panel.pixels;
    TFTtext(100, 100, "AAA");
    EXPECT_EQ(GetZPFcharIndex('A'), 0xFFFF);
    EXPECT_TRUE(panel.pixels == before);
}

TEST(TextFont, EmbeddedFontsFollowTheirTable) {
    int count = 0;
    const ZPFfile* table = embeddedFontTable(&count);
    ASSERT_EQ(count, 12);
    int present = 0;
    for (int i = 0; i < count; ++i) present += table[i].data != nullptr;
    if (present == 0) GTEST_SKIP() << "no font files in this build";

    PanelFixture panel(5, 0);
    std::vector<int> setA;
    for (int c = 0x20; c <= 0x7E; ++c) setA.push_back(c);
    for (int c : {0xAA, 0xB0, 0xD1, 0xD6, 0xDC, 0xDF, 0xF6, 0xFF}) setA.push_back(c);
    for (int c = 0xC4; c <= 0xC8; ++c) setA.push_back(c);
    for (int c = 0xE0; c <= 0xE2; ++c) setA.push_back(c);
    for (int c = 0xE4; c <= 0xEF; ++c) setA.push_back(c);
    for (int c = 0xF1; c <= 0xF4; ++c) setA.push_back(c);
    for (int c = 0xF9; c <= 0xFC; ++c) setA.push_back(c);
    ASSERT_EQ(setA.size(), 131u);
    std::vector<int> setB;
    for (int c = 0x20; c <= 0xFF; ++c)
        if (c != 0x7F && !(c >= 0x89 && c <= 0x8F) && !(c >= 0x9E && c <= 0x9F)) setB.push_back(c);
    ASSERT_EQ(setB.size(), 214u);

    for (int i = 0; i < count; ++i) {
        const ZPFfile& f = table[i];
        if (!f.data) continue;
        SCOPED_TRACE("font " + std::to_string(f.height));
        setTFTfont(f.height, 1, 1);
        ASSERT_EQ(fontBody, f.data + 8);
        EXPECT_EQ(rdLE16(fontBody + 10), f.height);
        std::vector<int> codes;
        if (f.height == 16)
            for (int c = 0; c < 256; ++c) codes.push_back(c);
        else
            codes = f.height < 16 ? setA : setB;
        EXPECT_EQ(rdLE16(fontBody + 2), codes.size());
        std::vector<bool> want(256, false);
        for (int c : codes) want[c] = true;
        for (int c = 0; c < 256; ++c)
            EXPECT_EQ(GetZPFcharIndex(uint16_t(c)) != 0xFFFF, bool(want[c])) << "code " << c;
        if (f.height == 16) {
            for (int c = 0; c < 256; ++c)
                EXPECT_EQ(rdLE16(fontBody + 24 + 20 * c + 10), 8) << "width of " << c;
        }

        // A line of text stays inside its cell and sets some pixels.
        std::fill(panel.pixels.begin(), panel.pixels.end(), kMark);
        TFTtext(0, 100, "Hg");
        EXPECT_EQ(panel.countOther(kMark, 0, 0, 319, 99), 0);
        EXPECT_EQ(panel.countOther(kMark, 0, 100 + f.height, 319, 479), 0);
        EXPECT_GT(panel.countColour(0xFFFF), 0);
    }
    const std::pair<int, int> aliases[] = {{1, 8}, {2, 14}, {3, 16}};
    for (auto [alias, height] : aliases) {
        const ZPFfile* f = embeddedFont(int16_t(height));
        if (!f) continue;
        setTFTfont(int16_t(alias), 1, 1);
        EXPECT_EQ(fontBody, f->data + 8) << "selection " << alias;
    }
    if (const ZPFfile* body = embeddedFont(16)) {
        resetPanelState();
        EXPECT_EQ(fontBody, body->data + 8) << "the 16-pixel font is the default";
    }
}
