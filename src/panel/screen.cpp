// Built-in start and demo screens: the model description, two demo pictures
// per model and the small marker screen.
#include "panel/zr_tft.h"

// The pictures are embedded at build time; the tree builds (with screens that
// leave out a missing picture) before they exist.
#if __has_include("logo.h")
#include "logo.h"
#define HAVE_LOGO 1
#endif
#if __has_include("demo1_kp096.h") && __has_include("demo2_kp096.h")
#include "demo1_kp096.h"
#include "demo2_kp096.h"
#define HAVE_DEMO_KP096 1
#endif
#if __has_include("demo1_kp150.h") && __has_include("demo2_kp150.h")
#include "demo1_kp150.h"
#include "demo2_kp150.h"
#define HAVE_DEMO_KP150 1
#endif
#if __has_include("demo1_kp200.h") && __has_include("demo2_kp200.h")
#include "demo1_kp200.h"
#include "demo2_kp200.h"
#define HAVE_DEMO_KP200 1
#endif
#if __has_include("demo1_kp280.h") && __has_include("demo2_kp280.h")
#include "demo1_kp280.h"
#include "demo2_kp280.h"
#define HAVE_DEMO_KP280 1
#endif
#if __has_include("demo1_kp350.h") && __has_include("demo2_kp350.h")
#include "demo1_kp350.h"
#include "demo2_kp350.h"
#define HAVE_DEMO_KP350 1
#endif
#if __has_include("demo1_kp240.h") && __has_include("demo2_kp240.h")
#include "demo1_kp240.h"
#include "demo2_kp240.h"
#define HAVE_DEMO_KP240 1
#endif

