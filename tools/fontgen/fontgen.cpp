// fontgen: builds the twelve embedded ZPF bitmap fonts from fonts that Debian
// ships (DejaVu Sans through FreeType's monochrome hinter, the VGA console
// fonts of console-setup-linux) plus a few symbols drawn here at every size.
//
//   fontgen OUTDIR [--sheet SHEETDIR]
//
// Writes OUTDIR/font8.zpf ... font60.zpf; with --sheet it reads every written
// file back and renders a PNG sample sheet per font, so what gets looked at is
// exactly what the program will embed.
#include <ft2build.h>
#include FT_FREETYPE_H
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/dib.h"
#include "panel/zpf_format.h"

static const char* kSansPath = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
static const char* kVga16Path = "/usr/share/consolefonts/Uni2-VGA16.psf.gz";
static const char* kVga8Path = "/usr/share/consolefonts/Uni2-VGA8.psf.gz";

// ---------------------------------------------------------------- records

// A glyph as it goes into the file: width x cell height pixels, top row
// first, one byte per pixel (0 or 1), the baseline common to the font.
struct Glyph {
    int code = 0;
    int width = 0;
    std::vector<uint8_t> px;
};

struct Font {
    int height = 0;
    int descent = 0; // rows below the baseline
    std::vector<Glyph> glyphs;
};

// Ink box relative to the pen origin on the baseline; rows top first.
struct Ink {
    int w = 0, h = 0;
    int left = 0;    // x of the first column from the pen origin
    int top = 0;     // rows above the baseline of the first row
    int advance = 0; // pen advance in pixels
    std::vector<uint8_t> px;
};

static std::vector<int> codeSetA() {
    std::vector<int> codes;
    for (int c = 0x20; c <= 0x7E; ++c) codes.push_back(c);
    const int extra[] = {0xAA, 0xB0, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xD1, 0xD6, 0xDC, 0xDF, 0xE0,
                         0xE1, 0xE2, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xEB, 0xEC, 0xED,
                         0xEE, 0xEF, 0xF1, 0xF2, 0xF3, 0xF4, 0xF6, 0xF9, 0xFA, 0xFB, 0xFC, 0xFF};
    for (int c : extra) codes.push_back(c);
    return codes;
}

static bool isSymbolCode(int c) {
    return (c >= 0x80 && c <= 0x88) || (c >= 0x90 && c <= 0x9D);
}

static std::vector<int> codeSetB() {
    std::vector<int> codes;
    for (int c = 0x20; c <= 0x7E; ++c) codes.push_back(c);
    for (int c = 0x80; c <= 0x9D; ++c)
        if (isSymbolCode(c)) codes.push_back(c);
    for (int c = 0xA0; c <= 0xFF; ++c) codes.push_back(c);
    return codes;
}

// ---------------------------------------------------------------- ink helpers

static void trimInk(Ink* ink) {
    int x0 = ink->w, x1 = -1, y0 = ink->h, y1 = -1;
    for (int y = 0; y < ink->h; ++y)
        for (int x = 0; x < ink->w; ++x)
            if (ink->px[size_t(y * ink->w + x)]) {
                x0 = std::min(x0, x);
                x1 = std::max(x1, x);
                y0 = std::min(y0, y);
                y1 = std::max(y1, y);
            }
    if (x1 < 0) {
        ink->w = ink->h = 0;
        ink->px.clear();
        return;
    }
    Ink out = *ink;
    out.w = x1 - x0 + 1;
    out.h = y1 - y0 + 1;
    out.left = ink->left + x0;
    out.top = ink->top - y0;
    out.px.assign(size_t(out.w * out.h), 0);
    for (int y = 0; y < out.h; ++y)
        for (int x = 0; x < out.w; ++x)
            out.px[size_t(y * out.w + x)] = ink->px[size_t((y + y0) * ink->w + x + x0)];
    *ink = out;
}

static bool rowEmpty(const Ink& ink, int y) {
    for (int x = 0; x < ink.w; ++x)
        if (ink.px[size_t(y * ink.w + x)]) return false;
    return true;
}

// Accented capitals are taller than the cell allows at a useful pixel size.
// Closing the gap between accent and letter (topmost gap first, never below
// `minGap` rows) keeps both legible instead of clipping either; the small
// fonts may also fold a two-row accent into one row (`merge`). Only rows above
// the capital height `capTop` are touched. Returns the rows removed.
struct SqueezeRule {
    int limit;
    int minGap;
    bool merge;
    int capTop;
};

static int squeezeInk(Ink* ink, int want, const SqueezeRule& rule) {
    int removed = 0;
    while (removed < want && removed < rule.limit) {
        int accentRows = ink->top - rule.capTop; // rows above the capitals
        int gapStart = -1, y = 0;
        while (y < std::min(accentRows, ink->h)) {
            if (rowEmpty(*ink, y)) {
                int s = y;
                while (y < accentRows && y < ink->h && rowEmpty(*ink, y)) ++y;
                if (y - s > rule.minGap) {
                    gapStart = s;
                    break;
                }
            } else {
                ++y;
            }
        }
        if (gapStart < 0 && rule.merge && accentRows >= 2 && !rowEmpty(*ink, 1)) {
            for (int x = 0; x < ink->w; ++x) ink->px[size_t(ink->w + x)] |= ink->px[size_t(x)];
            gapStart = 0;
        }
        if (gapStart < 0) break;
        ink->px.erase(ink->px.begin() + gapStart * ink->w,
                      ink->px.begin() + (gapStart + 1) * ink->w);
        ink->h -= 1;
        ink->top -= 1;
        ++removed;
    }
    return removed;
}

static int maxSqueeze(const Ink& ink, const SqueezeRule& rule) {
    Ink copy = ink;
    return squeezeInk(&copy, rule.limit, rule);
}

