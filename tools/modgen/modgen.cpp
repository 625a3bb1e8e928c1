// modgen: draws the eleven module pictures (the six models, five of them also
// with a touch overlay) with cairo and writes each as the program stores it:
// an 8-bit BMP file, packed with zlib, behind its packed and unpacked length.
//
// Every picture follows the marker convention the window relies on: the top
// row starts with the key, shape, frame and marker indices; the panel area is
// a solid rectangle of the marker index, ringed by the frame index; every
// pixel outside the module's outline (and inside drilled holes) is the key.
//
// Everything is drawn from this source (the lettering uses the stroke font
// below, not a system font), so the files are reproducible.
//
// Usage: modgen OUTPUT-FOLDER [--sheet SHEET.png] [--preview FOLDER [--zoom N]]
#include "panel/modulerecord.h"

#include <cairo.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

// ---------------------------------------------------------------- file format

// Palette slots every picture reserves; the rest is the picture's own colours.
constexpr int keyIndex = 0;    // background, cut away when the window is shaped
constexpr int shapeIndex = 1;  // the colour the key takes while the window is shaped
constexpr int frameIndex = 2;  // the ring around the panel
constexpr int markerIndex = 3; // the panel area itself
constexpr int firstFreeIndex = 4;
constexpr int paletteEntries = 256;
constexpr int fileHeaderBytes = 14;
constexpr int infoHeaderBytes = 40;
constexpr int pixelOffset = fileHeaderBytes + infoHeaderBytes + 4 * paletteEntries; // 1078

struct Rgb8 {
    uint8_t r, g, b;
    bool operator<(const Rgb8& o) const { return std::tie(r, g, b) < std::tie(o.r, o.g, o.b); }
    bool operator==(const Rgb8& o) const { return r == o.r && g == o.g && b == o.b; }
};

const Rgb8 keyColour{255, 255, 255};
const Rgb8 shapeColour{120, 122, 126}; // a grey of the board
const Rgb8 frameMarkColour{0, 255, 0};
const Rgb8 panelMarkColour{255, 0, 0};

void put16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    out[at] = uint8_t(v);
    out[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) out[at + i] = uint8_t(v >> (8 * i));
}

// index: top row first, width x height.
std::vector<uint8_t> bmp8(int width, int height, const std::vector<Rgb8>& palette,
                          const std::vector<uint8_t>& index) {
    const uint32_t lineBytes = uint32_t(width + 3) & ~3u;
    const uint32_t imageBytes = lineBytes * uint32_t(height);
    std::vector<uint8_t> out(pixelOffset + imageBytes, 0);
    out[0] = 'B';
    out[1] = 'M';
    put32(out, 2, uint32_t(out.size()));
    put32(out, 10, pixelOffset);
    const size_t ih = fileHeaderBytes;
    put32(out, ih + 0, infoHeaderBytes);
    put32(out, ih + 4, uint32_t(width));
    put32(out, ih + 8, uint32_t(height));
    put16(out, ih + 12, 1);
    put16(out, ih + 14, 8);
    put32(out, ih + 20, imageBytes);
    put32(out, ih + 24, 3780); // 96 dpi
    put32(out, ih + 28, 3780);
    put32(out, ih + 32, paletteEntries);
    for (int i = 0; i < paletteEntries; ++i) {
        size_t p = fileHeaderBytes + infoHeaderBytes + 4 * size_t(i);
        Rgb8 c = i < int(palette.size()) ? palette[i] : Rgb8{0, 0, 0};
        out[p] = c.b;
        out[p + 1] = c.g;
        out[p + 2] = c.r;
    }
    for (int y = 0; y < height; ++y)
        std::memcpy(&out[pixelOffset + size_t(height - 1 - y) * lineBytes],
                    &index[size_t(y) * width], size_t(width));
    return out;
}

