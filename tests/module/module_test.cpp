#include "module/compose.h"
#include "module/modulefile.h"
#include "module/rect.h"
#include "module/winpaint.h"
#include "support/bmp_writer.h"
#include "support/module_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace {

struct PictureCase {
    int model, touch, width, height;
    Rect active;
};
// Sizes and panel areas every stored picture must have.
const PictureCase pictureCases[] = {
    {1, 0, 140, 324, {30, 16, 109, 175}}, {1, 1, 140, 442, {30, 30, 109, 189}},
    {2, 0, 278, 490, {20, 18, 259, 257}}, {2, 1, 380, 542, {70, 70, 309, 309}},
    {3, 0, 284, 608, {22, 20, 261, 339}}, {3, 1, 340, 680, {50, 95, 289, 414}},
    {4, 0, 268, 512, {15, 16, 254, 335}}, {4, 1, 324, 584, {42, 73, 281, 392}},
    {5, 0, 360, 720, {20, 18, 339, 497}}, {5, 1, 420, 764, {50, 84, 369, 563}},
    {6, 0, 274, 533, {17, 18, 256, 337}},
};

bool operator==(const Rect& a, const Rect& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

class ModuleTest : public ::testing::Test {
  protected:
    void TearDown() override {
        FreeTFT();
        resetSettings();
        resetPanelState();
    }
};

TEST_F(ModuleTest, EveryStoredPictureHasTheFormatAndMarkers) {
    for (const PictureCase& c : pictureCases) {
        SCOPED_TRACE(c.model * 10 + c.touch);
        std::vector<uint8_t> f = unpackedPicture(c.model, c.touch);
        ASSERT_GT(f.size(), 1078u);
        const uint8_t* h = f.data() + 14;
        const uint32_t line = (uint32_t(c.width) + 3) & ~3u;
        EXPECT_EQ(rdLE16(f.data()), 0x4D42);
        EXPECT_EQ(rdLE32(f.data() + 10), 1078u);
        EXPECT_EQ(rdLE32(h + BI_SIZE), 40u);
        EXPECT_EQ(int32_t(rdLE32(h + BI_WIDTH)), c.width);
        EXPECT_EQ(int32_t(rdLE32(h + BI_HEIGHT)), c.height); // positive: bottom-up
        EXPECT_EQ(rdLE16(h + BI_BITCOUNT), 8);
        EXPECT_EQ(rdLE32(h + BI_COMPRESSION), 0u);
        EXPECT_TRUE(rdLE32(h + BI_CLRUSED) == 0 || rdLE32(h + BI_CLRUSED) == 256);
        ASSERT_EQ(f.size(), 1078 + size_t(line) * c.height);

        auto pixel = [&](int x, int y) { return f[1078 + size_t(c.height - 1 - y) * line + x]; };
        auto colour = [&](int index) { // red, green, blue
            const uint8_t* e = f.data() + 54 + 4 * index;
            return std::array<int, 3>{e[2], e[1], e[0]};
        };
        const int key = pixel(0, 0), frame = pixel(2, 0), marker = pixel(3, 0);
        for (int v : colour(key)) EXPECT_GE(v, 240);
        EXPECT_EQ(colour(frame), (std::array<int, 3>{0, 255, 0}));
        EXPECT_EQ(colour(marker), (std::array<int, 3>{255, 0, 0}));
        const Rect& a = c.active;
        int markers = 0, outerFrame = 0, innerFrame = 0, edges = 0;
        for (int y = 0; y < c.height; ++y)
            for (int x = 0; x < c.width; ++x) {
                const bool inside = x >= a.left && x <= a.right && y >= a.top && y <= a.bottom;
                const int d = std::max({a.left - x, x - a.right, a.top - y, y - a.bottom});
                if (y > 0 || x > 3) markers += (pixel(x, y) == marker) != inside;
                innerFrame += d >= 1 && d <= 4 && pixel(x, y) != frame;
                if (d >= 6 && d <= 7 && pixel(x, y) == frame) ++outerFrame;
                const bool edge = x == 0 || y == 0 || x == c.width - 1 || y == c.height - 1;
                edges += edge && (y > 0 || x > 3) && pixel(x, y) != key;
            }
        EXPECT_EQ(markers, 0) << "the marker is exactly the panel area";
        EXPECT_EQ(innerFrame, 0) << "the frame ring is at least 4 pixels wide";
        EXPECT_EQ(outerFrame, 0) << "the frame ring is at most 5 pixels wide";
        EXPECT_EQ(edges, 0) << "the key colour surrounds the outline";
    }
}

TEST_F(ModuleTest, Model1AtTheFourAngles) {
    const struct {
        int angle, width, height;
        Rect active;
    } cases[] = {{0, 140, 324, {30, 16, 109, 175}},
                 {90, 324, 140, {148, 30, 307, 109}},
                 {180, 140, 324, {30, 148, 109, 307}},
                 {270, 324, 140, {16, 30, 175, 109}}};
    for (const auto& c : cases) {
        startModule(1, 0, c.angle);
        EXPECT_EQ(DIBWidth(&moduleDIB), c.width);
        EXPECT_EQ(DIBHeight(&moduleDIB), c.height);
        EXPECT_TRUE(moduleDIB.rcActive == c.active) << c.angle;
        EXPECT_TRUE(panelDIB.rcPos == c.active);
        EXPECT_EQ(DIBWidth(&panelDIB), c.active.right - c.active.left + 1);
        EXPECT_EQ(DIBHeight(&panelDIB), c.active.bottom - c.active.top + 1);
        EXPECT_EQ(reinterpret_cast<uint8_t*>(frameMem), panelDIB.bits);
        // The markers never show: the top row's first pixels are background.
        for (int x = 0; x < 4; ++x) EXPECT_EQ(GetDIB256pix(x, 0, &moduleDIB), bgIndex);
    }
    // Every picture's panel area is found at every angle.
    for (const PictureCase& c : pictureCases)
        for (int angle = 0; angle < 360; angle += 90) {
            startModule(c.model, c.touch, angle);
            EXPECT_EQ(DIBWidth(&panelDIB), TFTwidth) << c.model << " " << angle;
            EXPECT_EQ(DIBHeight(&panelDIB), TFTheight);
        }
}

TEST_F(ModuleTest, PanelTurnsMovesAndClearsAsTheModuleChanges) {
    startModule(1, 0, 0);
    TFTfill(0xF800, 0, 0, 0, 0); // top-left pixel red
    switchModule(1, 0, 90);      // a quarter turn clockwise: top-left goes top-right
    ASSERT_EQ(TFTwidth, 160);
    EXPECT_EQ(panelAt(159, 0), 0xF800);
    EXPECT_EQ(panelAt(0, 0), 0);

    startModule(2, 0, 0);
    TFTfill(0x07E0, 5, 6, 5, 6);
    EXPECT_EQ(panelDIB.rcPos.left, 20);
    EXPECT_EQ(panelDIB.rcPos.top, 18);
    switchModule(2, 1, 0); // touch on: the panel moves into the bigger picture
    EXPECT_EQ(panelDIB.rcPos.left, 70);
    EXPECT_EQ(panelDIB.rcPos.top, 70);
    EXPECT_EQ(panelAt(5, 6), 0x07E0);

    switchModule(3, 1, 0); // another model: a new black panel
    std::vector<uint16_t> pixels = panelPixelsTopDown();
    ASSERT_EQ(pixels.size(), 240u * 320u);
    EXPECT_EQ(std::count(pixels.begin(), pixels.end(), 0), long(pixels.size()));
}

// What a start leaves behind that a kept picture must reproduce.
struct BuiltState {
    std::vector<uint8_t> picture;
    std::array<int32_t, 4> active, position;
    std::array<uint8_t, 6> colours;
    std::array<int32_t, 5> panel; // bgIndex, model, width, height, angle
    std::vector<uint16_t> pixels;
    bool operator==(const BuiltState&) const = default;
};
BuiltState builtState() {
    const Rect& a = moduleDIB.rcActive;
    const Rect& p = panelDIB.rcPos;
    EXPECT_EQ(reinterpret_cast<uint8_t*>(frameMem), panelDIB.bits);
    return {{moduleDIB.mem, moduleDIB.mem + moduleDIB.memSize},
            {a.left, a.top, a.right, a.bottom},
            {p.left, p.top, p.right, p.bottom},
            {bgKeyColour[0], bgKeyColour[1], bgKeyColour[2], shapeColour[0], shapeColour[1],
             shapeColour[2]},
            {bgIndex, TFTmodel, TFTwidth, TFTheight, TFTangle},
            panelPixelsTopDown()};
}

TEST_F(ModuleTest, AKeptPictureStartsTheModuleAsABuildDoes) {
    KeptModulePicture kept;
    EXPECT_EQ(keepModulePicture(&kept), 0); // nothing built yet
    for (const int angle : {90, 180}) {
        startModule(2, 1, angle);
        const BuiltState built = builtState();
        ASSERT_EQ(keepModulePicture(&kept), 1);
        startModule(5, 0, 270); // another picture and panel in between
        TFTfill(0xFFFF, 0, 0, 9, 9);
        startModule(2, 1, angle, &kept);
        EXPECT_TRUE(builtState() == built) << angle;
        EXPECT_NE(moduleDIB.mem, kept.picture.mem); // a copy: the kept one stays whole
    }
    // Kept for other settings: the module is built instead.
    startModule(6, 0, 0);
    const BuiltState built = builtState();
    startModule(6, 0, 0, &kept);
    EXPECT_TRUE(builtState() == built);
    FreeDIB(&kept.picture);
}

TEST_F(ModuleTest, UnusablePicturesKeepThePreviousModule) {
    startModule(1, 0, 0);
    const uint8_t* before = moduleDIB.mem;
    // The marker rectangle lies left of the centre column.
    std::vector<uint8_t> offCentre = makeBmp8(140, 324, [](int x, int y) {
        if (y == 0 && x < 4) return uint8_t(x + 10);
        return uint8_t(x >= 5 && x < 60 && y >= 16 && y < 176 ? 13 : 10);
    });
    EXPECT_EQ(InitBildBMP(offCentre.data(), offCentre.size()), 0);
    // A marker across the centre, but not the panel size of the model.
    std::vector<uint8_t> wrongSize = makeBmp8(140, 324, [](int x, int y) {
        if (y == 0 && x < 4) return uint8_t(x + 10);
        return uint8_t(x >= 30 && x < 110 && y >= 16 && y < 170 ? 13 : 10);
    });
    EXPECT_EQ(InitBildBMP(wrongSize.data(), wrongSize.size()), 0);
    EXPECT_EQ(InitBildBMP(wrongSize.data(), 1000), 0); // cut short
    EXPECT_EQ(moduleDIB.mem, before);
    // A marker running down to the last row is bounded by the picture.
    std::vector<uint8_t> toTheEdge = makeBmp8(80, 200, [](int x, int y) {
        if (y == 0 && x < 4) return uint8_t(x + 10);
        return uint8_t(y >= 40 ? 13 : 10);
    });
    EXPECT_EQ(InitBildBMP(toTheEdge.data(), toTheEdge.size()), 1);
    EXPECT_TRUE(moduleDIB.rcActive == (Rect{0, 40, 79, 199}));

    ModulePicture stored{};
    ASSERT_TRUE(modulePicture(2, 0, &stored));
    std::vector<uint8_t> damaged(stored.packed, stored.packed + stored.packedLength);
    damaged[damaged.size() / 2] ^= 0x5A;
    EXPECT_EQ(AllocAndUncompress(damaged.data(), stored.packedLength, stored.unpackedLength),
              nullptr);
    EXPECT_EQ(AllocAndUncompress(stored.packed, stored.packedLength, stored.unpackedLength - 1),
              nullptr);
}

TEST_F(ModuleTest, ZoomTwoPaintsAndRedrawsWholeBlocks) {
    startModule(1, 0, 0);
    ZoomWindow = 2;
    BitmapDraw draws[2];
    ASSERT_EQ(DrawBitmaps(Rect{0, 0, 10, 10}, draws), 1); // the panel is not met
    EXPECT_TRUE(draws[0].source == (Rect{0, 0, 4, 4}));
    EXPECT_EQ(draws[0].destWidth, 10);
    EXPECT_EQ(draws[0].srcYFromBottom, 324 - 1 - 4);
    BitmapDraw panel = DrawBitmap(panelDIB.rcPos, &panelDIB, 0);
    EXPECT_EQ(panel.destX, 60);
    EXPECT_EQ(panel.destY, 32);
    EXPECT_EQ(panel.destWidth, 160);
    EXPECT_TRUE(redrawRectangle() == (Rect{60, 32, 220, 352}));

    TFTfill(0xFFFF, 0, 0, 0, 0);
    WindowImage image;
    ASSERT_TRUE(composeWindow(1, &image));
    ASSERT_EQ(image.width, 280);
    auto at = [&](int x, int y) { return &image.rgba[(size_t(y) * image.width + x) * 4]; };
    for (int y = 32; y <= 33; ++y)
        for (int x = 60; x <= 61; ++x) EXPECT_EQ(at(x, y)[0], 255);
    EXPECT_EQ(at(62, 32)[0], 0);
    EXPECT_EQ(at(0, 0)[3], 0);                // outside the outline
    EXPECT_EQ(at(140, 300)[3], 255);          // on the board
    for (int y = 0; y < image.height; y += 2) // the outline follows whole 2 x 2 blocks
        for (int x = 0; x < image.width; x += 2)
            ASSERT_TRUE(at(x, y)[3] == at(x + 1, y)[3] && at(x, y)[3] == at(x + 1, y + 1)[3]);
}

// The module picture at zoom 2 against bilinear blending worked out in real
// numbers: a destination pixel's centre lies a quarter of a source pixel from
// the nearer source centre, across and down, so the weights are 3/4 and 1/4.
TEST_F(ModuleTest, ZoomTwoSmoothsTheModulePictureBetweenPixelCentres) {
    startModule(5, 0, 90);
    ZoomWindow = 2;
    WindowImage image;
    ASSERT_TRUE(composeWindow(0, &image));
    // Destination d: the left (upper) source pixel and the right (lower) one's weight in quarters.
    auto low = [](int d) { return d % 2 ? (d - 1) / 2 : d / 2 - 1; };
    auto weight = [](int d) { return d % 2 ? 1 : 3; };
    auto source = [](int x, int y, int c) {
        return int(moduleDIB.palette[4 * GetDIB256pix(x, y, &moduleDIB) + 2 - c]);
    };
    const Rect& panel = moduleDIB.rcActive;
    int differing = 0, checked = 0;
    for (int dy = 2; dy < image.height - 2; ++dy)
        for (int dx = 2; dx < image.width - 2; ++dx) {
            if (rect_inside(dx / 2, dy / 2, &panel)) continue; // the panel covers it
            const int x = low(dx), y = low(dy), wx = weight(dx), wy = weight(dy);
            for (int c = 0; c < 3; ++c) {
                const int sum =
                    (4 - wx) * (4 - wy) * source(x, y, c) + wx * (4 - wy) * source(x + 1, y, c) +
                    (4 - wx) * wy * source(x, y + 1, c) + wx * wy * source(x + 1, y + 1, c);
                const int expected = (sum + 8) / 16;
                differing += image.rgba[(size_t(dy) * image.width + dx) * 4 + c] != expected;
                ++checked;
            }
        }
    EXPECT_EQ(differing, 0) << "of " << checked << " channels";
}

TEST_F(ModuleTest, ZoomOneCopiesBothBitmapsExactly) {
    startModule(6, 0, 90);
    TFTfill(0x1234, 3, 4, 3, 4);
    WindowImage image;
    ASSERT_TRUE(composeWindow(0, &image));
    const Rect& a = panelDIB.rcPos;
    const uint8_t* p = &image.rgba[(size_t(a.top + 4) * image.width + a.left + 3) * 4];
    EXPECT_EQ(p[0], (0x1234 >> 11) << 3 | (0x1234 >> 11) >> 2);
    const uint8_t* corner = &image.rgba[0];
    const uint8_t* key = moduleDIB.palette + 4 * bgIndex;
    EXPECT_EQ(corner[0], key[2]);
    EXPECT_EQ(corner[3], 255);
}

TEST_F(ModuleTest, RectangleHelpers) {
    const Rect r{0, 0, 10, 10};
    EXPECT_EQ(rect_inside(-1, 5, &r), 0); // 65535 as unsigned 16 bits
    EXPECT_EQ(rect_inside(5, -1, &r), 0);
    EXPECT_EQ(rect_inside(10, 10, &r), 1);
    const Rect wide{-5, -5, 65535, 65535};
    EXPECT_EQ(rect_inside(-1, -1, &wide), 1);
    Rect a{0, 0, 10, 10};
    const Rect b{11, 0, 20, 10};
    EXPECT_EQ(rect_intersect(&a, &b), 0);
    EXPECT_EQ(a.left, 11);
    int x, y;
    startModule(1, 0, 0);
    convert2touchXY(&x, &y, 30, 20);
    EXPECT_EQ(x, 0);
    EXPECT_EQ(y, 4);
}

TEST_F(ModuleTest, ModuleFileNameAndShownTime) {
    char name[256];
    EXPECT_EQ(buildModuleFileName(name, sizeof name, "/opt/vx/", 5, 90), 1);
    EXPECT_STREQ(name, "/opt/vx/KP350_90.txt");
    EXPECT_EQ(buildModuleFileName(name, 12, "/opt/vx/", 5, 90), 0);
    EXPECT_STREQ(name, "");
    EXPECT_EQ(buildModuleFileName(name, sizeof name, "", 7, 0), 0);

    moduleFileTime = 0x500000007ull;
    shownFileTime = 0x100000007ull; // equal low 32 bits: made to differ
    followModuleFileTime(0, 0);
    EXPECT_EQ(shownFileTime, 0x100000008ull);
    followModuleFileTime(0, 1); // a job runs: the file counts as shown
    EXPECT_EQ(shownFileTime, moduleFileTime);
    shownFileTime = 3;
    followModuleFileTime(1, 0); // demo mode likewise
    EXPECT_EQ(shownFileTime, moduleFileTime);
    moduleFileTime = shownFileTime = 0;
}
} // namespace
