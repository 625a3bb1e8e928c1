// The built-in screens on a real frame memory: screen 1's layout for every
// model in both orientation classes, the demo pictures' crops against the
// picture files, the marker screen, and numbers that draw nothing.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/dib.h"
#include "panel/zr_tft.h"
#include "support/panel_fixture.h"

namespace {

constexpr uint16_t sentinel = 0x1234;

// A panel of model/angle with its own frame memory, filled with the sentinel.
struct Panel : PanelFixture {
    Panel(int16_t model, int16_t angle) : PanelFixture(model, angle, sentinel) {}
};

// One of our pictures decoded independently of the driver: RGB565 pixels,
// top row first.
struct Picture {
    int w = 0, h = 0, bits = 0;
    uint32_t infoSize = 0, compression = 0;
    std::vector<uint16_t> px;
    uint16_t at(int x, int y) const { return px[size_t(y) * size_t(w) + size_t(x)]; }
};

Picture loadPicture(const std::string& stem) {
    std::string path = std::string(VANTORIX_SOURCE_DIR) + "/data/pictures/" + stem + ".bmp";
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> f((std::istreambuf_iterator<char>(in)), {});
    Picture p;
    if (f.size() < 54 || f[0] != 'B' || f[1] != 'M') return p;
    uint32_t offset = rdLE32(&f[10]);
    p.infoSize = rdLE32(&f[14]);
    p.w = int(rdLE32(&f[18]));
    p.h = int(rdLE32(&f[22]));
    p.bits = rdLE16(&f[28]);
    p.compression = rdLE32(&f[30]);
    uint32_t used = rdLE32(&f[46]);
    uint32_t entries = p.bits <= 8 ? (used ? used : 1u << p.bits) : 0;
    size_t rowBytes = size_t((p.w * p.bits + 31) / 32 * 4);
    if (f.size() < offset + rowBytes * size_t(p.h)) return Picture{};
    auto colour = [&](uint32_t i) {
        const uint8_t* e = &f[offset - 4 * entries + 4 * i];
        return rgb565(e[2], e[1], e[0]);
    };
    for (int y = 0; y < p.h; ++y) {
        const uint8_t* row = &f[offset + rowBytes * size_t(p.h - 1 - y)];
        for (int x = 0; x < p.w; ++x) {
            if (p.bits == 8) p.px.push_back(colour(row[x]));
            if (p.bits == 4) p.px.push_back(colour((row[x / 2] >> ((x & 1) ? 0 : 4)) & 15));
            if (p.bits == 16) p.px.push_back(rdLE16(row + 2 * x));
        }
    }
    return p;
}

bool fontsPresent() {
    resetTextState();
    setTFTfont(16, 1, 1);
    bool ok = fontBody != nullptr;
    resetTextState();
    return ok;
}

// Bounding box of the pixels of one colour inside a band of rows.
struct Box {
    int x0 = 1 << 20, y0 = 1 << 20, x1 = -1, y1 = -1;
    bool empty() const { return x1 < 0; }
};
Box findColour(const Panel& p, uint16_t colour, int yFrom, int yTo) {
    Box b;
    for (int y = yFrom; y <= yTo && y < TFTheight; ++y)
        for (int x = 0; x < TFTwidth; ++x)
            if (p.at(x, y) == colour) {
                b.x0 = std::min(b.x0, x), b.x1 = std::max(b.x1, x);
                b.y0 = std::min(b.y0, y), b.y1 = std::max(b.y1, y);
            }
    return b;
}

struct Layout {
    int model;
    bool landscape;
    uint16_t header;
    int headerRows;
    uint16_t body, text;
    int nameFont, nameZoomY, nameX, nameY;
    int lineFont, lineX, lineY, step, lines;
};

const Layout layouts[] = {
    {1, true, 0xFFFF, 20, 0x9812, 0xFFFF, 16, 1, 0, 2, 14, 2, 22, 14, 4},
    {1, false, 0xFFFF, 20, 0x9812, 0xFFFF, 14, 1, 1, 4, 8, 1, 30, 15, 8},
    {2, true, 0xFFFF, 60, 0xB80C, 0xFFFF, 16, 2, 145, 14, 16, 25, 66, 19, 9},
    {2, false, 0xFFFF, 60, 0xB80C, 0xFFFF, 16, 2, 145, 14, 16, 25, 66, 19, 9},
    {3, true, 0xFFFF, 60, 0x0337, 0xFFFF, 32, 1, 148, 16, 16, 60, 66, 19, 9},
    {3, false, 0xFFFF, 60, 0x0337, 0xFFFF, 20, 2, 142, 10, 16, 25, 80, 24, 9},
    {4, true, 0xFFFF, 60, 0x4DE0, 0xFFFF, 32, 1, 148, 16, 16, 60, 66, 19, 9},
    {4, false, 0xFFFF, 60, 0x4DE0, 0xFFFF, 20, 2, 142, 10, 16, 25, 80, 24, 9},
    {5, true, 0xFFFF, 60, 0xDC00, 0xFFFF, 60, 1, 156, 2, 32, 100, 80, 40, 6},
    {5, false, 0xFFFF, 60, 0xDC00, 0xFFFF, 32, 1, 150, 14, 32, 20, 90, 50, 6},
    {6, true, 0xBDF7, 63, 0xFFFF, 0x0000, 32, 1, 143, 14, 16, 60, 68, 19, 9},
    {6, false, 0xBDF7, 63, 0xFFFF, 0x0000, 16, 2, 148, 15, 16, 25, 80, 24, 9},
};

TEST(Screen, ScreenOneLayoutPerModelAndOrientation) {
    bool fonts = fontsPresent();
    Picture logo = loadPicture("logo");
    ASSERT_EQ(logo.w, 140);
    for (const Layout& l : layouts) {
        for (int16_t angle :
             l.landscape ? std::vector<int16_t>{90, 270} : std::vector<int16_t>{0, 180}) {
            SCOPED_TRACE("model " + std::to_string(l.model) + " at " + std::to_string(angle));
            Panel p(int16_t(l.model), angle);
            setTFTtextXYH(7, 9, 33);
            Screen(1);
            EXPECT_EQ(p.changed(), int(p.pixels.size())); // every pixel is drawn
            int right = TFTwidth - 1, bottom = TFTheight - 1;
            // header band and body at their exact rows
            EXPECT_EQ(p.at(right, l.headerRows - 1), l.header);
            EXPECT_EQ(p.at(right, l.headerRows), l.body);
            EXPECT_EQ(p.at(right, bottom), l.body);
            EXPECT_EQ(p.at(0, bottom), l.body);
            if (l.model == 1) {
                EXPECT_EQ(p.at(0, 19), l.header);
                EXPECT_EQ(p.at(0, 20), l.body);
            } else {
                int diff = 0;
                for (int y = 0; y < 60; ++y)
                    for (int x = 0; x < 140; ++x) diff += p.at(x, y) != logo.at(x, y);
                EXPECT_EQ(diff, 0) << "logo at (0, 0)";
                EXPECT_EQ(p.at(140, 0), l.header);
                if (l.model == 6)
                    EXPECT_EQ(p.at(0, 62), l.header); // band below the logo
                else
                    EXPECT_EQ(p.at(0, 60), l.body);
            }
            // the text state left behind; the cursor untouched
            EXPECT_EQ(fgColor, l.text);
            EXPECT_EQ(bgColor, l.body);
            EXPECT_EQ(zoomX, 1);
            EXPECT_EQ(zoomY, 1);
            EXPECT_EQ(textX, 7);
            EXPECT_EQ(textY, 9);
            EXPECT_EQ(textH, 33);
            if (!fonts) continue;
            const uint8_t* used = fontBody;
            setTFTfont(int16_t(l.lineFont), 1, 1);
            EXPECT_EQ(fontBody, used) << "body font " << l.lineFont;

            // the name: black glyph pixels starting at its position, inside its cell
            Box name = findColour(p, 0x0000, 0, l.headerRows - 1);
            if (l.model != 1) { // the logo has its own dark pixels
                Box beside;
                for (int y = 0; y < l.headerRows; ++y)
                    for (int x = 140; x < TFTwidth; ++x)
                        if (p.at(x, y) == 0x0000) {
                            beside.x0 = std::min(beside.x0, x), beside.x1 = std::max(beside.x1, x);
                            beside.y0 = std::min(beside.y0, y), beside.y1 = std::max(beside.y1, y);
                        }
                name = beside;
            }
            ASSERT_FALSE(name.empty());
            EXPECT_GE(name.x0, l.nameX);
            EXPECT_LE(name.x0, l.nameX + 2 + l.nameFont / 8); // the glyph's left bearing
            EXPECT_GE(name.y0, l.nameY);
            EXPECT_LT(name.y1, l.nameY + l.nameFont * l.nameZoomY);

            // description lines: text pixels from the first line's position on,
            // one line every step
            // (the name's cell may reach below the header: its opaque background
            // is white like model 5's text)
            int bodyTop = std::max(l.headerRows, l.nameY + l.nameFont * l.nameZoomY);
            Box all = findColour(p, l.text, bodyTop, bottom);
            ASSERT_FALSE(all.empty());
            EXPECT_GE(all.x0, l.lineX);
            EXPECT_LE(all.x0, l.lineX + 2 + l.lineFont / 8);
            EXPECT_GE(all.y0, l.lineY);
            EXPECT_LT(all.y1, l.lineY + (l.lines - 1) * l.step + l.lineFont);
            for (int i = 0; i < l.lines; ++i) {
                int top = l.lineY + i * l.step;
                Box line = findColour(p, l.text, top, std::min(top + l.lineFont, top + l.step) - 1);
                EXPECT_FALSE(line.empty()) << "line " << i;
            }
        }
    }
}

TEST(Screen, ScreenOneOfModelThreeLeavesItsTextState) {
    Panel p(3, 0);
    Screen(1);
    EXPECT_EQ(fgColor, 0xFFFF);
    EXPECT_EQ(bgColor, 0x0337);
    if (!fontsPresent()) GTEST_SKIP() << "fonts not embedded";
    Panel q(3, 0);
    Screen(1);
    const uint8_t* after = fontBody;
    setTFTfont(16, 1, 1);
    EXPECT_EQ(after, fontBody);
    EXPECT_NE(after, nullptr);
}

struct Crop {
    int model;
    int landscape[2][2], portrait[2][2]; // [screen 2/3][skip x, skip y]
    int size, bits[2];
};
const Crop crops[] = {
    {1, {{0, 68}, {0, 2}}, {{15, 0}, {8, 0}}, 160, {16, 16}},
    {2, {{0, 0}, {0, 0}}, {{0, 0}, {0, 0}}, 240, {8, 8}},
    {3, {{0, 45}, {0, 24}}, {{64, 0}, {8, 0}}, 320, {8, 8}},
    {4, {{0, 66}, {0, 20}}, {{70, 0}, {45, 0}}, 320, {8, 8}},
    {5, {{0, 100}, {0, 40}}, {{90, 0}, {120, 0}}, 480, {8, 8}},
    {6, {{0, 53}, {0, 80}}, {{40, 0}, {80, 0}}, 320, {8, 4}},
};
const char* const tags[] = {"kp096", "kp150", "kp200", "kp280", "kp350", "kp240"};

TEST(Screen, DemoScreensShowTheirCropOfThePicture) {
    for (const Crop& c : crops) {
        for (int screen = 2; screen <= 3; ++screen) {
            std::string stem = "demo" + std::to_string(screen - 1) + "_" + tags[c.model - 1];
            Picture pic = loadPicture(stem);
            SCOPED_TRACE(stem);
            ASSERT_EQ(pic.w, c.size);
            ASSERT_EQ(pic.h, c.size);
            EXPECT_EQ(pic.bits, c.bits[screen - 2]);
            if (pic.bits == 16) {
                EXPECT_EQ(pic.compression, 3u);
                EXPECT_EQ(pic.infoSize, screen == 3 ? 52u : 40u);
            }
            for (int16_t angle : {0, 90, 180, 270}) {
                bool wide = angle == 90 || angle == 270;
                const int* skip = wide ? c.landscape[screen - 2] : c.portrait[screen - 2];
                Panel p(int16_t(c.model), angle);
                Screen(unsigned(screen));
                int diff = 0;
                for (int y = 0; y < TFTheight; ++y)
                    for (int x = 0; x < TFTwidth; ++x)
                        diff += p.at(x, y) != pic.at(skip[0] + x, skip[1] + y);
                EXPECT_EQ(diff, 0) << "angle " << angle;
            }
        }
    }
    // Model 5 at 0 degrees: columns 90..409 of the 480 x 480 picture, all rows.
    Picture pic = loadPicture("demo1_kp350");
    Panel p(5, 0);
    Screen(2);
    EXPECT_EQ(p.at(0, 0), pic.at(90, 0));
    EXPECT_EQ(p.at(319, 479), pic.at(409, 479));
}

TEST(Screen, PicturesHaveTheirFormats) {
    Picture logo = loadPicture("logo");
    EXPECT_EQ(logo.w, 140);
    EXPECT_EQ(logo.h, 60);
    EXPECT_EQ(logo.bits, 8);
    EXPECT_EQ(logo.compression, 0u);
}

TEST(Screen, MarkerScreen) {
    if (!fontsPresent()) GTEST_SKIP() << "fonts not embedded";
    Panel p(2, 0); // 240 wide
    Screen(255);
    EXPECT_EQ(fgColor, 0xFFE0);
    EXPECT_EQ(bgColor, 0x001F);
    // "clear" at (0, 0): five 8-pixel cells; "demo" at x 208: four cells to the edge
    Box left = findColour(p, 0xFFE0, 0, 15);
    ASSERT_FALSE(left.empty());
    EXPECT_LT(left.x0, 8);
    for (int y = 0; y < 16; ++y) {
        EXPECT_EQ(p.at(207, y), 0x0000);
        EXPECT_NE(p.at(208, y), 0x0000);
        EXPECT_NE(p.at(239, y), 0x0000);
        EXPECT_NE(p.at(39, y), 0x0000);
        EXPECT_EQ(p.at(40, y), 0x0000);
    }
    int yellow = 0;
    for (int y = 0; y < 16; ++y)
        for (int x = 208; x < 240; ++x) yellow += p.at(x, y) == 0xFFE0;
    EXPECT_GT(yellow, 20);
    EXPECT_EQ(p.at(100, 16), 0x0000);
    EXPECT_EQ(p.at(239, 239), 0x0000);

    Panel wide(5, 90); // 480 wide: "demo" at 448
    Screen(255);
    EXPECT_EQ(wide.at(447, 5), 0x0000);
    EXPECT_NE(wide.at(448, 5), 0x0000);
}

TEST(Screen, OtherNumbersAndModelsDrawNothing) {
    for (unsigned n : {0u, 4u, 5u, 9u, 254u, 256u, 257u, 511u, 1000u, 0xFFFFFFFFu}) {
        Panel p(3, 0);
        setTFTcolor(0x1111, 0x2222);
        Screen(n);
        EXPECT_EQ(p.changed(), 0) << n;
        EXPECT_EQ(fgColor, 0x1111) << n;
    }
    Panel p(3, 0);
    TFTinit(7); // no such model: size stays, the model's screens draw nothing
    for (unsigned n : {1u, 2u, 3u}) {
        Screen(n);
        EXPECT_EQ(p.changed(), 0) << n;
    }
    Screen(255); // the marker screen belongs to every model
    EXPECT_EQ(p.changed(), int(p.pixels.size()));
}

} // namespace