std::vector<uint8_t> packRecord(const std::vector<uint8_t>& bmp) {
    uLongf packed = compressBound(uLong(bmp.size()));
    std::vector<uint8_t> out(moduleRecordHeaderBytes + packed);
    if (compress2(&out[moduleRecordHeaderBytes], &packed, bmp.data(), uLong(bmp.size()), 9) != Z_OK)
        return {};
    out.resize(moduleRecordHeaderBytes + packed);
    put32(out, moduleRecordPackedField, uint32_t(packed));
    put32(out, moduleRecordUnpackedField, uint32_t(bmp.size()));
    return out;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

// ---------------------------------------------------------------- stroke font

// Glyphs on a 4 x 6 grid (y down); strokes separated by spaces, each a run of
// two-digit points "xy". Silkscreen on real boards is a stroke font too.
struct StrokeGlyph {
    char c;
    const char* strokes;
};
const StrokeGlyph strokeFont[] = {
    {'0', "103041453616050110 0541"},
    {'1', "112026 1636"},
    {'2', "01103041420646"},
    {'3', "01103041423323 334445361605"},
    {'4', "36300444"},
    {'5', "400002324345361605"},
    {'6', "4130100105163645443303"},
    {'7', "00404116"},
    {'8', "13020110304142331304051636454433"},
    {'9', "0516364541301001021343"},
    {'A', "0602204246 0444"},
    {'B', "06003041423303 3344453606"},
    {'C', "4130100105163645"},
    {'D', "00304145360600"},
    {'E', "40000646 0333"},
    {'F', "400006 0333"},
    {'G', "41301001051636454323"},
    {'H', "0006 4046 0343"},
    {'I', "1030 2026 1636"},
    {'J', "4045361605"},
    {'K', "0006 400346"},
    {'L', "000646"},
    {'M', "0600234046"},
    {'N', "06004640"},
    {'O', "103041453616050110"},
    {'P', "06003041423303"},
    {'Q', "103041453616050110 2446"},
    {'R', "06003041423303 3346"},
    {'S', "413010010213334445361605"},
    {'T', "0040 2026"},
    {'U', "000516364540"},
    {'V', "002640"},
    {'W', "0016233640"},
    {'X', "0046 4006"},
    {'Y', "002340 2326"},
    {'Z', "00400646"},
    {'.', "2526"},
    {'-', "1333"},
    {'_', "0646"},
    {'"', "1011 3031"},
    {'/', "0640"},
    {'+', "1333 2224"},
    {':', "2122 2425"},
    {'x', "2246 4226"},
};
constexpr double glyphAdvance = 6.0;

const char* glyphStrokes(char c) {
    for (const StrokeGlyph& g : strokeFont)
        if (g.c == c) return g.strokes;
    return "";
}

double textWidth(const std::string& text, double unit) {
    return text.empty() ? 0 : (double(text.size()) * glyphAdvance - 2) * unit;
}

// Draws text with its top-left corner at the current origin.
void strokeText(cairo_t* cr, const std::string& text, double unit, double lineWidth) {
    cairo_save(cr);
    cairo_set_line_width(cr, lineWidth);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
    double x0 = 0;
    for (char c : text) {
        const char* s = glyphStrokes(c);
        bool first = true;
        for (; *s; ++s) {
            if (*s == ' ') {
                first = true;
                continue;
            }
            double x = x0 + (s[0] - '0') * unit, y = (s[1] - '0') * unit;
            if (first)
                cairo_move_to(cr, x, y);
            else
                cairo_line_to(cr, x, y);
            first = false;
            ++s;
        }
        x0 += glyphAdvance * unit;
    }
    cairo_stroke(cr);
    cairo_restore(cr);
}

void textAt(cairo_t* cr, const std::string& text, double cx, double top, double unit, double line,
            double angle = 0) {
    cairo_save(cr);
    cairo_translate(cr, cx, top);
    cairo_rotate(cr, angle);
    cairo_translate(cr, -textWidth(text, unit) / 2, 0);
    strokeText(cr, text, unit, line);
    cairo_restore(cr);
}

// ---------------------------------------------------------------- drawing helpers

struct Colour {
    double r, g, b;
};
Colour rgb(int r, int g, int b) {
    return {r / 255.0, g / 255.0, b / 255.0};
}
Colour shade(Colour c, double k) { // k > 1 lighter, < 1 darker
    auto f = [k](double v) { return k >= 1 ? v + (1 - v) * (k - 1) : v * k; };
    return {f(c.r), f(c.g), f(c.b)};
}
void setColour(cairo_t* cr, Colour c, double alpha = 1) {
    cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

struct Box {
    double x0, y0, x1, y1; // x1, y1 exclusive
    double w() const { return x1 - x0; }
    double h() const { return y1 - y0; }
    double cx() const { return (x0 + x1) / 2; }
};

void roundedPath(cairo_t* cr, Box b, double radius) {
    radius = std::min({radius, b.w() / 2, b.h() / 2});
    cairo_new_sub_path(cr);
    cairo_arc(cr, b.x1 - radius, b.y0 + radius, radius, -M_PI / 2, 0);
    cairo_arc(cr, b.x1 - radius, b.y1 - radius, radius, 0, M_PI / 2);
    cairo_arc(cr, b.x0 + radius, b.y1 - radius, radius, M_PI / 2, M_PI);
    cairo_arc(cr, b.x0 + radius, b.y0 + radius, radius, M_PI, 1.5 * M_PI);
    cairo_close_path(cr);
}

void fillBox(cairo_t* cr, Box b, Colour c, double radius = 0, double alpha = 1) {
    roundedPath(cr, b, radius);
    setColour(cr, c, alpha);
    cairo_fill(cr);
}

void verticalGradient(cairo_t* cr, Box b, Colour top, Colour bottom, double radius = 0) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, b.y0, 0, b.y1);
    cairo_pattern_add_color_stop_rgb(p, 0, top.r, top.g, top.b);
    cairo_pattern_add_color_stop_rgb(p, 1, bottom.r, bottom.g, bottom.b);
    roundedPath(cr, b, radius);
    cairo_set_source(cr, p);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
}

// A soft diagonal reflection across a piece of glass.
void glassSheen(cairo_t* cr, Box b, double radius, double strength) {
    cairo_save(cr);
    roundedPath(cr, b, radius);
    cairo_clip(cr);
    cairo_pattern_t* p =
        cairo_pattern_create_linear(b.x0, b.y0, b.x0 + b.w() * 0.8, b.y0 + b.h() * 0.6);
    cairo_pattern_add_color_stop_rgba(p, 0, 1, 1, 1, strength);
    cairo_pattern_add_color_stop_rgba(p, 0.45, 1, 1, 1, strength * 0.35);
    cairo_pattern_add_color_stop_rgba(p, 0.46, 1, 1, 1, 0);
    cairo_pattern_add_color_stop_rgba(p, 1, 1, 1, 1, 0);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);
    cairo_restore(cr);
}