// Places ink in a cell of the given height whose baseline lies `descent` rows
// above the bottom. The cell starts at the pen origin, or further left when
// the ink overhangs it, and reaches the advance or the ink's right end.
static Glyph inkToGlyph(int code, const Ink& ink, int height, int descent) {
    Glyph g;
    g.code = code;
    int shift = ink.w > 0 ? std::max(0, -ink.left) : 0;
    int width = ink.advance + shift;
    if (ink.w > 0) width = std::max(width, ink.left + shift + ink.w);
    g.width = std::max(1, width);
    g.px.assign(size_t(g.width * height), 0);
    int baseRow = height - descent; // first row below the baseline
    for (int y = 0; y < ink.h; ++y) {
        int row = baseRow - ink.top + y;
        if (row < 0 || row >= height) continue;
        for (int x = 0; x < ink.w; ++x) {
            int col = ink.left + shift + x;
            if (col >= 0 && col < g.width && ink.px[size_t(y * ink.w + x)])
                g.px[size_t(row * g.width + col)] = 1;
        }
    }
    return g;
}

static void padGlyph(Glyph* g, int left, int right, int height) {
    int w = g->width + left + right;
    std::vector<uint8_t> px(size_t(w * height), 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < g->width; ++x)
            px[size_t(y * w + x + left)] = g->px[size_t(y * g->width + x)];
    g->width = w;
    g->px = px;
}

static bool glyphHasInk(const Glyph& g) {
    for (uint8_t p : g.px)
        if (p) return true;
    return false;
}

// Keeps a column of space between neighbouring letters where the hinter or
// the console font let the ink fill the whole advance.
static void ensureSpacing(Glyph* g, int height) {
    if (!glyphHasInk(*g)) return;
    bool leftInk = false, rightInk = false;
    for (int y = 0; y < height; ++y) {
        leftInk |= g->px[size_t(y * g->width)] != 0;
        rightInk |= g->px[size_t(y * g->width + g->width - 1)] != 0;
    }
    if (leftInk && rightInk) padGlyph(g, 0, 1, height);
}

// Digits share one width so that numbers in a column line up.
static void equaliseDigits(Font* f) {
    int w = 0;
    for (const Glyph& g : f->glyphs)
        if (g.code >= '0' && g.code <= '9') w = std::max(w, g.width);
    for (Glyph& g : f->glyphs)
        if (g.code >= '0' && g.code <= '9' && g.width < w) {
            int extra = w - g.width;
            padGlyph(&g, extra / 2, extra - extra / 2, f->height);
        }
}

// ---------------------------------------------------------------- FreeType

static bool renderFT(FT_Face face, uint32_t unicode, Ink* out) {
    FT_UInt index = FT_Get_Char_Index(face, unicode);
    if (index == 0) return false;
    if (FT_Load_Glyph(face, index, FT_LOAD_TARGET_MONO)) return false;
    if (FT_Render_Glyph(face->glyph, FT_RENDER_MODE_MONO)) return false;
    const FT_Bitmap& b = face->glyph->bitmap;
    Ink ink;
    ink.w = int(b.width);
    ink.h = int(b.rows);
    ink.left = face->glyph->bitmap_left;
    ink.top = face->glyph->bitmap_top;
    ink.advance = int((face->glyph->advance.x + 32) >> 6);
    ink.px.assign(size_t(ink.w * ink.h), 0);
    for (int y = 0; y < ink.h; ++y) {
        const uint8_t* row = b.buffer + (b.pitch >= 0 ? y : y - ink.h + 1) * b.pitch;
        for (int x = 0; x < ink.w; ++x)
            ink.px[size_t(y * ink.w + x)] = (row[x >> 3] >> (7 - (x & 7))) & 1;
    }
    trimInk(&ink);
    *out = ink;
    return true;
}

// Latin-1 codes are Unicode code points; the soft hyphen is shown as a hyphen
// because a text on a panel has no line breaking that could hide it.
static uint32_t latin1ToUnicode(int code) {
    return code == 0xAD ? 0x2D : uint32_t(code);
}

struct RenderedSet {
    std::vector<int> codes;
    std::vector<Ink> inks;
};

static bool renderSet(FT_Face face, int ppem, const std::vector<int>& codes, RenderedSet* out) {
    if (FT_Set_Pixel_Sizes(face, 0, FT_UInt(ppem))) return false;
    out->codes.clear();
    out->inks.clear();
    for (int c : codes) {
        if (isSymbolCode(c)) continue;
        Ink ink;
        if (!renderFT(face, latin1ToUnicode(c), &ink)) {
            std::fprintf(stderr, "fontgen: no glyph for 0x%02X\n", c);
            return false;
        }
        out->codes.push_back(c);
        out->inks.push_back(ink);
    }
    return true;
}

static int inkHeightOf(const RenderedSet& set, int code) {
    for (size_t i = 0; i < set.codes.size(); ++i)
        if (set.codes[i] == code) return set.inks[i].top;
    return 0;
}

// The largest pixel size at which every glyph fits the cell on one baseline,
// accented capitals allowed to close their accent gap by a row or two.
static int fitPixelSize(FT_Face face, int height, const std::vector<int>& codes, SqueezeRule* rule,
                        RenderedSet* set, int* descent) {
    for (int ppem = height; ppem >= 4; --ppem) {
        if (!renderSet(face, ppem, codes, set)) return 0;
        rule->capTop = inkHeightOf(*set, 'H');
        int below = 1, above = 0;
        for (size_t i = 0; i < set->inks.size(); ++i) {
            const Ink& ink = set->inks[i];
            if (ink.h == 0) continue;
            below = std::max(below, ink.h - ink.top);
            int top = ink.top;
            if (set->codes[i] >= 0xA0) top -= maxSqueeze(ink, *rule);
            above = std::max(above, top);
        }
        if (above + below <= height) {
            *descent = below;
            return ppem;
        }
    }
    return 0;
}

static int inkWidthOf(const RenderedSet& set, int code) {
    for (size_t i = 0; i < set.codes.size(); ++i)
        if (set.codes[i] == code) return set.inks[i].w;
    return 0;
}

// ---------------------------------------------------------------- PSF console fonts

struct Psf {
    int width = 0, height = 0, count = 0, rowBytes = 0;
    std::vector<uint8_t> bitmaps;
    std::vector<std::pair<uint32_t, int>> unicode; // code point -> glyph index
};

static bool readGzip(const char* path, std::vector<uint8_t>* out) {
    gzFile f = gzopen(path, "rb");
    if (!f) return false;
    uint8_t buf[65536];
    int n;
    while ((n = gzread(f, buf, sizeof buf)) > 0) out->insert(out->end(), buf, buf + n);
    bool ok = n == 0;
    gzclose(f);
    return ok;
}