namespace {
// One text placement: font selection, zoom and position.
struct TextPlace {
    int16_t font, zoomX, zoomY, x, y;
};

// The body of screen 1: colours, font and where the lines go.
struct LineBlock {
    int16_t font, x, y, step;
};

struct Screen1 {
    const char* name;
    uint16_t headerColour; // colour behind the name
    int16_t headerRows;    // 20: plain band; 60/63: beside or behind the logo
    bool headerBeforeLogo; // fill the band first, then the logo over it
    bool logo;
    TextPlace nameLandscape, namePortrait;
    uint16_t bodyColour, textColour;
    LineBlock linesLandscape, linesPortrait;
    const char* const* linesLandscapeText;
    const char* const* linesPortraitText;
};

// Lists end with a null. 0xB0 is the degree sign, 0x81 the bullet of the
// large fonts.
const char* const list1A[] = {"- 0.96\" low-power TFT", "- 3.3 V single supply", "- 160x80 dots",
                              "- wide viewing angle", nullptr};
const char* const list1P[] = {"- 0.96\" TFT", "- 3.3V supply",      "- 160x80 dots",
                              "- wide angle", "- -20\xB0..+70\xB0", "- 3/4-wireSPI",
                              "- ST7735S",    "- PCAP (opt.)",      nullptr};
const char* const list2[] = {"- 1.5\" IPS TFT-Display", "- 240x240 dots",
                             "- 3.3 V single supply",   "- -20\xB0..+70\xB0 (TOP.)",
                             "- controller ST7789V",    "- wide viewing angle",
                             "- 18-Bit RGB interface",  "- or 8/16-Bit parallel",
                             "- or serial SPI",         nullptr};
const char* const list3[] = {"- 2.0\" IPS TFT-Display", "- 240x320 dots",
                             "- 3.3 V single supply",   "- -20\xB0..+70\xB0 (TOP.)",
                             "- controller ST7789V",    "- wide viewing angle",
                             "- 18-Bit RGB interface",  "- or 8/16-Bit parallel",
                             "- or serial SPI",         nullptr};
const char* const list4[] = {"- 2.8\" IPS TFT-Display", "- 240x320 dots",
                             "- 3.3 V single supply",   "- -20\xB0..+70\xB0 (TOP.)",
                             "- controller ST7789V",    "- wide viewing angle",
                             "- 18-Bit RGB interface",  "- or 8/16-Bit parallel",
                             "- or serial SPI",         nullptr};
const char* const list5[] = {"\x81 3.5\" IPS-Display",
                             "\x81 480x320 dots",
                             "\x81 3.3V single supply",
                             "\x81 -20\xB0..+70\xB0 (TOP.)",
                             "\x81 controller HX8357D",
                             "\x81 wide viewing angle",
                             nullptr};
const char* const list6[] = {"- 2.4\" transflective TFT",
                             "- sunlight readable",
                             "- 240x320 dots",
                             "- 3.3 V single supply",
                             "- -20\xB0..+70\xB0 (TOP.)",
                             "- controller ST7789V",
                             "- 18-Bit RGB interface",
                             "- or 8/16-Bit parallel",
                             "- or serial SPI",
                             nullptr};

const Screen1 screens1[6] = {
    {"KP096",
     0xFFFF,
     20,
     false,
     false,
     {16, 2, 1, 0, 2},
     {14, 1, 1, 1, 4},
     0x9812,
     0xFFFF,
     {14, 2, 22, 14},
     {8, 1, 30, 15},
     list1A,
     list1P},
    {"KP150",
     0xFFFF,
     60,
     false,
     true,
     {16, 1, 2, 145, 14},
     {16, 1, 2, 145, 14},
     0xB80C,
     0xFFFF,
     {16, 25, 66, 19},
     {16, 25, 66, 19},
     list2,
     list2},
    {"KP200",
     0xFFFF,
     60,
     false,
     true,
     {32, 1, 1, 148, 16},
     {20, 1, 2, 142, 10},
     0x0337,
     0xFFFF,
     {16, 60, 66, 19},
     {16, 25, 80, 24},
     list3,
     list3},
    {"KP280",
     0xFFFF,
     60,
     false,
     true,
     {32, 1, 1, 148, 16},
     {20, 1, 2, 142, 10},
     0x4DE0,
     0xFFFF,
     {16, 60, 66, 19},
     {16, 25, 80, 24},
     list4,
     list4},
    {"KP350",
     0xFFFF,
     60,
     false,
     true,
     {60, 1, 1, 156, 2},
     {32, 1, 1, 150, 14},
     0xDC00,
     0xFFFF,
     {32, 100, 80, 40},
     {32, 20, 90, 50},
     list5,
     list5},
    {"KP240",
     0xBDF7,
     63,
     true,
     true,
     {32, 1, 1, 143, 14},
     {16, 1, 2, 148, 15},
     0xFFFF,
     0x0000,
     {16, 60, 68, 19},
     {16, 25, 80, 24},
     list6,
     list6},
};

// Demo picture and the skips that pick the window shown in each orientation.
struct Demo {
    const uint8_t* picture;
    int16_t landscapeSkipX, landscapeSkipY, portraitSkipX, portraitSkipY;
};

const uint8_t* logoPicture() {
#ifdef HAVE_LOGO
    return logo;
#else
    return nullptr;
#endif
}

// Screen 2 (demo 1) or 3 (demo 2) of a model 1..6.
Demo demoFor(int model, int screen) {
    const uint8_t* pictures[6][2] = {};
#ifdef HAVE_DEMO_KP096
    pictures[0][0] = demo1_kp096;
    pictures[0][1] = demo2_kp096;
#endif
#ifdef HAVE_DEMO_KP150
    pictures[1][0] = demo1_kp150;
    pictures[1][1] = demo2_kp150;
#endif
#ifdef HAVE_DEMO_KP200
    pictures[2][0] = demo1_kp200;
    pictures[2][1] = demo2_kp200;
#endif
#ifdef HAVE_DEMO_KP280
    pictures[3][0] = demo1_kp280;
    pictures[3][1] = demo2_kp280;
#endif
#ifdef HAVE_DEMO_KP350
    pictures[4][0] = demo1_kp350;
    pictures[4][1] = demo2_kp350;
#endif
#ifdef HAVE_DEMO_KP240
    pictures[5][0] = demo1_kp240;
    pictures[5][1] = demo2_kp240;
#endif
    // landscape skip (x, y), portrait skip (x, y)
    static const int16_t skips[6][2][4] = {
        {{0, 68, 15, 0}, {0, 2, 8, 0}},     {{0, 0, 0, 0}, {0, 0, 0, 0}},
        {{0, 45, 64, 0}, {0, 24, 8, 0}},    {{0, 66, 70, 0}, {0, 20, 45, 0}},
        {{0, 100, 90, 0}, {0, 40, 120, 0}}, {{0, 53, 40, 0}, {0, 80, 80, 0}},
    };
    const int16_t* s = skips[model - 1][screen - 2];
    return {pictures[model - 1][screen - 2], s[0], s[1], s[2], s[3]};
}

bool landscape() {
    return TFTangle == 90 || TFTangle == 270;
}

void drawScreen1(const Screen1& s) {
    bool wide = landscape();
    int16_t right = int16_t(TFTwidth - 1);
    int16_t bottom = int16_t(TFTheight - 1);
    if (!s.logo) {
        TFTfill(s.headerColour, 0, 0, right, int16_t(s.headerRows - 1));
    } else if (s.headerBeforeLogo) {
        TFTfill(s.headerColour, 0, 0, right, int16_t(s.headerRows - 1));
        if (const uint8_t* picture = logoPicture()) TFTbitmap(0, 0, picture, 0, 0);
    } else {
        if (const uint8_t* picture = logoPicture()) TFTbitmap(0, 0, picture, 0, 0);
        TFTfill(s.headerColour, 140, 0, right, int16_t(s.headerRows - 1));
    }
    TFTfill(s.bodyColour, 0, s.headerRows, right, bottom);

    const TextPlace& name = wide ? s.nameLandscape : s.namePortrait;
    setTFTcolor(0x0000, s.headerColour);
    setTFTfont(name.font, name.zoomX, name.zoomY);
    TFTtext(name.x, name.y, s.name);

    const LineBlock& body = wide ? s.linesLandscape : s.linesPortrait;
    const char* const* lines = wide ? s.linesLandscapeText : s.linesPortraitText;
    setTFTcolor(s.textColour, s.bodyColour);
    setTFTfont(body.font, 1, 1);
    int16_t y = body.y;
    for (; *lines; ++lines, y = int16_t(y + body.step)) TFTtext(body.x, y, *lines);
}
} // namespace

void Screen(unsigned n) {
    if (n != 1 && n != 2 && n != 3 && n != 255) return;
    PanelGuard guard(panelLock());
    if (n == 255) {
        TFTclear(0x0000);
        setTFTcolor(0xFFE0, 0x001F);
        setTFTfont(16, 1, 1);
        TFTtext(0, 0, "clear");
        TFTtext(int16_t(TFTwidth - 32), 0, "demo");
        return;
    }
    if (TFTmodel < 1 || TFTmodel > 6) return;
    if (n == 1) {
        drawScreen1(screens1[TFTmodel - 1]);
        return;
    }
    Demo demo = demoFor(TFTmodel, int(n));
    if (!demo.picture) return;
    if (landscape())
        TFTbitmap(0, 0, demo.picture, demo.landscapeSkipX, demo.landscapeSkipY);
    else
        TFTbitmap(0, 0, demo.picture, demo.portraitSkipX, demo.portraitSkipY);
}