const Colour silk = rgb(238, 238, 230);
const Colour gold = rgb(214, 172, 84);
const Colour tin = rgb(196, 198, 202);
const Colour blackGlass = rgb(16, 16, 18);
const Colour amber = rgb(204, 128, 36);

// A plated mounting hole; the drill is punched out to the key colour.
void mountingHole(cairo_t* cr, double cx, double cy, double r) {
    cairo_arc(cr, cx, cy, r * 1.55, 0, 2 * M_PI);
    setColour(cr, gold);
    cairo_fill(cr);
    cairo_arc(cr, cx, cy, r * 1.55, 0, 2 * M_PI);
    setColour(cr, shade(gold, 0.7));
    cairo_set_line_width(cr, 0.8);
    cairo_stroke(cr);
    cairo_save(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
    cairo_fill(cr);
    cairo_restore(cr);
}

// A two-terminal SMD part: body with metal ends, horizontal or vertical.
void chipPart(cairo_t* cr, double cx, double cy, double len, double wid, bool vertical,
              Colour body) {
    double w = vertical ? wid : len, h = vertical ? len : wid;
    Box b{cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2};
    fillBox(cr, b, tin, 0.6);
    double e = len * 0.22;
    Box mid = vertical ? Box{b.x0, b.y0 + e, b.x1, b.y1 - e} : Box{b.x0 + e, b.y0, b.x1 - e, b.y1};
    fillBox(cr, mid, body);
}

// A small transistor or regulator: black body with gull-wing legs.
void sotPart(cairo_t* cr, double cx, double cy, double size) {
    double bw = size, bh = size * 0.55, leg = size * 0.28;
    fillBox(cr,
            {cx - bw * 0.35 - leg / 2, cy + bh / 2, cx - bw * 0.35 + leg / 2, cy + bh / 2 + leg},
            tin);
    fillBox(cr,
            {cx + bw * 0.35 - leg / 2, cy + bh / 2, cx + bw * 0.35 + leg / 2, cy + bh / 2 + leg},
            tin);
    fillBox(cr, {cx - leg / 2, cy - bh / 2 - leg, cx + leg / 2, cy - bh / 2}, tin);
    verticalGradient(cr, {cx - bw / 2, cy - bh / 2, cx + bw / 2, cy + bh / 2}, rgb(52, 52, 56),
                     rgb(24, 24, 26), 0.8);
}

// An IC with legs on two sides (touch controller).
void icPart(cairo_t* cr, double cx, double cy, double w, double h, int legsPerSide) {
    double pitch = h / legsPerSide, leg = w * 0.18;
    for (int i = 0; i < legsPerSide; ++i) {
        double y = cy - h / 2 + pitch * (i + 0.5);
        fillBox(cr, {cx - w / 2 - leg, y - pitch * 0.22, cx - w / 2, y + pitch * 0.22}, tin);
        fillBox(cr, {cx + w / 2, y - pitch * 0.22, cx + w / 2 + leg, y + pitch * 0.22}, tin);
    }
    verticalGradient(cr, {cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2}, rgb(50, 50, 54),
                     rgb(22, 22, 24), 1);
    cairo_arc(cr, cx - w / 2 + w * 0.22, cy - h / 2 + w * 0.22, w * 0.08, 0, 2 * M_PI);
    setColour(cr, rgb(70, 70, 74));
    cairo_fill(cr);
}

// A flexible printed circuit from y0 down to y1, with its copper traces.
void flexCable(cairo_t* cr, double cx, double width, double y0, double y1, int traces) {
    Box f{cx - width / 2, y0, cx + width / 2, y1};
    fillBox(cr, f, amber, 1.0, 0.96);
    setColour(cr, shade(amber, 0.72), 0.8);
    cairo_set_line_width(cr, std::max(0.6, width / traces * 0.35));
    for (int i = 0; i < traces; ++i) {
        double x = f.x0 + width * (i + 0.5) / traces;
        cairo_move_to(cr, x, y0 + 1);
        cairo_line_to(cr, x, y1 - 1);
    }
    cairo_stroke(cr);
    // the stiffened, soldered end
    Box end{f.x0 - 1.5, y1 - std::min(6.0, (y1 - y0) * 0.3), f.x1 + 1.5, y1};
    fillBox(cr, end, tin, 0.8);
    fillBox(cr, {end.x0 + 1, end.y0 + 1, end.x1 - 1, end.y1 - 1}, shade(amber, 0.9), 0.5, 0.6);
}

// A pin header seen from the front: black body, gold pins, labels above.
void pinHeader(cairo_t* cr, Box board, double bottom, const std::vector<std::string>& labels,
               Colour pcb) {
    const int n = int(labels.size());
    double pitch = std::min(18.0, std::floor((board.w() - 16) / n));
    double width = pitch * n, x0 = board.cx() - width / 2;
    Box body{x0, bottom - pitch, x0 + width, bottom};
    // pads and traces under the header
    for (int i = 0; i < n; ++i) {
        double cx = x0 + pitch * (i + 0.5);
        setColour(cr, shade(pcb, 1.18));
        cairo_set_line_width(cr, std::max(1.0, pitch * 0.18));
        cairo_move_to(cr, cx, body.y0);
        cairo_line_to(cr, cx, body.y0 - pitch * 0.5);
        cairo_stroke(cr);
    }
    verticalGradient(cr, body, rgb(46, 46, 50), rgb(18, 18, 20), 1);
    for (int i = 0; i < n; ++i) {
        double cx = x0 + pitch * (i + 0.5), cy = body.y0 + pitch / 2, s = pitch * 0.42;
        Box pin{cx - s / 2, cy - s / 2, cx + s / 2, cy + s / 2};
        cairo_pattern_t* p = cairo_pattern_create_linear(pin.x0, pin.y0, pin.x1, pin.y1);
        cairo_pattern_add_color_stop_rgb(p, 0, 0.98, 0.86, 0.52);
        cairo_pattern_add_color_stop_rgb(p, 1, gold.r * 0.7, gold.g * 0.7, gold.b * 0.7);
        roundedPath(cr, pin, 0.5);
        cairo_set_source(cr, p);
        cairo_fill(cr);
        cairo_pattern_destroy(p);
        if (i > 0) { // the moulded separation between pins
            setColour(cr, rgb(8, 8, 9));
            cairo_set_line_width(cr, 0.7);
            cairo_move_to(cr, x0 + pitch * i, body.y0 + 1);
            cairo_line_to(cr, x0 + pitch * i, body.y1 - 1);
            cairo_stroke(cr);
        }
    }
    // pin 1 mark and the labels, read upwards as on the boards
    double unit = std::min(1.6, pitch * 0.13);
    setColour(cr, silk);
    for (int i = 0; i < n; ++i) {
        double cx = x0 + pitch * (i + 0.5);
        // turned a quarter left, the glyphs' height runs along x: centred on the pin
        cairo_save(cr);
        cairo_translate(cr, cx - 3 * unit, body.y0 - 2.5);
        cairo_rotate(cr, -M_PI / 2);
        strokeText(cr, labels[i], unit, unit * 0.75);
        cairo_restore(cr);
    }
    cairo_rectangle(cr, body.x0 - 3, body.y0 - 1.5, 1.6, pitch + 3);
    cairo_fill(cr);
}

// ---------------------------------------------------------------- the modules

struct PanelRect {
    int l, t, r, b; // inclusive, picture coordinates at 0 degrees
};

struct ModelLook {
    const char* name;   // "KP096"
    const char* size;   // diagonal and kind, as printed on the board
    const char* pixels; // "80x160"
    const char* driver; // controller
    Colour pcb;
    std::vector<std::string> pins;      // without touch
    std::vector<std::string> touchPins; // added with touch
    const char* touchChip;              // printed beside the touch controller
};

struct Picture {
    const char* stem; // data file name without ".bin"
    int model;        // 1..6
    bool touch;
    int width, height;
    PanelRect panel;
    int ring; // width of the frame ring
};

const std::vector<std::string> spi8 = {"GND", "VCC", "SCL", "SDA", "RES", "DC", "CS", "BLK"};
const std::vector<std::string> spi9 = {"VCC", "GND", "CS",  "RESET", "DC",
                                       "SDI", "SCK", "LED", "SDO"};
const std::vector<std::string> ctp4 = {"TSCL", "TSDA", "TRST", "TINT"};
const std::vector<std::string> rtp5 = {"T_CLK", "T_CS", "T_DIN", "T_DO", "T_IRQ"};

const ModelLook looks[6] = {
    {"KP096", "0.96\" IPS", "80x160", "ST7735S", rgb(22, 72, 150), spi8, {"TINT"}, "CTP"},
    {"KP150", "1.54\" IPS", "240x240", "ST7789V", rgb(30, 31, 35), spi8, ctp4, "CTP"},
    {"KP200", "2.0\" IPS", "240x320", "ST7789V", rgb(20, 62, 134), spi8, ctp4, "CTP"},
    {"KP280", "2.8\" TFT", "240x320", "ST7789V", rgb(168, 30, 34), spi9, rtp5, "RTP"},
    {"KP350", "3.5\" TFT", "320x480", "HX8357D", rgb(22, 98, 56), spi9, rtp5, "RTP"},
    {"KP240", "2.4\" IPS", "240x320", "ST7789V", rgb(70, 40, 112), spi8, {}, ""},
};

const Picture pictures[11] = {
    {"module_kp096_nn", 1, false, 140, 324, {30, 16, 109, 175}, 4},
    {"module_kp096_tc", 1, true, 140, 442, {30, 30, 109, 189}, 4},
    {"module_kp150_nn", 2, false, 278, 490, {20, 18, 259, 257}, 5},
    {"module_kp150_tc", 2, true, 380, 542, {70, 70, 309, 309}, 5},
    {"module_kp200_nn", 3, false, 284, 608, {22, 20, 261, 339}, 5},
    {"module_kp200_tc", 3, true, 340, 680, {50, 95, 289, 414}, 5},
    {"module_kp280_nn", 4, false, 268, 512, {15, 16, 254, 335}, 5},
    {"module_kp280_tc", 4, true, 324, 584, {42, 73, 281, 392}, 5},
    {"module_kp350_nn", 5, false, 360, 720, {20, 18, 339, 497}, 5},
    {"module_kp350_tc", 5, true, 420, 764, {50, 84, 369, 563}, 5},
    {"module_kp240", 6, false, 274, 533, {17, 18, 256, 337}, 5},
};

// The panel area grown by the frame ring, as a cairo box.
Box ringBox(const Picture& p) {
    return {double(p.panel.l - p.ring), double(p.panel.t - p.ring), double(p.panel.r + 1 + p.ring),
            double(p.panel.b + 1 + p.ring)};
}

// The lower part of the board: display flex, parts, lettering and the header.
void boardBelow(cairo_t* cr, const Picture& p, const ModelLook& look, Box board, double from,
                double flexWidth, bool touch) {
    const double bottom = board.y1 - 5;
    const double pitch =
        std::min(18.0, std::floor((board.w() - 16) /
                                  double(look.pins.size() + (touch ? look.touchPins.size() : 0))));
    const double headerTop = bottom - pitch;
    // copper traces from the flex pads down to the header, under the solder mask
    setColour(cr, shade(look.pcb, 1.14));
    cairo_set_line_width(cr, 1.2);
    int traces = 6;
    for (int i = 0; i < traces; ++i) {
        double x = board.cx() - flexWidth / 2 + flexWidth * (i + 0.5) / traces;
        double xe = board.cx() + (i - (traces - 1) / 2.0) * pitch;
        cairo_move_to(cr, x, from + 6);
        cairo_line_to(cr, x, from + 14 + i * 2);
        cairo_line_to(cr, xe, headerTop - pitch * 2.6);
        cairo_line_to(cr, xe, headerTop - pitch * 1.8);
    }
    cairo_stroke(cr);

    // lettering: the model name large, then size, pixels and controller
    const double space = headerTop - pitch * 2.4 - (from + 10);
    double unit = std::min({board.w() * 0.55 / textWidth("KP096", 1.0), space / 14.0, 5.0});
    double nameTop = from + 10 + (space - unit * 13) * 0.45;
    setColour(cr, silk);
    textAt(cr, look.name, board.cx(), nameTop, unit, unit * 0.8);
    double small = std::max(
        1.1, std::min(unit * 0.42, board.w() * 0.8 /
                                       textWidth(look.size + std::string(" ") + look.pixels, 1.0)));
    std::string line2 = std::string(look.size) + " " + look.pixels;
    textAt(cr, line2, board.cx(), nameTop + unit * 8, small, small * 0.8);
    std::string line3 =
        std::string("ZR ") + look.driver + (touch ? std::string(" ") + look.touchChip : "");
    textAt(cr, line3, board.cx(), nameTop + unit * 8 + small * 9, small, small * 0.8);

    // a few parts beside the lettering: regulator, capacitors, resistors
    double side = board.x0 + std::max(10.0, board.w() * 0.12);
    double other = board.x1 - std::max(10.0, board.w() * 0.12);
    double s = std::clamp(board.w() / 24, 5.0, 11.0);
    sotPart(cr, side, from + 16, s);
    chipPart(cr, other, from + 14, s * 0.9, s * 0.5, true, rgb(150, 120, 86));
    chipPart(cr, other - s * 1.1, from + 14, s * 0.9, s * 0.5, true, rgb(150, 120, 86));
    chipPart(cr, side, from + 16 + s * 1.6, s * 0.9, s * 0.45, false, rgb(24, 24, 26));
    chipPart(cr, other, headerTop - pitch * 2.2, s * 0.9, s * 0.45, false, rgb(24, 24, 26));
    if (touch) icPart(cr, side + s * 0.2, headerTop - pitch * 2.6, s * 1.3, s * 1.6, 5);

    std::vector<std::string> pins = look.pins;
    if (touch) pins.insert(pins.end(), look.touchPins.begin(), look.touchPins.end());
    pinHeader(cr, board, bottom, pins, look.pcb);
    (void)p;
}

void drawWithoutTouch(cairo_t* cr, const Picture& p, const ModelLook& look) {
    Box ring = ringBox(p);
    Box board{2, 2, double(p.width - 2), double(p.height - 2)};
    double gm = std::min(6.0, std::min(ring.x0, ring.y0) - board.x0 - 1.5);
    double ledge = std::clamp((p.panel.b - p.panel.t) * 0.09, 12.0, 26.0);
    Box glass{ring.x0 - gm, ring.y0 - gm, ring.x1 + gm, ring.y1 + ledge};
    double holeR = std::clamp(p.width * 0.022, 3.0, 6.0);

    verticalGradient(cr, board, shade(look.pcb, 1.06), shade(look.pcb, 0.88), 7);
    // the display flex runs from the glass ledge down onto the board
    double flexWidth = (ring.x1 - ring.x0) * 0.42;
    double flexEnd = glass.y1 + std::clamp(p.height * 0.05, 12.0, 28.0);
    flexCable(cr, board.cx(), flexWidth, glass.y1 - 4, flexEnd, 10);
    // backlight frame, then the glass with its black border and the ledge
    fillBox(cr, {glass.x0 - 1, glass.y0 - 1, glass.x1 + 1, glass.y1 - ledge + 3},
            rgb(214, 216, 220), 1.5);
    fillBox(cr, glass, rgb(58, 62, 66), 1);
    fillBox(cr, {glass.x0, glass.y0, glass.x1, glass.y1 - ledge}, blackGlass, 1);
    verticalGradient(cr, {glass.x0 + 1, glass.y1 - ledge, glass.x1 - 1, glass.y1 - 1},
                     rgb(92, 98, 104), rgb(66, 70, 76));
    double icW = (glass.x1 - glass.x0) * 0.5;
    fillBox(cr,
            {glass.cx() - icW / 2, glass.y1 - ledge * 0.62, glass.cx() + icW / 2,
             glass.y1 - ledge * 0.38},
            rgb(150, 154, 160), 0.5);
    glassSheen(cr, glass, 1, 0.16);

    mountingHole(cr, board.x0 + holeR * 2.4, board.y1 - holeR * 2.4, holeR);
    mountingHole(cr, board.x1 - holeR * 2.4, board.y1 - holeR * 2.4, holeR);
    if (glass.x0 - board.x0 > holeR * 4) {
        mountingHole(cr, board.x0 + holeR * 2.4, glass.y0 + holeR * 2.4, holeR);
        mountingHole(cr, board.x1 - holeR * 2.4, glass.y0 + holeR * 2.4, holeR);
    } else {
        mountingHole(cr, board.x0 + holeR * 2.4, glass.y1 + holeR * 2.6, holeR);
        mountingHole(cr, board.x1 - holeR * 2.4, glass.y1 + holeR * 2.6, holeR);
    }
    Box inner{board.x0 + holeR * 4.8, board.y0, board.x1 - holeR * 4.8, board.y1};
    boardBelow(cr, p, look, {board.x0, board.y0, board.x1, board.y1 - holeR * 0.2}, flexEnd,
               flexWidth, false);
    (void)inner;
}

void drawWithTouch(cairo_t* cr, const Picture& p, const ModelLook& look) {
    Box ring = ringBox(p);
    double side = ring.x0 - 3; // the overlay reaches almost to the picture's edge
    double top = std::max(3.0, ring.y0 - (side + 8));
    double bottomBorder = (ring.y0 - top) + 8;
    Box overlay{3, top, double(p.width - 3), ring.y1 + bottomBorder};
    double inset = top > 16 ? 0 : std::clamp((p.width - 290) / 3.0, 4.0, 30.0);
    Box board{overlay.x0 + inset, top > 16 ? 3.0 : top + 12, overlay.x1 - inset,
              double(p.height - 2)};
    double holeR = std::clamp(p.width * 0.02, 3.0, 6.0);

    verticalGradient(cr, board, shade(look.pcb, 1.06), shade(look.pcb, 0.88), 7);
    if (top > 16) { // the board shows above the overlay, with its two upper holes
        mountingHole(cr, board.x0 + holeR * 2.4, board.y0 + (top - board.y0) / 2 + 1, holeR);
        mountingHole(cr, board.x1 - holeR * 2.4, board.y0 + (top - board.y0) / 2 + 1, holeR);
    }
    // display flex in the middle, touch flex to the right
    double flexWidth = (ring.x1 - ring.x0) * 0.36;
    double flexEnd = overlay.y1 + std::clamp(p.height * 0.04, 12.0, 24.0);
    flexCable(cr, board.cx() - flexWidth * 0.3, flexWidth, overlay.y1 - 6, flexEnd, 10);
    double touchFlex = flexWidth * 0.45;
    double touchX = std::min(board.x1 - touchFlex, board.cx() + flexWidth * 0.75);
    flexCable(cr, touchX, touchFlex, overlay.y1 - 6, flexEnd - 4, 4);

    // the cover glass: a printed black border around the display window
    fillBox(cr, {overlay.x0 - 0.5, overlay.y0 - 0.5, overlay.x1 + 0.5, overlay.y1 + 0.5},
            rgb(120, 124, 130), 7);
    verticalGradient(cr, overlay, rgb(26, 26, 30), rgb(12, 12, 14), 6.5);
    fillBox(cr, {ring.x0 - 1, ring.y0 - 1, ring.x1 + 1, ring.y1 + 1}, rgb(8, 8, 9), 1);
    glassSheen(cr, overlay, 6.5, 0.13);
    // a thin light edge where the glass is cut
    roundedPath(cr, {overlay.x0 + 0.5, overlay.y0 + 0.5, overlay.x1 - 0.5, overlay.y1 - 0.5}, 6);
    setColour(cr, rgb(170, 176, 184), 0.55);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);

    double low = board.y1 - holeR * 2.4;
    mountingHole(cr, board.x0 + holeR * 2.4, low, holeR);
    mountingHole(cr, board.x1 - holeR * 2.4, low, holeR);
    boardBelow(cr, p, look, board, flexEnd, flexWidth, true);
}