static bool loadPsf(const char* path, Psf* psf) {
    std::vector<uint8_t> d;
    if (!readGzip(path, &d)) return false;
    size_t tableAt = 0;
    bool hasTable = false, utf8 = false;
    if (d.size() >= 4 && d[0] == 0x36 && d[1] == 0x04) {
        psf->count = (d[2] & 1) ? 512 : 256;
        psf->width = 8;
        psf->height = d[3];
        psf->rowBytes = 1;
        hasTable = (d[2] & 6) != 0;
        size_t bytes = size_t(psf->count) * size_t(psf->height);
        if (d.size() < 4 + bytes) return false;
        psf->bitmaps.assign(d.begin() + 4, d.begin() + 4 + long(bytes));
        tableAt = 4 + bytes;
    } else if (d.size() >= 32 && rdLE32(d.data()) == 0x864AB572u) {
        uint32_t headerSize = rdLE32(d.data() + 8), flags = rdLE32(d.data() + 12);
        uint32_t count = rdLE32(d.data() + 16), charSize = rdLE32(d.data() + 20);
        psf->height = int(rdLE32(d.data() + 24));
        psf->width = int(rdLE32(d.data() + 28));
        psf->rowBytes = (psf->width + 7) / 8;
        if (count == 0 || count > 65536 || psf->height <= 0 || psf->height > 64 ||
            psf->width <= 0 || psf->width > 64 || charSize != uint32_t(psf->rowBytes * psf->height))
            return false;
        psf->count = int(count);
        size_t bytes = size_t(count) * charSize;
        if (headerSize > d.size() || d.size() - headerSize < bytes) return false;
        psf->bitmaps.assign(d.begin() + long(headerSize), d.begin() + long(headerSize + bytes));
        tableAt = headerSize + bytes;
        hasTable = (flags & 1) != 0;
        utf8 = true;
    } else {
        return false;
    }
    if (!hasTable) return true;
    size_t i = tableAt;
    for (int g = 0; g < psf->count && i < d.size(); ++g) {
        bool inSequence = false;
        while (i < d.size()) {
            uint32_t cp;
            if (!utf8) {
                if (i + 1 >= d.size()) return false;
                cp = rdLE16(d.data() + i);
                i += 2;
                if (cp == 0xFFFF) break;
                if (cp == 0xFFFE) {
                    inSequence = true;
                    continue;
                }
            } else {
                uint8_t b = d[i];
                if (b == 0xFF) {
                    ++i;
                    break;
                }
                if (b == 0xFE) {
                    ++i;
                    inSequence = true;
                    continue;
                }
                int extra = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
                cp = extra == 0 ? b : extra == 1 ? b & 0x1Fu : extra == 2 ? b & 0x0Fu : b & 0x07u;
                if (i + size_t(extra) >= d.size()) return false;
                for (int k = 1; k <= extra; ++k) cp = (cp << 6) | (d[i + size_t(k)] & 0x3Fu);
                i += size_t(extra) + 1;
            }
            if (!inSequence) psf->unicode.push_back({cp, g});
        }
    }
    return true;
}

static int psfIndex(const Psf& psf, uint32_t cp) {
    for (const auto& e : psf.unicode)
        if (e.first == cp) return e.second;
    return -1;
}

static bool psfPixel(const Psf& psf, int index, int x, int y) {
    size_t at =
        size_t(index) * size_t(psf.rowBytes * psf.height) + size_t(y * psf.rowBytes + x / 8);
    return (psf.bitmaps[at] >> (7 - (x & 7))) & 1;
}

// Baseline of a console font: the row below the bottom of "H".
static int psfDescent(const Psf& psf) {
    int index = psfIndex(psf, 'H');
    if (index < 0) return 1;
    for (int y = psf.height - 1; y >= 0; --y)
        for (int x = 0; x < psf.width; ++x)
            if (psfPixel(psf, index, x, y)) return std::max(1, psf.height - 1 - y);
    return 1;
}

// ---------------------------------------------------------------- procedural symbols

// A small vector rasteriser: shapes are unions of convex polygons and discs,
// sampled 8 x 8 times per pixel; a pixel is set when at least half its samples
// are inside. Pixel (i, j) covers [i, i+1) x [j, j+1), y grows downwards.
struct Pt {
    double x, y;
};
struct Shape {
    std::vector<std::vector<Pt>> polys; // convex, any winding
    std::vector<std::pair<Pt, double>> discs;
    std::vector<std::pair<Pt, std::pair<double, double>>> rings; // centre, outer, inner
};

static bool insideConvex(const std::vector<Pt>& p, double x, double y) {
    int sign = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        const Pt& a = p[i];
        const Pt& b = p[(i + 1) % p.size()];
        double c = (b.x - a.x) * (y - a.y) - (b.y - a.y) * (x - a.x);
        int s = c > 1e-12 ? 1 : c < -1e-12 ? -1 : 0;
        if (s == 0) continue;
        if (sign == 0)
            sign = s;
        else if (s != sign)
            return false;
    }
    return true;
}

static bool insideShape(const Shape& s, double x, double y) {
    for (const auto& p : s.polys)
        if (insideConvex(p, x, y)) return true;
    for (const auto& d : s.discs) {
        double dx = x - d.first.x, dy = y - d.first.y;
        if (dx * dx + dy * dy <= d.second * d.second) return true;
    }
    for (const auto& r : s.rings) {
        double dx = x - r.first.x, dy = y - r.first.y, q = dx * dx + dy * dy;
        if (q <= r.second.first * r.second.first && q >= r.second.second * r.second.second)
            return true;
    }
    return false;
}

struct Canvas {
    int w = 0, h = 0;
    std::vector<uint8_t> px;
    Canvas(int width, int height) : w(width), h(height), px(size_t(width * height), 0) {}
    void set(int x, int y) {
        if (x >= 0 && y >= 0 && x < w && y < h) px[size_t(y * w + x)] = 1;
    }
    void rect(int x0, int y0, int x1, int y1) { // inclusive-exclusive
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) set(x, y);
    }
    void draw(const Shape& s, double dx, double dy) {
        const int n = 8;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                int count = 0;
                for (int sy = 0; sy < n; ++sy)
                    for (int sx = 0; sx < n; ++sx)
                        if (insideShape(s, x + (sx + 0.5) / n - dx, y + (sy + 0.5) / n - dy))
                            ++count;
                if (count * 2 >= n * n) set(x, y);
            }
    }
};

static std::vector<Pt> segment(Pt a, Pt b, double width) {
    double dx = b.x - a.x, dy = b.y - a.y, len = std::sqrt(dx * dx + dy * dy);
    double nx = -dy / len * width / 2, ny = dx / len * width / 2;
    return {{a.x + nx, a.y + ny}, {b.x + nx, b.y + ny}, {b.x - nx, b.y - ny}, {a.x - nx, a.y - ny}};
}

// Turns a square canvas a quarter turn clockwise.
static Canvas rotateCW(const Canvas& c) {
    Canvas r(c.h, c.w);
    for (int y = 0; y < c.h; ++y)
        for (int x = 0; x < c.w; ++x)
            if (c.px[size_t(y * c.w + x)]) r.set(c.h - 1 - y, x);
    return r;
}

// Sizes a symbol takes from the text face it sits in.
struct SymbolMetrics {
    int height;  // cell height
    int descent; // rows below the baseline
    int capH;    // cap height in pixels
    int stem;    // vertical stem width of the letters
    int digitW;  // advance of a digit
    int box;     // side of the square that most symbols fill
};

static Canvas arrowRight(int s, int t) {
    Canvas c(s, s);
    Shape sh;
    double head = std::max(2.0, std::round(s * 0.45)), half = s * 0.42, mid = s / 2.0;
    sh.polys.push_back({{s - head, mid - half}, {double(s), mid}, {s - head, mid + half}});
    sh.polys.push_back({{0, mid - t / 2.0},
                        {s - head + 0.5, mid - t / 2.0},
                        {s - head + 0.5, mid + t / 2.0},
                        {0, mid + t / 2.0}});
    c.draw(sh, 0, 0);
    return c;
}

static Canvas triangleRight(int s) {
    Canvas c(s, s);
    Shape sh;
    double w = s * 0.87, x0 = (s - w) / 2;
    sh.polys.push_back({{x0, 0}, {x0 + w, s / 2.0}, {x0, double(s)}});
    c.draw(sh, 0, 0);
    return c;
}

// Draws symbol `code` for a face with metrics m. The ink of most symbols is a
// square of cap height standing on the baseline; line and block pieces fill
// the whole cell height so that they join across lines.
static Glyph drawSymbol(int code, const SymbolMetrics& m) {
    int t = std::max(1, m.stem);
    int s = m.box;
    if ((s - t) % 2) ++s; // strokes centred exactly on the box's middle
    int side = std::max(1, int(std::lround(s * 0.15)));
    int base = m.height - m.descent; // first row below the baseline
    Glyph g;
    g.code = code;
    auto place = [&](const Canvas& c, int left, int width, int top) {
        g.width = width;
        g.px.assign(size_t(width * m.height), 0);
        for (int y = 0; y < c.h; ++y)
            for (int x = 0; x < c.w; ++x) {
                int gx = left + x, gy = top + y;
                if (c.px[size_t(y * c.w + x)] && gx >= 0 && gx < width && gy >= 0 && gy < m.height)
                    g.px[size_t(gy * width + gx)] = 1;
            }
    };
    int boxTop = base - m.capH + (m.capH - s) / 2; // centred on the capitals
    auto placeBox = [&](const Canvas& c) { place(c, side, s + 2 * side, boxTop); };
    int margin = s >= 10 ? std::max(1, int(std::lround(s * 0.08))) : 0;
    switch (code) {
    case 0x80:   // hollow square (empty check box)
    case 0x9C: { // filled square
        Canvas c(s, s);
        c.rect(margin, margin, s - margin, s - margin);
        if (code == 0x80) {
            for (int y = margin + t; y < s - margin - t; ++y)
                for (int x = margin + t; x < s - margin - t; ++x) c.px[size_t(y * s + x)] = 0;
        }
        placeBox(c);
        break;
    }
    case 0x81: { // bullet
        int d = std::max(3, int(std::lround(s * 0.55)));
        if ((s - d) % 2) ++d; // same parity as the box: centred on whole pixels
        int sb = std::max(1, int(std::lround(d * 0.45)));
        Canvas c(d, d);
        Shape sh;
        sh.discs.push_back({{d / 2.0, d / 2.0}, d / 2.0});
        c.draw(sh, 0, 0);
        place(c, sb, d + 2 * sb, boxTop + (s - d) / 2);
        break;
    }
    case 0x82: { // hollow circle
        Canvas c(s, s);
        Shape sh;
        double r = s / 2.0 - margin * 0.5;
        sh.rings.push_back({{s / 2.0, s / 2.0}, {r, r - std::max(double(t), 1.25)}});
        c.draw(sh, 0, 0);
        placeBox(c);
        break;
    }
    case 0x83:
        placeBox(rotateCW(rotateCW(rotateCW(arrowRight(s, t)))));
        break; // up
    case 0x84:
        placeBox(rotateCW(arrowRight(s, t)));
        break; // down
    case 0x85:
        placeBox(rotateCW(rotateCW(arrowRight(s, t))));
        break; // left
    case 0x86:
        placeBox(arrowRight(s, t));
        break;   // right
    case 0x87: { // check mark
        Canvas c(s, s);
        Shape sh;
        double w = std::max(1.5, t * 1.25);
        Pt a{s * 0.06, s * 0.52}, b{s * 0.38, s * 0.86}, e{s * 0.96, s * 0.12};
        sh.polys.push_back(segment(a, b, w));
        sh.polys.push_back(segment(b, e, w));
        sh.discs.push_back({b, w / 2});
        c.draw(sh, 0, 0);
        placeBox(c);
        break;
    }
    case 0x88: { // cross mark
        Canvas c(s, s);
        Shape sh;
        double w = std::max(1.5, t * 1.25), lo = s * 0.12, hi = s * 0.88;
        sh.polys.push_back(segment({lo, lo}, {hi, hi}, w));
        sh.polys.push_back(segment({hi, lo}, {lo, hi}, w));
        c.draw(sh, 0, 0);
        placeBox(c);
        break;
    }
    case 0x90:
        placeBox(rotateCW(rotateCW(rotateCW(triangleRight(s)))));
        break; // up
    case 0x91:
        placeBox(rotateCW(triangleRight(s)));
        break; // down
    case 0x92:
        placeBox(rotateCW(rotateCW(triangleRight(s))));
        break; // left
    case 0x93:
        placeBox(triangleRight(s));
        break;   // right, play
    case 0x9D: { // pause
        Canvas c(s, s);
        int bar = std::max(1, int(std::lround(s * 0.28)));
        int gap = s - 2 * margin - 2 * bar;
        c.rect(margin, 0, margin + bar, s);
        c.rect(margin + bar + gap, 0, s - margin, s);
        placeBox(c);
        break;
    }
    default: { // lines and the full block fill the cell: digit width x cell height
        int w = m.digitW;
        Canvas c(w, m.height);
        int cx = (w - t) / 2, cy = (m.height - t) / 2;
        bool up = false, down = false, left = false, right = false;
        switch (code) {
        case 0x94:
            down = right = true;
            break; // top-left corner
        case 0x95:
            down = left = true;
            break; // top-right corner
        case 0x96:
            up = right = true;
            break; // bottom-left corner
        case 0x97:
            up = left = true;
            break; // bottom-right corner
        case 0x98:
            left = right = true;
            break; // horizontal
        case 0x99:
            up = down = true;
            break; // vertical
        case 0x9A:
            up = down = left = right = true;
            break; // crossing
        case 0x9B:
            c.rect(0, 0, w, m.height);
            break; // full block
        default:
            break;
        }
        if (up) c.rect(cx, 0, cx + t, cy + t);
        if (down) c.rect(cx, cy, cx + t, m.height);
        if (left) c.rect(0, cy, cx + t, cy + t);
        if (right) c.rect(cx, cy, w, cy + t);
        place(c, 0, w, 0);
        break;
    }
    }
    return g;
}