// ---------------------------------------------------------------- palette

struct Bucket {
    Rgb8 colour;
    uint64_t count;
};

// Median cut: splits the box with the largest squared error at its weighted
// median along its widest channel until the palette is full.
std::vector<Rgb8> medianCut(std::vector<Bucket> colours, size_t entries) {
    struct Span {
        size_t begin, end;
        double error;
        int channel;
    };
    auto channelOf = [](const Rgb8& c, int ch) { return ch == 0 ? c.r : ch == 1 ? c.g : c.b; };
    auto measure = [&](size_t begin, size_t end) {
        Span s{begin, end, 0, 0};
        double best = -1;
        for (int ch = 0; ch < 3; ++ch) {
            double n = 0, sum = 0, sq = 0;
            for (size_t i = begin; i < end; ++i) {
                double v = channelOf(colours[i].colour, ch), w = double(colours[i].count);
                n += w, sum += v * w, sq += v * v * w;
            }
            double err = sq - sum * sum / n;
            s.error += err;
            if (err > best) best = err, s.channel = ch;
        }
        if (end - begin < 2) s.error = 0;
        return s;
    };
    std::vector<Span> spans;
    if (!colours.empty()) spans.push_back(measure(0, colours.size()));
    while (spans.size() < entries) {
        auto worst = std::max_element(spans.begin(), spans.end(), [](const Span& a, const Span& b) {
            return a.error < b.error;
        });
        if (worst->error <= 0) break;
        Span s = *worst;
        std::sort(colours.begin() + long(s.begin), colours.begin() + long(s.end),
                  [&](const Bucket& a, const Bucket& b) {
                      int va = channelOf(a.colour, s.channel), vb = channelOf(b.colour, s.channel);
                      return va != vb ? va < vb : a.colour < b.colour;
                  });
        uint64_t total = 0, half = 0;
        for (size_t i = s.begin; i < s.end; ++i) total += colours[i].count;
        size_t cut = s.begin + 1;
        for (size_t i = s.begin; i < s.end - 1; ++i) {
            half += colours[i].count;
            cut = i + 1;
            if (half * 2 >= total) break;
        }
        *worst = measure(s.begin, cut);
        spans.push_back(measure(cut, s.end));
    }
    std::vector<Rgb8> palette;
    for (const Span& s : spans) {
        double n = 0, r = 0, g = 0, b = 0;
        for (size_t i = s.begin; i < s.end; ++i) {
            double w = double(colours[i].count);
            n += w, r += colours[i].colour.r * w, g += colours[i].colour.g * w,
                b += colours[i].colour.b * w;
        }
        palette.push_back({uint8_t(std::lround(r / n)), uint8_t(std::lround(g / n)),
                           uint8_t(std::lround(b / n))});
    }
    std::sort(palette.begin(), palette.end());
    return palette;
}