static int inkTopRow(const Glyph& g, int height) {
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.px[size_t(y * g.width + x)]) return y;
    return -1;
}

static int inkBottomRow(const Glyph& g, int height) {
    for (int y = height - 1; y >= 0; --y)
        for (int x = 0; x < g.width; ++x)
            if (g.px[size_t(y * g.width + x)]) return y;
    return -1;
}

static void inkColumns(const Glyph& g, int height, int* first, int* last) {
    *first = -1;
    *last = -1;
    for (int x = 0; x < g.width; ++x)
        for (int y = 0; y < height; ++y)
            if (g.px[size_t(y * g.width + x)]) {
                if (*first < 0) *first = x;
                *last = x;
            }
}

// ---------------------------------------------------------------- font builders

static bool buildSans(FT_Face face, int height, const std::vector<int>& codes, Font* font,
                      int* ppemOut) {
    RenderedSet set;
    SqueezeRule rule{height < 16 ? 2 : std::max(1, height / 12), height < 16 ? 0 : 1, height < 16,
                     0};
    int descent = 1;
    int ppem = fitPixelSize(face, height, codes, &rule, &set, &descent);
    if (!ppem) return false;
    *ppemOut = ppem;
    font->height = height;
    font->descent = descent;
    int above = height - descent;
    SymbolMetrics m{height, descent, inkHeightOf(set, 'H'), inkWidthOf(set, 'l'), 0, 0};
    m.box = m.capH;
    size_t next = 0;
    for (int c : codes) {
        if (isSymbolCode(c)) continue;
        Ink ink = set.inks[next++];
        if (ink.top > above) squeezeInk(&ink, ink.top - above, rule);
        if (ink.top > above) std::fprintf(stderr, "fontgen: %d px 0x%02X clipped\n", height, c);
        Glyph g = inkToGlyph(c, ink, height, descent);
        if (c != 0x20 && c != 0xA0) ensureSpacing(&g, height);
        font->glyphs.push_back(g);
    }
    equaliseDigits(font);
    for (const Glyph& g : font->glyphs)
        if (g.code == '0') m.digitW = g.width;
    for (int c : codes)
        if (isSymbolCode(c)) font->glyphs.push_back(drawSymbol(c, m));
    std::sort(font->glyphs.begin(), font->glyphs.end(),
              [](const Glyph& a, const Glyph& b) { return a.code < b.code; });
    return true;
}

// The 8-pixel font: the VGA 8 x 8 console design, cut to each letter's ink
// plus one column of space, so that small panels fit more text per line.
static bool buildVga8(const Psf& psf, Font* font) {
    font->height = psf.height;
    font->descent = psfDescent(psf);
    for (int c : codeSetA()) {
        int index = psfIndex(psf, uint32_t(c));
        if (index < 0) {
            std::fprintf(stderr, "fontgen: 8 px font lacks 0x%02X\n", c);
            return false;
        }
        Ink ink;
        ink.w = psf.width;
        ink.h = psf.height;
        ink.top = psf.height - font->descent;
        ink.px.assign(size_t(ink.w * ink.h), 0);
        for (int y = 0; y < ink.h; ++y)
            for (int x = 0; x < ink.w; ++x)
                ink.px[size_t(y * ink.w + x)] = psfPixel(psf, index, x, y);
        trimInk(&ink);
        if (ink.w == 0) {
            ink.advance = 4; // space
        } else {
            ink.advance = ink.w + 1;
            ink.left = 0;
        }
        font->glyphs.push_back(inkToGlyph(c, ink, font->height, font->descent));
    }
    equaliseDigits(font);
    return true;
}

// The console designs show the code page 437 triangles as arrows or lack
// them; the drawn triangles of the large fonts stand in.
static int drawnAlias(int code) {
    switch (code) {
    case 0x10:
        return 0x93;
    case 0x11:
        return 0x92;
    case 0x1E:
        return 0x90;
    case 0x1F:
        return 0x91;
    default:
        return 0;
    }
}

struct Cp437 {
    int code;
    uint32_t cp, alt;
};

// The 16-pixel font: codes 0 to 255, every glyph 8 x 16. Latin-1 from the
// VGA 16 console font; the control range shows the familiar code page 437
// symbols, 0x80 to 0x9F the symbols of the large fonts plus shades and
// half blocks. Symbols missing from the 16-row design come from the 8-row
// design doubled in height, or are drawn.
static bool buildVga16(const Psf& vga16, const Psf& vga8, Font* font) {
    font->height = 16;
    font->descent = psfDescent(vga16);
    static const Cp437 control[] = {
        {0x01, 0x263A, 0},
        {0x02, 0x263B, 0},
        {0x03, 0x2665, 0},
        {0x04, 0x2666, 0},
        {0x05, 0x2663, 0},
        {0x06, 0x2660, 0},
        {0x07, 0x2022, 0},
        {0x08, 0x25D8, 0},
        {0x09, 0x25CB, 0},
        {0x0A, 0x25D9, 0},
        {0x0B, 0x2642, 0},
        {0x0C, 0x2640, 0},
        {0x0D, 0x266A, 0},
        {0x0E, 0x266B, 0},
        {0x0F, 0x263C, 0},
        {0x10, 0x25BA, 0x25B6},
        {0x11, 0x25C4, 0x25C0},
        {0x12, 0x2195, 0},
        {0x13, 0x203C, 0},
        {0x14, 0x00B6, 0},
        {0x15, 0x00A7, 0},
        {0x16, 0x25AC, 0},
        {0x17, 0x21A8, 0},
        {0x18, 0x2191, 0},
        {0x19, 0x2193, 0},
        {0x1A, 0x2192, 0},
        {0x1B, 0x2190, 0},
        {0x1C, 0x221F, 0},
        {0x1D, 0x2194, 0},
        {0x1E, 0x25B2, 0},
        {0x1F, 0x25BC, 0},
        {0x7F, 0x2302, 0},
        // same meaning as in the large fonts where the console design has it
        {0x83, 0x2191, 0},
        {0x84, 0x2193, 0},
        {0x85, 0x2190, 0},
        {0x86, 0x2192, 0},
        {0x94, 0x250C, 0},
        {0x95, 0x2510, 0},
        {0x96, 0x2514, 0},
        {0x97, 0x2518, 0},
        {0x98, 0x2500, 0},
        {0x99, 0x2502, 0},
        {0x9A, 0x253C, 0},
        {0x9B, 0x2588, 0},
        {0x9C, 0x25A0, 0},
        {0x9E, 0x251C, 0},
        {0x9F, 0x2524, 0},
    };
    SymbolMetrics m{16, font->descent, 0, 1, 8, 7};
    {
        int index = psfIndex(vga16, 'H');
        for (int y = 0; y < 16 && index >= 0 && !m.capH; ++y)
            for (int x = 0; x < 8; ++x)
                if (psfPixel(vga16, index, x, y)) m.capH = 16 - font->descent - y;
    }
    for (int code = 0; code < 256; ++code) {
        Glyph g;
        g.code = code;
        g.width = 8;
        g.px.assign(8 * 16, 0);
        uint32_t cp = 0, alt = 0;
        bool listed = false;
        for (const Cp437& e : control)
            if (e.code == code) {
                cp = e.cp;
                alt = e.alt;
                listed = true;
            }
        if (!listed && ((code >= 0x20 && code <= 0x7E) || code >= 0xA0)) {
            cp = latin1ToUnicode(code);
            listed = true;
        }
        if (drawnAlias(code)) {
            listed = false;
            alt = 0;
        }
        int index = listed ? psfIndex(vga16, cp) : -1;
        if (index < 0 && alt) index = psfIndex(vga16, alt);
        if (index >= 0) {
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 8; ++x) g.px[size_t(y * 8 + x)] = psfPixel(vga16, index, x, y);
        } else if (listed && (psfIndex(vga8, cp) >= 0 || (alt && psfIndex(vga8, alt) >= 0))) {
            int small = psfIndex(vga8, cp);
            if (small < 0) small = psfIndex(vga8, alt);
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 8; ++x)
                    g.px[size_t(y * 8 + x)] = psfPixel(vga8, small, x, y / 2);
        } else if (isSymbolCode(code) || drawnAlias(code)) {
            g = drawSymbol(drawnAlias(code) ? drawnAlias(code) : code, m);
            g.code = code;
            // symbols keep the fixed pitch of this font, their ink centred
            Glyph fixed;
            fixed.code = code;
            fixed.width = 8;
            fixed.px.assign(8 * 16, 0);
            int first, last;
            inkColumns(g, 16, &first, &last);
            int off = (8 - (last - first + 1)) / 2 - first;
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < g.width; ++x)
                    if (x + off >= 0 && x + off < 8)
                        fixed.px[size_t(y * 8 + x + off)] = g.px[size_t(y * g.width + x)];
            g = fixed;
        } else if (code >= 0x89 && code <= 0x8F) {
            for (int y = 0; y < 16; ++y)
                for (int x = 0; x < 8; ++x) {
                    bool on = false;
                    switch (code) {
                    case 0x89:
                        on = (y % 2 == 0) ? (x % 4 == 2) : (x % 4 == 0);
                        break; // light shade
                    case 0x8A:
                        on = (x + y) % 2 == 0;
                        break; // medium shade
                    case 0x8B:
                        on = (y % 2 == 0) ? (x % 4 != 2) : (x % 4 != 0);
                        break; // dark shade
                    case 0x8C:
                        on = y < 8;
                        break; // upper half
                    case 0x8D:
                        on = y >= 8;
                        break; // lower half
                    case 0x8E:
                        on = x < 4;
                        break; // left half
                    case 0x8F:
                        on = x >= 4;
                        break; // right half
                    default:
                        break;
                    }
                    g.px[size_t(y * 8 + x)] = on;
                }
        } else if (code != 0 && code != 0x20 && code != 0xA0) {
            std::fprintf(stderr, "fontgen: 16 px font: nothing for 0x%02X\n", code);
        }
        font->glyphs.push_back(g);
    }
    return true;
}

// ---------------------------------------------------------------- ZPF writer