int nearest(const std::vector<Rgb8>& palette, Rgb8 c) {
    int best = firstFreeIndex;
    long bestDistance = -1;
    for (int i = firstFreeIndex; i < int(palette.size()); ++i) {
        long dr = long(palette[i].r) - c.r, dg = long(palette[i].g) - c.g,
             db = long(palette[i].b) - c.b;
        long d = 2 * dr * dr + 4 * dg * dg + 3 * db * db;
        if (bestDistance < 0 || d < bestDistance) bestDistance = d, best = i;
    }
    return best;
}

// ---------------------------------------------------------------- one picture

struct Indexed {
    int width = 0, height = 0;
    std::vector<Rgb8> palette;
    std::vector<uint8_t> index; // top row first
};

Indexed render(const Picture& p) {
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, p.width, p.height);
    cairo_t* cr = cairo_create(surface);
    const ModelLook& look = looks[p.model - 1];
    if (p.touch)
        drawWithTouch(cr, p, look);
    else
        drawWithoutTouch(cr, p, look);
    cairo_destroy(cr);
    cairo_surface_flush(surface);

    Indexed out;
    out.width = p.width;
    out.height = p.height;
    out.index.assign(size_t(p.width) * p.height, keyIndex);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    auto inRing = [&](int x, int y) {
        return x >= p.panel.l - p.ring && x <= p.panel.r + p.ring && y >= p.panel.t - p.ring &&
               y <= p.panel.b + p.ring;
    };
    auto inPanel = [&](int x, int y) {
        return x >= p.panel.l && x <= p.panel.r && y >= p.panel.t && y <= p.panel.b;
    };
    // Opaque colours (half-covered outline pixels count as board, the rest as background).
    std::vector<int> colourAt(out.index.size(), -1);
    std::map<Rgb8, uint64_t> histogram;
    std::vector<Rgb8> seen(out.index.size());
    for (int y = 1; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) {
            uint32_t argb;
            std::memcpy(&argb, data + size_t(y) * stride + 4 * size_t(x), 4);
            unsigned a = argb >> 24;
            if (a < 112 || inRing(x, y)) continue;
            auto un = [a](unsigned v) { return uint8_t(std::min(255u, (v * 255 + a / 2) / a)); };
            Rgb8 c{un((argb >> 16) & 255), un((argb >> 8) & 255), un(argb & 255)};
            seen[size_t(y) * p.width + x] = c;
            colourAt[size_t(y) * p.width + x] = 1;
            ++histogram[c];
        }
    cairo_surface_destroy(surface);

    std::vector<Bucket> buckets;
    for (const auto& [c, n] : histogram) buckets.push_back({c, n});
    std::vector<Rgb8> own = medianCut(buckets, paletteEntries - firstFreeIndex);
    out.palette = {keyColour, shapeColour, frameMarkColour, panelMarkColour};
    out.palette.insert(out.palette.end(), own.begin(), own.end());
    std::map<Rgb8, int> memo;
    for (size_t i = 0; i < out.index.size(); ++i) {
        if (colourAt[i] < 0) continue;
        auto found = memo.find(seen[i]);
        if (found == memo.end()) found = memo.emplace(seen[i], nearest(out.palette, seen[i])).first;
        out.index[i] = uint8_t(found->second);
    }
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x)
            if (inPanel(x, y))
                out.index[size_t(y) * p.width + x] = markerIndex;
            else if (inRing(x, y))
                out.index[size_t(y) * p.width + x] = frameIndex;
    out.index[0] = keyIndex;
    out.index[1] = shapeIndex;
    out.index[2] = frameIndex;
    out.index[3] = markerIndex;
    return out;
}