// Record fields beyond the ones the renderer reads carry the glyph's ink box
// (left bearing, rightmost ink column, top and bottom of the ink in rows above
// the baseline, negative below).
static std::vector<uint8_t> serialise(const Font& f, int firstCode, int lastCode) {
    size_t count = f.glyphs.size();
    size_t dataAt = ZPF_BODY_HEADER_SIZE + ZPF_RECORD_SIZE * count;
    std::vector<uint8_t> body(dataAt, 0);
    int widest = 0, widestInk = 0;
    bool fixed = true;
    for (size_t i = 0; i < count; ++i) {
        const Glyph& g = f.glyphs[i];
        int rowBytes = (g.width + 7) / 8;
        size_t offset = body.size();
        uint8_t* r = body.data() + ZPF_BODY_HEADER_SIZE + ZPF_RECORD_SIZE * i;
        int first, last;
        inkColumns(g, f.height, &first, &last);
        int top = inkTopRow(g, f.height), bottom = inkBottomRow(g, f.height);
        int baseRow = f.height - f.descent;
        wrLE16(r + ZPF_RECORD_CODE, uint16_t(g.code));
        wrLE16(r + ZPF_RECORD_DATA_SIZE, uint16_t(rowBytes * f.height));
        wrLE32(r + ZPF_RECORD_DATA_OFFSET, uint32_t(offset));
        wrLE16(r + ZPF_RECORD_ZERO, 0);
        wrLE16(r + ZPF_RECORD_WIDTH, uint16_t(g.width));
        wrLE16(r + ZPF_RECORD_INK_LEFT, uint16_t(first < 0 ? 0 : std::min(first, 8)));
        wrLE16(r + ZPF_RECORD_INK_RIGHT, uint16_t(last < 0 ? 0 : last));
        wrLE16(r + ZPF_RECORD_INK_TOP, uint16_t(int16_t(top < 0 ? 0 : baseRow - top)));
        wrLE16(r + ZPF_RECORD_INK_BOTTOM, uint16_t(int16_t(bottom < 0 ? 0 : baseRow - 1 - bottom)));
        widest = std::max(widest, g.width);
        widestInk = std::max(widestInk, last < 0 ? 0 : last);
        if (g.width != f.glyphs[0].width) fixed = false;
        for (int y = f.height - 1; y >= 0; --y) // bottom row first
            for (int b = 0; b < rowBytes; ++b) {
                uint8_t v = 0;
                for (int k = 0; k < 8; ++k) {
                    int x = b * 8 + k;
                    if (x < g.width && g.px[size_t(y * g.width + x)]) v |= uint8_t(1 << k);
                }
                body.push_back(v);
            }
    }
    uint8_t* h = body.data();
    wrLE16(h + ZPF_BODY_TAG, zpfBodyTag);
    wrLE16(h + ZPF_BODY_COUNT, uint16_t(count));
    wrLE16(h + ZPF_BODY_FIRST_CODE, uint16_t(firstCode));
    wrLE16(h + ZPF_BODY_LAST_CODE, uint16_t(lastCode));
    wrLE16(h + ZPF_BODY_ZERO, 0);
    wrLE16(h + ZPF_BODY_CELL_HEIGHT, uint16_t(f.height));
    wrLE16(h + ZPF_BODY_DESCENT, uint16_t(f.descent));
    wrLE16(h + ZPF_BODY_WIDEST, uint16_t(widest));
    wrLE16(h + ZPF_BODY_FIXED, fixed ? 1 : 0);
    wrLE16(h + ZPF_BODY_WIDEST_INK, uint16_t(widestInk));
    wrLE16(h + ZPF_BODY_RESERVED, 0);
    wrLE16(h + ZPF_BODY_MINUS_DESCENT, uint16_t(int16_t(-f.descent)));
    std::vector<uint8_t> file(ZPF_FILE_HEADER_SIZE, 0);
    file[ZPF_FILE_MAGIC] = zpfMagic[0];
    file[ZPF_FILE_MAGIC + 1] = zpfMagic[1];
    file[ZPF_FILE_VERSION] = 1;
    file[ZPF_FILE_VERSION + 1] = 1;
    wrLE32(file.data() + ZPF_FILE_BODY_LENGTH, uint32_t(body.size()));
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

static bool writeFile(const std::string& path, const std::vector<uint8_t>& data) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

// ---------------------------------------------------------------- sample sheets

// Reads a written file back (so the sheet shows the file, not our memory).
static bool parseZpf(const std::vector<uint8_t>& file, Font* font) {
    if (file.size() < ZPF_FILE_HEADER_SIZE + ZPF_BODY_HEADER_SIZE ||
        file[ZPF_FILE_MAGIC] != zpfMagic[0] || file[ZPF_FILE_MAGIC + 1] != zpfMagic[1])
        return false;
    const uint8_t* b = file.data() + ZPF_FILE_HEADER_SIZE;
    size_t len = rdLE32(file.data() + ZPF_FILE_BODY_LENGTH);
    if (len != file.size() - ZPF_FILE_HEADER_SIZE) return false;
    size_t count = rdLE16(b + ZPF_BODY_COUNT);
    font->height = rdLE16(b + ZPF_BODY_CELL_HEIGHT);
    font->descent = rdLE16(b + ZPF_BODY_DESCENT);
    if (ZPF_BODY_HEADER_SIZE + ZPF_RECORD_SIZE * count > len) return false;
    for (size_t i = 0; i < count; ++i) {
        const uint8_t* r = b + ZPF_BODY_HEADER_SIZE + ZPF_RECORD_SIZE * i;
        Glyph g;
        g.code = rdLE16(r + ZPF_RECORD_CODE);
        g.width = rdLE16(r + ZPF_RECORD_WIDTH);
        size_t size = rdLE16(r + ZPF_RECORD_DATA_SIZE), at = rdLE32(r + ZPF_RECORD_DATA_OFFSET);
        int rowBytes = (g.width + 7) / 8;
        if (size != size_t(rowBytes * font->height) || at > len || len - at < size) return false;
        g.px.assign(size_t(g.width * font->height), 0);
        for (int y = 0; y < font->height; ++y)
            for (int x = 0; x < g.width; ++x) {
                uint8_t v = b[at + size_t((font->height - 1 - y) * rowBytes + x / 8)];
                g.px[size_t(y * g.width + x)] = (v >> (x & 7)) & 1;
            }
        font->glyphs.push_back(g);
    }
    return true;
}

struct Sheet {
    int w, h;
    std::vector<uint8_t> rgb;
    void fill(int x0, int y0, int x1, int y1, uint32_t c) {
        for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(w, x1); ++x) {
                uint8_t* p = &rgb[size_t((y * w + x) * 3)];
                p[0] = uint8_t(c >> 16);
                p[1] = uint8_t(c >> 8);
                p[2] = uint8_t(c);
            }
    }
};

static const Glyph* findGlyph(const Font& f, int code) {
    for (const Glyph& g : f.glyphs)
        if (g.code == code) return &g;
    return nullptr;
}

static void drawGlyph(Sheet* s, const Font& f, const Glyph& g, int x0, int y0, int scale,
                      bool boxes) {
    if (boxes) {
        s->fill(x0, y0, x0 + g.width * scale, y0 + f.height * scale, 0xFFF4C0);
        int base = f.height - f.descent;
        s->fill(x0, y0 + base * scale, x0 + g.width * scale, y0 + (base + 1) * scale, 0xD8E8FF);
    }
    for (int y = 0; y < f.height; ++y)
        for (int x = 0; x < g.width; ++x)
            if (g.px[size_t(y * g.width + x)])
                s->fill(x0 + x * scale, y0 + y * scale, x0 + (x + 1) * scale, y0 + (y + 1) * scale,
                        0x000000);
}

static int textWidth(const Font& f, const char* text) {
    int w = 0;
    for (const unsigned char* p = (const unsigned char*)text; *p; ++p)
        if (const Glyph* g = findGlyph(f, *p)) w += g->width;
    return w;
}

static bool writeSheet(const std::string& path, const Font& f) {
    int widest = 1;
    for (const Glyph& g : f.glyphs) widest = std::max(widest, g.width);
    int scale = std::max(1, std::min(4, 40 / f.height));
    int cellW = (widest + 2) * scale, cellH = (f.height + 2) * scale;
    int rows = (int(f.glyphs.size()) + 15) / 16;
    const char* lines[] = {"The quick brown fox jumps over the lazy dog.",
                           "0123456789 +-*/=%() 23.5\xB0"
                           "C  \xC4\xD6\xDC \xE4\xF6\xFC\xDF \xE9\xE8\xF1",
                           "\x81 Start  \x86 next  \x87 ok \x88 no  \x93 play  \x9D pause"};
    int textW = 0;
    for (const char* l : lines) textW = std::max(textW, textWidth(f, l) * scale);
    Sheet s;
    s.w = std::max(16 * cellW, textW) + 8;
    s.h = rows * cellH + 3 * (f.height + 4) * scale + 8;
    s.rgb.assign(size_t(s.w * s.h * 3), 0xFF);
    for (size_t i = 0; i < f.glyphs.size(); ++i)
        drawGlyph(&s, f, f.glyphs[i], 4 + int(i % 16) * cellW + scale,
                  4 + int(i / 16) * cellH + scale, scale, true);
    int y = 4 + rows * cellH + 2 * scale;
    for (const char* l : lines) {
        int x = 4;
        for (const unsigned char* p = (const unsigned char*)l; *p; ++p)
            if (const Glyph* g = findGlyph(f, *p)) {
                drawGlyph(&s, f, *g, x, y, scale, false);
                x += g->width * scale;
            }
        y += (f.height + 4) * scale;
    }
    png_image img;
    std::memset(&img, 0, sizeof img);
    img.version = PNG_IMAGE_VERSION;
    img.width = png_uint_32(s.w);
    img.height = png_uint_32(s.h);
    img.format = PNG_FORMAT_RGB;
    return png_image_write_to_file(&img, path.c_str(), 0, s.rgb.data(), 0, nullptr) != 0;
}

// ---------------------------------------------------------------- main

int main(int argc, char** argv) {
    if (argc != 2 && !(argc == 4 && std::strcmp(argv[2], "--sheet") == 0)) {
        std::fprintf(stderr, "usage: fontgen OUTDIR [--sheet SHEETDIR]\n");
        return 2;
    }
    std::string outDir = argv[1];
    const char* sheetDir = argc == 4 ? argv[3] : nullptr;
    FT_Library library;
    FT_Face face;
    if (FT_Init_FreeType(&library) || FT_New_Face(library, kSansPath, 0, &face)) {
        std::fprintf(stderr, "fontgen: cannot open %s\n", kSansPath);
        return 1;
    }
    Psf vga8, vga16;
    if (!loadPsf(kVga8Path, &vga8) || !loadPsf(kVga16Path, &vga16) || vga16.height != 16 ||
        vga16.width != 8 || vga8.height != 8 || vga8.width != 8) {
        std::fprintf(stderr, "fontgen: cannot read the console fonts\n");
        return 1;
    }
    const int heights[] = {8, 10, 14, 16, 20, 22, 24, 26, 32, 40, 48, 60};
    int status = 0;
    for (int height : heights) {
        Font font;
        int first = 32, ppem = 0;
        bool ok;
        if (height == 8) {
            ok = buildVga8(vga8, &font);
        } else if (height == 16) {
            ok = buildVga16(vga16, vga8, &font);
            first = 0;
        } else {
            ok = buildSans(face, height, height < 16 ? codeSetA() : codeSetB(), &font, &ppem);
        }
        std::string name = "font" + std::to_string(height);
        std::vector<uint8_t> file = ok ? serialise(font, first, 255) : std::vector<uint8_t>();
        if (!ok || !writeFile(outDir + "/" + name + ".zpf", file)) {
            std::fprintf(stderr, "fontgen: %s failed\n", name.c_str());
            status = 1;
            continue;
        }
        std::printf("%s.zpf: %zu glyphs, descent %d, %s, %zu bytes\n", name.c_str(),
                    font.glyphs.size(), font.descent,
                    ppem ? ("DejaVu Sans " + std::to_string(ppem) + " px").c_str() : "console font",
                    file.size());
        if (sheetDir) {
            Font back;
            if (!parseZpf(file, &back) ||
                !writeSheet(std::string(sheetDir) + "/" + name + ".png", back)) {
                std::fprintf(stderr, "fontgen: sheet for %s failed\n", name.c_str());
                status = 1;
            }
        }
    }
    FT_Done_Face(face);
    FT_Done_FreeType(library);
    return status;
}