// The picture as the window shows it with an empty panel: the frame ring and
// the panel take their display colours, the key is left transparent.
cairo_surface_t* shownSurface(const Indexed& pic) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pic.width, pic.height);
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < pic.height; ++y)
        for (int x = 0; x < pic.width; ++x) {
            int i = pic.index[size_t(y) * pic.width + x];
            uint32_t argb = 0;
            if (y == 0 && x < 4) i = keyIndex;
            if (i == frameIndex)
                argb = 0xFF0F0F0Fu;
            else if (i == markerIndex)
                argb = 0xFF000000u;
            else if (i != keyIndex)
                argb = 0xFF000000u | (uint32_t(pic.palette[i].r) << 16) |
                       (uint32_t(pic.palette[i].g) << 8) | pic.palette[i].b;
            std::memcpy(data + size_t(y) * stride + 4 * size_t(x), &argb, 4);
        }
    cairo_surface_mark_dirty(s);
    return s;
}

// One picture as shown, enlarged without smoothing to look at its pixels.
bool writePreview(const std::string& path, const Indexed& pic, int zoom) {
    cairo_surface_t* s = shownSurface(pic);
    cairo_surface_t* big =
        cairo_image_surface_create(CAIRO_FORMAT_ARGB32, pic.width * zoom, pic.height * zoom);
    cairo_t* cr = cairo_create(big);
    cairo_scale(cr, zoom, zoom);
    cairo_set_source_surface(cr, s, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    cairo_paint(cr);
    cairo_destroy(cr);
    bool ok = cairo_surface_write_to_png(big, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(big);
    cairo_surface_destroy(s);
    return ok;
}

// All eleven pictures: the models without touch in the upper row, with touch below.
bool writeSheet(const std::string& path, const std::vector<Indexed>& all) {
    const int gap = 24, label = 30;
    std::vector<const Picture*> rows[2];
    for (const Picture& p : pictures) rows[p.touch ? 1 : 0].push_back(&p);
    int width = 0, heights[2] = {0, 0};
    for (int r = 0; r < 2; ++r) {
        int w = gap;
        for (const Picture* p : rows[r]) {
            w += p->width + gap;
            heights[r] = std::max(heights[r], p->height);
        }
        width = std::max(width, w);
    }
    int height = gap + heights[0] + label + gap + heights[1] + label + gap;
    cairo_surface_t* sheet = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(sheet);
    cairo_set_source_rgb(cr, 0.93, 0.94, 0.95);
    cairo_paint(cr);
    int top = gap;
    for (int r = 0; r < 2; ++r) {
        int x = gap;
        for (const Picture* p : rows[r]) {
            const Indexed& pic = all[size_t(p - pictures)];
            cairo_surface_t* s = shownSurface(pic);
            int y = top + heights[r] - p->height;
            cairo_set_source_surface(cr, s, x, y);
            cairo_paint(cr);
            cairo_surface_destroy(s);
            setColour(cr, rgb(60, 64, 70));
            std::string name = std::string(looks[p->model - 1].name) + (p->model == 6 ? ""
                                                                        : p->touch    ? " TC"
                                                                                      : " NN");
            textAt(cr, name, x + p->width / 2.0, top + heights[r] + 10, 2.2, 1.6);
            x += p->width + gap;
        }
        top += heights[r] + label + gap;
    }
    cairo_destroy(cr);
    bool ok = cairo_surface_write_to_png(sheet, path.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(sheet);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    std::string outDir, sheet, preview;
    int zoom = 1;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--sheet" && i + 1 < argc)
            sheet = argv[++i];
        else if (a == "--preview" && i + 1 < argc)
            preview = argv[++i];
        else if (a == "--zoom" && i + 1 < argc)
            zoom = std::clamp(std::atoi(argv[++i]), 1, 8);
        else if (outDir.empty() && a[0] != '-')
            outDir = a;
        else
            outDir.clear(), i = argc;
    }
    if (outDir.empty()) {
        std::fprintf(
            stderr,
            "usage: modgen OUTPUT-FOLDER [--sheet SHEET.png] [--preview FOLDER [--zoom N]]\n");
        return 2;
    }
    bool ok = true;
    std::vector<Indexed> all;
    for (const Picture& p : pictures) {
        all.push_back(render(p));
        const Indexed& pic = all.back();
        std::vector<uint8_t> record =
            packRecord(bmp8(pic.width, pic.height, pic.palette, pic.index));
        std::string path = outDir + "/" + p.stem + ".bin";
        if (record.empty() || !writeFile(path, record)) {
            std::fprintf(stderr, "modgen: cannot write %s\n", path.c_str());
            ok = false;
        }
        if (!preview.empty() && !writePreview(preview + "/" + p.stem + ".png", pic, zoom))
            ok = false;
    }
    if (!sheet.empty() && !writeSheet(sheet, all)) {
        std::fprintf(stderr, "modgen: cannot write %s\n", sheet.c_str());
        ok = false;
    }
    return ok ? 0 : 1;
}
