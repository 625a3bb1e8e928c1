// picgen: draws the pictures of the modules' start screens and writes them as
// BMP files: the logo (140 x 60, 8 bits) and two demo pictures per model in
// the sizes and formats the screens draw. Everything is procedural, so the
// files are reproducible from this source alone.
//
// Usage: picgen OUTPUT-FOLDER [PREVIEW-FOLDER]
//   The preview folder (needs libpng) receives each picture as a PNG, shown
//   the way the RGB565 panel shows it.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#ifdef PICGEN_HAVE_PNG
#include <png.h>
#endif

namespace {

// ---------------------------------------------------------------- basics

struct Rgb {
    float r = 0, g = 0, b = 0;
};

Rgb operator+(Rgb a, Rgb b) {
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
Rgb operator-(Rgb a, Rgb b) {
    return {a.r - b.r, a.g - b.g, a.b - b.b};
}
Rgb operator*(Rgb a, float k) {
    return {a.r * k, a.g * k, a.b * k};
}
Rgb mix(Rgb a, Rgb b, float t) {
    return a + (b - a) * t;
}
float clamp01(float v) {
    return v < 0 ? 0 : (v > 1 ? 1 : v);
}
float smoothstep(float e0, float e1, float x) {
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}
Rgb hex(uint32_t v) {
    return {float((v >> 16) & 255) / 255.f, float((v >> 8) & 255) / 255.f, float(v & 255) / 255.f};
}
Rgb hue(float h) { // h in [0,1): fully saturated colour wheel
    h = h - std::floor(h);
    float r = clamp01(std::fabs(h * 6 - 3) - 1);
    float g = clamp01(2 - std::fabs(h * 6 - 2));
    float b = clamp01(2 - std::fabs(h * 6 - 4));
    return {r, g, b};
}

struct Image {
    int w = 0, h = 0;
    std::vector<Rgb> px;
    std::vector<uint8_t> plain; // 1 = quantise without dithering (to show banding)
    Image(int width, int height)
        : w(width), h(height), px(size_t(width) * height), plain(px.size()) {}
    Rgb& at(int x, int y) { return px[size_t(y) * w + x]; }
    void blend(int x, int y, Rgb c, float a) {
        if (x < 0 || y < 0 || x >= w || y >= h || a <= 0) return;
        at(x, y) = mix(at(x, y), c, clamp01(a));
    }
    void fill(int x0, int y0, int x1, int y1, Rgb c) { // inclusive-exclusive
        for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(w, x1); ++x) at(x, y) = c;
    }
    void markPlain(int x0, int y0, int x1, int y1) {
        for (int y = std::max(0, y0); y < std::min(h, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(w, x1); ++x) plain[size_t(y) * w + x] = 1;
    }
};

// Value noise and its fractal sum, for clouds, ridges and ripples.
float hash2(int x, int y, int seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + uint32_t(seed) * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    h ^= h >> 16;
    return float(h & 0xFFFFFF) / float(0xFFFFFF);
}
float noise2(float x, float y, int seed) {
    int xi = int(std::floor(x)), yi = int(std::floor(y));
    float fx = x - float(xi), fy = y - float(yi);
    float sx = fx * fx * (3 - 2 * fx), sy = fy * fy * (3 - 2 * fy);
    float a = hash2(xi, yi, seed), b = hash2(xi + 1, yi, seed);
    float c = hash2(xi, yi + 1, seed), d = hash2(xi + 1, yi + 1, seed);
    return (a + (b - a) * sx) + ((c + (d - c) * sx) - (a + (b - a) * sx)) * sy;
}
float fbm(float x, float y, int seed, int octaves) {
    float sum = 0, amp = 0.5f, norm = 0;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * noise2(x, y, seed + i * 17);
        norm += amp;
        x *= 2.03f;
        y *= 2.03f;
        amp *= 0.5f;
    }
    return sum / norm;
}

// ---------------------------------------------------------------- 5 x 7 font

struct Glyph5x7 {
    char c;
    uint8_t rows[7];
};
const Glyph5x7 font5x7[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}},
    {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}},
    {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}},
    {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}},
    {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}},
    {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}},
    {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}},
    {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}},
    {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}},
    {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}},
    {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}},
    {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}},
    {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}},
    {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}},
    {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}},
    {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}},
    {':', {0x00, 0x0C, 0x0C, 0x00, 0x0C, 0x0C, 0x00}},
    {'x', {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11}},
    {'/', {0x01, 0x01, 0x02, 0x04, 0x08, 0x10, 0x10}},
    {' ', {0, 0, 0, 0, 0, 0, 0}},
};

const uint8_t* glyphRows(char c) {
    for (const Glyph5x7& g : font5x7)
        if (g.c == c) return g.rows;
    return font5x7[sizeof font5x7 / sizeof font5x7[0] - 1].rows;
}
int textWidth(const std::string& s, int scale) {
    return s.empty() ? 0 : int(s.size()) * 6 * scale - scale;
}
void drawText(Image& img, int x, int y, const std::string& s, int scale, Rgb c) {
    for (char ch : s) {
        const uint8_t* rows = glyphRows(ch);
        for (int r = 0; r < 7; ++r)
            for (int col = 0; col < 5; ++col)
                if (rows[r] & (0x10 >> col))
                    img.fill(x + col * scale, y + r * scale, x + (col + 1) * scale,
                             y + (r + 1) * scale, c);
        x += 6 * scale;
    }
}
void drawTextCentred(Image& img, int cx, int y, const std::string& s, int scale, Rgb c) {
    drawText(img, cx - textWidth(s, scale) / 2, y, s, scale, c);
}

// ---------------------------------------------------------------- strokes

struct Segment {
    float x0, y0, x1, y1, radius;
};
float segmentDistance(const Segment& s, float px, float py) {
    float dx = s.x1 - s.x0, dy = s.y1 - s.y0;
    float len2 = dx * dx + dy * dy;
    float t = len2 > 0 ? clamp01(((px - s.x0) * dx + (py - s.y0) * dy) / len2) : 0;
    float ex = s.x0 + t * dx - px, ey = s.y0 + t * dy - py;
    return std::sqrt(ex * ex + ey * ey) - s.radius;
}
// Coverage of pixel (x, y) by the strokes, 4 x 4 samples.
float coverage(const std::vector<Segment>& segs, int x, int y) {
    int inside = 0;
    for (int sy = 0; sy < 4; ++sy)
        for (int sx = 0; sx < 4; ++sx) {
            float px = float(x) + (float(sx) + 0.5f) / 4, py = float(y) + (float(sy) + 0.5f) / 4;
            for (const Segment& s : segs)
                if (segmentDistance(s, px, py) <= 0) {
                    ++inside;
                    break;
                }
        }
    return float(inside) / 16.f;
}
void strokeCircle(std::vector<Segment>& out, float cx, float cy, float rx, float ry, float a0,
                  float a1, float radius) {
    const int steps = 40;
    for (int i = 0; i < steps; ++i) {
        float t0 = a0 + (a1 - a0) * float(i) / steps, t1 = a0 + (a1 - a0) * float(i + 1) / steps;
        out.push_back({cx + rx * std::cos(t0), cy - ry * std::sin(t0), cx + rx * std::cos(t1),
                       cy - ry * std::sin(t1), radius});
    }
}
void drawStrokes(Image& img, const std::vector<Segment>& segs, Rgb c) {
    float x0 = 1e9f, y0 = 1e9f, x1 = -1e9f, y1 = -1e9f;
    for (const Segment& s : segs) {
        x0 = std::min({x0, s.x0 - s.radius, s.x1 - s.radius});
        x1 = std::max({x1, s.x0 + s.radius, s.x1 + s.radius});
        y0 = std::min({y0, s.y0 - s.radius, s.y1 - s.radius});
        y1 = std::max({y1, s.y0 + s.radius, s.y1 + s.radius});
    }
    for (int y = std::max(0, int(y0) - 1); y <= std::min(img.h - 1, int(y1) + 1); ++y)
        for (int x = std::max(0, int(x0) - 1); x <= std::min(img.w - 1, int(x1) + 1); ++x)
            img.blend(x, y, c, coverage(segs, x, y));
}
void ring(Image& img, float cx, float cy, float r, float width, Rgb c) {
    std::vector<Segment> segs;
    strokeCircle(segs, cx, cy, r, r, 0, 6.2832f, width / 2);
    drawStrokes(img, segs, c);
}

// The word "Vantorix" in stroked letterforms: cap height `unit` pixels, the
// baseline at `baseline`, starting at `left`. Returns the strokes of each
// letter so the caller can colour them.
std::vector<std::vector<Segment>> wordmark(float left, float baseline, float unit, float& width) {
    const float t = 0.17f * unit / 2; // stroke radius
    const float xh = 0.70f;           // x-height in units
    std::vector<std::vector<Segment>> letters;
    float x = left;
    auto P = [&](float u, float v) {
        return std::pair<float, float>{x + u * unit, baseline - v * unit};
    };
    auto line = [&](std::vector<Segment>& g, float u0, float v0, float u1, float v1) {
        auto a = P(u0, v0), b = P(u1, v1);
        g.push_back({a.first, a.second, b.first, b.second, t});
    };
    auto arc = [&](std::vector<Segment>& g, float cu, float cv, float ru, float rv, float a0,
                   float a1) {
        auto c = P(cu, cv);
        strokeCircle(g, c.first, c.second, ru * unit, rv * unit, a0, a1, t);
    };
    const float pi = 3.14159265f, lo = 0.085f, hi = xh - 0.085f;
    std::vector<Segment> g;
    // V
    line(g, 0.06f, 0.95f, 0.40f, 0.06f);
    line(g, 0.40f, 0.06f, 0.74f, 0.95f);
    letters.push_back(g), g.clear(), x += 0.86f * unit;
    // a (single storey)
    arc(g, 0.29f, 0.33f, 0.24f, 0.25f, 0, 2 * pi);
    line(g, 0.53f, lo, 0.53f, hi);
    letters.push_back(g), g.clear(), x += 0.72f * unit;
    // n
    line(g, 0.06f, lo, 0.06f, hi);
    arc(g, 0.29f, 0.38f, 0.23f, 0.23f, pi, 0);
    line(g, 0.52f, 0.38f, 0.52f, lo);
    letters.push_back(g), g.clear(), x += 0.71f * unit;
    // t
    line(g, 0.16f, 0.93f, 0.16f, 0.22f);
    arc(g, 0.34f, 0.22f, 0.18f, 0.14f, pi, 1.62f * pi);
    line(g, 0.02f, hi, 0.40f, hi);
    letters.push_back(g), g.clear(), x += 0.55f * unit;
    // o
    arc(g, 0.29f, 0.33f, 0.24f, 0.25f, 0, 2 * pi);
    letters.push_back(g), g.clear(), x += 0.70f * unit;
    // r
    line(g, 0.06f, lo, 0.06f, hi);
    arc(g, 0.30f, 0.36f, 0.24f, 0.25f, pi, 0.30f * pi);
    letters.push_back(g), g.clear(), x += 0.58f * unit;
    // i
    line(g, 0.06f, lo, 0.06f, hi);
    {
        auto d = P(0.06f, 0.93f);
        g.push_back({d.first, d.second, d.first, d.second, t * 1.15f});
    }
    letters.push_back(g), g.clear(), x += 0.30f * unit;
    // x
    line(g, 0.04f, hi, 0.54f, lo);
    line(g, 0.04f, lo, 0.54f, hi);
    letters.push_back(g), g.clear(), x += 0.58f * unit;
    width = x - left;
    return letters;
}

// ---------------------------------------------------------------- palettes

struct Box {
    std::vector<int> colours; // indices into the histogram list
};

// Median cut over the image's colours (weighted by their counts) with a few
// k-means rounds; `fixed` colours are kept exactly as the first entries.
std::vector<Rgb> buildPalette(const Image& img, int size, const std::vector<Rgb>& fixed) {
    std::vector<Rgb> palette = fixed;
    int wanted = size - int(fixed.size());
    if (wanted <= 0) return palette;
    // histogram at 6 bits per channel
    std::vector<uint32_t> hist(1 << 18, 0);
    for (const Rgb& c : img.px) {
        int r = int(clamp01(c.r) * 63 + 0.5f), g = int(clamp01(c.g) * 63 + 0.5f),
            b = int(clamp01(c.b) * 63 + 0.5f);
        ++hist[size_t((r << 12) | (g << 6) | b)];
    }
    struct Entry {
        float c[3];
        float n;
    };
    std::vector<Entry> entries;
    for (uint32_t i = 0; i < hist.size(); ++i)
        if (hist[i])
            entries.push_back(
                {{float(i >> 12) / 63.f, float((i >> 6) & 63) / 63.f, float(i & 63) / 63.f},
                 float(hist[i])});
    std::vector<std::vector<int>> boxes(1);
    for (int i = 0; i < int(entries.size()); ++i) boxes[0].push_back(i);
    auto boxError = [&](const std::vector<int>& box, int& axis) {
        double sum[3] = {}, sq[3] = {}, n = 0;
        for (int i : box)
            for (int k = 0; k < 3; ++k) {
                sum[k] += entries[i].c[k] * entries[i].n;
                sq[k] += double(entries[i].c[k]) * entries[i].c[k] * entries[i].n;
            }
        for (int i : box) n += entries[i].n;
        double best = -1, total = 0;
        const double weight[3] = {1.0, 1.2, 0.8};
        for (int k = 0; k < 3; ++k) {
            double var = (sq[k] - sum[k] * sum[k] / n) * weight[k];
            total += var;
            if (var > best) best = var, axis = k;
        }
        return box.size() < 2 ? -1.0 : total;
    };
    while (int(boxes.size()) < wanted) {
        int pick = -1, axis = 0;
        double worst = 0;
        for (int i = 0; i < int(boxes.size()); ++i) {
            int a = 0;
            double e = boxError(boxes[i], a);
            if (e > worst) worst = e, pick = i, axis = a;
        }
        if (pick < 0) break;
        std::vector<int>& box = boxes[size_t(pick)];
        std::sort(box.begin(), box.end(),
                  [&](int a, int b) { return entries[a].c[axis] < entries[b].c[axis]; });
        double total = 0, half = 0;
        for (int i : box) total += entries[i].n;
        size_t cut = 0;
        while (cut < box.size() - 1 && (half += entries[box[cut]].n) < total / 2) ++cut;
        if (cut == 0) cut = 1;
        std::vector<int> upper(box.begin() + long(cut), box.end());
        box.resize(cut);
        boxes.push_back(upper);
    }
    std::vector<Rgb> means;
    for (const auto& box : boxes) {
        double s[3] = {}, n = 0;
        for (int i : box) {
            for (int k = 0; k < 3; ++k) s[k] += entries[i].c[k] * entries[i].n;
            n += entries[i].n;
        }
        means.push_back({float(s[0] / n), float(s[1] / n), float(s[2] / n)});
    }
    // k-means refinement over the histogram entries
    for (int round = 0; round < 4; ++round) {
        std::vector<double> acc(means.size() * 4, 0);
        for (const Entry& e : entries) {
            float best = 1e9f;
            size_t bi = 0;
            for (size_t m = 0; m < means.size(); ++m) {
                float dr = e.c[0] - means[m].r, dg = e.c[1] - means[m].g, db = e.c[2] - means[m].b;
                float d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
                if (d < best) best = d, bi = m;
            }
            for (int k = 0; k < 3; ++k) acc[bi * 4 + size_t(k)] += e.c[k] * e.n;
            acc[bi * 4 + 3] += e.n;
        }
        for (size_t m = 0; m < means.size(); ++m)
            if (acc[m * 4 + 3] > 0)
                means[m] = {float(acc[m * 4] / acc[m * 4 + 3]),
                            float(acc[m * 4 + 1] / acc[m * 4 + 3]),
                            float(acc[m * 4 + 2] / acc[m * 4 + 3])};
    }
    palette.insert(palette.end(), means.begin(), means.end());
    return palette;
}

// Palette entries as stored (8 bits per channel).
std::vector<std::array<uint8_t, 3>> paletteBytes(const std::vector<Rgb>& palette) {
    std::vector<std::array<uint8_t, 3>> out;
    for (const Rgb& c : palette)
        out.push_back({uint8_t(clamp01(c.r) * 255 + 0.5f), uint8_t(clamp01(c.g) * 255 + 0.5f),
                       uint8_t(clamp01(c.b) * 255 + 0.5f)});
    return out;
}

// Floyd-Steinberg onto a palette, serpentine. Pixels marked plain take their
// nearest entry and pass no error on, so bands show what dithering hides.
std::vector<uint8_t> ditherToPalette(const Image& img,
                                     const std::vector<std::array<uint8_t, 3>>& pal) {
    std::vector<Rgb> work = img.px;
    std::vector<uint8_t> out(img.px.size());
    std::vector<Rgb> entries;
    for (const auto& p : pal)
        entries.push_back({float(p[0]) / 255, float(p[1]) / 255, float(p[2]) / 255});
    auto nearest = [&](Rgb c) {
        float best = 1e9f;
        int bi = 0;
        for (int i = 0; i < int(entries.size()); ++i) {
            float dr = c.r - entries[size_t(i)].r, dg = c.g - entries[size_t(i)].g,
                  db = c.b - entries[size_t(i)].b;
            float d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
            if (d < best) best = d, bi = i;
        }
        return bi;
    };
    for (int y = 0; y < img.h; ++y) {
        bool rtl = y & 1;
        for (int i = 0; i < img.w; ++i) {
            int x = rtl ? img.w - 1 - i : i;
            size_t at = size_t(y) * img.w + x;
            Rgb c = work[at];
            c = {clamp01(c.r), clamp01(c.g), clamp01(c.b)};
            int idx = nearest(img.plain[at] ? img.px[at] : c);
            out[at] = uint8_t(idx);
            if (img.plain[at]) continue;
            Rgb err = c - entries[size_t(idx)];
            int dir = rtl ? -1 : 1;
            auto spread = [&](int dx, int dy, float k) {
                int nx = x + dx * dir, ny = y + dy;
                if (nx < 0 || nx >= img.w || ny >= img.h) return;
                size_t n = size_t(ny) * img.w + nx;
                if (!img.plain[n]) work[n] = work[n] + err * k;
            };
            spread(1, 0, 7 / 16.f);
            spread(-1, 1, 3 / 16.f);
            spread(0, 1, 5 / 16.f);
            spread(1, 1, 1 / 16.f);
        }
    }
    return out;
}

// RGB565 with Floyd-Steinberg; plain pixels are cut as the panel cuts 8-bit
// components (the top bits), which shows the 32/64-step bands.
std::vector<uint16_t> ditherTo565(const Image& img) {
    std::vector<Rgb> work = img.px;
    std::vector<uint16_t> out(img.px.size());
    for (int y = 0; y < img.h; ++y) {
        bool rtl = y & 1;
        for (int i = 0; i < img.w; ++i) {
            int x = rtl ? img.w - 1 - i : i;
            size_t at = size_t(y) * img.w + x;
            if (img.plain[at]) {
                Rgb c = img.px[at];
                int r = int(clamp01(c.r) * 255 + 0.5f), g = int(clamp01(c.g) * 255 + 0.5f),
                    b = int(clamp01(c.b) * 255 + 0.5f);
                out[at] = uint16_t(((r & 0xF8) << 8) | ((g & 0xFC) << 3) | (b >> 3));
                continue;
            }
            Rgb c = work[at];
            int r5 = int(std::lround(clamp01(c.r) * 31)), g6 = int(std::lround(clamp01(c.g) * 63)),
                b5 = int(std::lround(clamp01(c.b) * 31));
            out[at] = uint16_t((r5 << 11) | (g6 << 5) | b5);
            Rgb err = c - Rgb{float(r5) / 31, float(g6) / 63, float(b5) / 31};
            int dir = rtl ? -1 : 1;
            auto spread = [&](int dx, int dy, float k) {
                int nx = x + dx * dir, ny = y + dy;
                if (nx < 0 || nx >= img.w || ny >= img.h) return;
                size_t n = size_t(ny) * img.w + nx;
                if (!img.plain[n]) work[n] = work[n] + err * k;
            };
            spread(1, 0, 7 / 16.f);
            spread(-1, 1, 3 / 16.f);
            spread(0, 1, 5 / 16.f);
            spread(1, 1, 1 / 16.f);
        }
    }
    return out;
}

// ---------------------------------------------------------------- BMP files

void put16(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    f[at] = uint8_t(v);
    f[at + 1] = uint8_t(v >> 8);
}
void put32(std::vector<uint8_t>& f, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// File and information header; `infoSize` 40 or 52 (masks inside the header).
std::vector<uint8_t> bmpHeaders(int w, int h, int bits, uint32_t compression, uint32_t infoSize,
                                uint32_t extra, uint32_t colours) {
    uint32_t rowBytes = uint32_t((w * bits + 31) / 32 * 4);
    uint32_t offset = 14 + infoSize + extra;
    uint32_t size = offset + rowBytes * uint32_t(h);
    std::vector<uint8_t> f(size, 0);
    f[0] = 'B', f[1] = 'M';
    put32(f, 2, size);
    put32(f, 10, offset);
    put32(f, 14, infoSize);
    put32(f, 18, uint32_t(w));
    put32(f, 22, uint32_t(h));
    put16(f, 26, 1);
    put16(f, 28, uint32_t(bits));
    put32(f, 30, compression);
    put32(f, 34, rowBytes * uint32_t(h));
    put32(f, 38, 2835);
    put32(f, 42, 2835);
    put32(f, 46, colours);
    return f;
}

std::vector<uint8_t> bmpIndexed(int w, int h, int bits,
                                const std::vector<std::array<uint8_t, 3>>& pal,
                                const std::vector<uint8_t>& index) {
    uint32_t n = uint32_t(pal.size());
    std::vector<uint8_t> f = bmpHeaders(w, h, bits, 0, 40, 4 * n, n);
    for (uint32_t i = 0; i < n; ++i) {
        f[54 + 4 * i] = pal[i][2];
        f[54 + 4 * i + 1] = pal[i][1];
        f[54 + 4 * i + 2] = pal[i][0];
    }
    uint32_t rowBytes = uint32_t((w * bits + 31) / 32 * 4);
    size_t offset = 54 + 4 * n;
    for (int y = 0; y < h; ++y) {
        size_t row = offset + size_t(h - 1 - y) * rowBytes; // bottom-up
        for (int x = 0; x < w; ++x) {
            uint8_t v = index[size_t(y) * w + x];
            if (bits == 8)
                f[row + size_t(x)] = v;
            else
                f[row + size_t(x / 2)] |= uint8_t((x & 1) ? v : v << 4);
        }
    }
    return f;
}

std::vector<uint8_t> bmp565(int w, int h, const std::vector<uint16_t>& px, uint32_t infoSize) {
    std::vector<uint8_t> f = bmpHeaders(w, h, 16, 3, infoSize, infoSize == 40 ? 12 : 0, 0);
    put32(f, 54, 0xF800);
    put32(f, 58, 0x07E0);
    put32(f, 62, 0x001F);
    uint32_t rowBytes = uint32_t((w * 16 + 31) / 32 * 4);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            put16(f, 66 + size_t(h - 1 - y) * rowBytes + 2 * size_t(x), px[size_t(y) * w + x]);
    return f;
}

bool writeFile(const std::string& path, const std::vector<uint8_t>& data) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), out) == data.size();
    return std::fclose(out) == 0 && ok;
}

#ifdef PICGEN_HAVE_PNG
bool writePreview(const std::string& path, int w, int h, const std::vector<uint16_t>& px) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        std::fclose(out);
        return false;
    }
    png_init_io(png, out);
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), 8, PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    std::vector<uint8_t> row(size_t(w) * 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            uint16_t v = px[size_t(y) * w + x];
            row[size_t(x) * 3] = uint8_t(((v >> 11) & 31) * 255 / 31);
            row[size_t(x) * 3 + 1] = uint8_t(((v >> 5) & 63) * 255 / 63);
            row[size_t(x) * 3 + 2] = uint8_t((v & 31) * 255 / 31);
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return std::fclose(out) == 0;
}
#endif

// ---------------------------------------------------------------- pictures

// The part of a square demo picture that both orientations show: the
// portrait view is a full-height strip from column sx, the landscape view a
// full-width strip from row sy, both `side` pixels wide.
struct Safe {
    int sx, sy, side;
};

// Sunset over a mountain lake.
Image landscape(int size, Safe safe, int seed) {
    Image img(size, size);
    const float n = float(safe.side);
    const float horizon = float(safe.sy) + 0.60f * n;
    const float sunX = float(safe.sx) + 0.66f * n, sunY = float(safe.sy) + 0.36f * n;
    const float sunR = std::max(3.f, 0.065f * n);
    auto sky = [&](float x, float y) {
        float t = clamp01(y / horizon);
        Rgb c = t < 0.55f ? mix(hex(0x0B1E4A), hex(0x3A5FA0), t / 0.55f)
                          : (t < 0.85f ? mix(hex(0x3A5FA0), hex(0xE48A5A), (t - 0.55f) / 0.30f)
                                       : mix(hex(0xE48A5A), hex(0xFFD27A), (t - 0.85f) / 0.15f));
        float dx = (x - sunX) / n, dy = (y - sunY) / n;
        float d = std::sqrt(dx * dx + dy * dy);
        c = c + hex(0xFFB060) * (0.55f * std::exp(-d * 9.f));
        // clouds: stretched noise, lit from below by the sun
        float cl = fbm(x / n * 3.f, y / n * 11.f, seed, 5);
        float mask = smoothstep(0.55f, 0.75f, cl) *
                     smoothstep(horizon * 0.05f, horizon * 0.45f, y) *
                     (1 - smoothstep(horizon * 0.70f, horizon * 0.9f, y));
        Rgb cloud = mix(hex(0x5A4A78), hex(0xFF9A6A), clamp01(1 - d * 2.2f) * 0.8f + 0.2f * t);
        c = mix(c, cloud, mask * 0.85f);
        float sd = d * n - sunR;
        if (sd < 1) c = mix(c, hex(0xFFF4D0), clamp01(1 - sd));
        return c;
    };
    // ridge heights (pixels above the horizon) of the far and near mountains
    auto ridge = [&](float x, int s, float base, float amp, float freq) {
        float u = x / n * freq;
        float r = fbm(u, 0.5f, s, 6);
        float peak = std::exp(-std::pow((x - (float(safe.sx) + 0.3f * n)) / (0.35f * n), 2.f));
        return base * n + amp * n * (r - 0.3f) + 0.12f * n * peak;
    };
    auto scene = [&](float x, float y) {
        Rgb c = sky(x, y);
        float far = ridge(x, seed + 5, 0.15f, 0.50f, 2.6f);
        float near = ridge(x, seed + 9, 0.06f, 0.22f, 3.5f);
        float above = horizon - y; // height above the shore line
        if (above < far) {
            float depth = clamp01((far - above) / (0.25f * n));
            Rgb m = mix(hex(0x7C6FA8), hex(0x4D4A7E), depth);
            float snow = smoothstep(0.25f * n, 0.29f * n,
                                    above + 0.04f * n * fbm(x / n * 20, y / n * 20, seed + 3, 3));
            m = mix(m, hex(0xF2E2E8), snow * 0.9f);
            c = mix(c, m, smoothstep(0, 1.2f, far - above));
        }
        if (above < near) {
            float shade = fbm(x / n * 14, y / n * 14, seed + 11, 4);
            Rgb m = mix(hex(0x2C3B45), hex(0x3F5240), shade);
            m = m + hex(0xFF9050) * (0.18f * clamp01(1 - std::fabs(x - sunX) / n * 2));
            c = mix(c, m, smoothstep(0, 1.2f, near - above));
        }
        // tree line along the shore
        float treeH =
            0.025f * n + 0.035f * n * std::pow(fbm(x / n * 40, 1.5f, seed + 21, 2), 2.f) * 2;
        if (above < treeH && above > -1)
            c = mix(c, hex(0x14241C), smoothstep(0, 1.0f, treeH - above));
        return c;
    };
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            float fx = float(x) + 0.5f, fy = float(y) + 0.5f;
            if (fy < horizon) {
                img.at(x, y) = scene(fx, fy);
                continue;
            }
            // lake: the mirrored scene, rippled and darkened, with the sun's glitter
            float below = fy - horizon;
            float ripple = std::sin(fy * 0.9f + 3 * fbm(fx / n * 3, fy / n * 30, seed + 31, 3)) *
                           (0.4f + below / n * 6.f);
            float mirrorY = horizon - below * 0.96f;
            Rgb c = scene(fx + ripple, std::max(0.f, mirrorY));
            float depth = clamp01(below / (float(size) - horizon + 1));
            c = mix(c * 0.78f, hex(0x0A1A2E), depth * 0.75f);
            float glitter = fbm(fx / n * 25, fy / n * 60, seed + 41, 2);
            float path = std::exp(-std::pow((fx - sunX) / (0.05f * n + below * 0.25f), 2.f));
            c = c + hex(0xFFD890) * (path * smoothstep(0.55f, 0.8f, glitter) * (1 - depth) * 0.9f);
            if (below < 1) c = mix(c, hex(0x0D1612), 0.6f);
            img.at(x, y) = c;
        }
    return img;
}

// Test chart: grid, frame of each orientation's view, colour bars, grey
// steps, smooth ramps (one half plain, one half dithered), fine line patches,
// a centre circle and the model's name.
Image testChart(int size, Safe safe, const std::string& label) {
    Image img(size, size);
    const int n = safe.side, sx = safe.sx, sy = safe.sy;
    const Rgb bg = hex(0x212021), gridC = hex(0x525552), white = hex(0xFFFFFF),
              black = hex(0x000000);
    img.fill(0, 0, size, size, bg);
    img.markPlain(0, 0, size, size); // flat colours: exact, no dither noise
    // beyond the common square: spectrum above/below (portrait) and left/right (landscape)
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) {
            bool inStripX = x >= sx && x < sx + n, inStripY = y >= sy && y < sy + n;
            if (inStripX && !inStripY) {
                img.at(x, y) = mix(hue(float(x - sx) / float(n)), bg, 0.55f);
                img.plain[size_t(y) * size + x] = 0;
            }
            if (inStripY && !inStripX) {
                img.at(x, y) = mix(hue(float(y - sy) / float(n)), bg, 0.55f);
                img.plain[size_t(y) * size + x] = 0;
            }
        }
    int step = n >= 160 ? n / 8 : n / 4;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            if ((x - sx) % step == 0 || (y - sy) % step == 0) {
                Rgb& c = img.at(x, y);
                c = (c.r == bg.r && c.g == bg.g && c.b == bg.b) ? gridC : mix(c, gridC, 0.8f);
            }
    // the frame of each view: landscape rows sy..sy+n-1, portrait columns sx..sx+n-1
    for (int i = 0; i < size; ++i) {
        img.at(i, sy) = img.at(i, sy + n - 1) = white;
        img.at(sx, i) = img.at(sx + n - 1, i) = white;
        img.at(0, i) = img.at(size - 1, i) = white;
        img.at(i, 0) = img.at(i, size - 1) = white;
    }
    const float cx = float(sx) + float(n) / 2, cy = float(sy) + float(n) / 2;
    ring(img, cx, cy, float(n) * 0.46f, std::max(1.f, float(n) / 160.f), white);

    // content inside the square, in rows of the square's height
    const int m = std::max(2, n / 20);      // margin
    const int x0 = sx + m, x1 = sx + n - m; // content columns
    auto row = [&](float f) { return sy + int(f * float(n)); };
    // colour bars
    const Rgb bars[8] = {white,         hex(0xFFFF00), hex(0x00FFFF), hex(0x00FF00),
                         hex(0xFF00FF), hex(0xFF0000), hex(0x0000FF), black};
    for (int i = 0; i < 8; ++i)
        img.fill(x0 + (x1 - x0) * i / 8, row(0.10f), x0 + (x1 - x0) * (i + 1) / 8, row(0.28f),
                 bars[i]);
    // grey steps
    for (int i = 0; i < 8; ++i) {
        float v = float(i) / 7;
        img.fill(x0 + (x1 - x0) * i / 8, row(0.28f), x0 + (x1 - x0) * (i + 1) / 8, row(0.34f),
                 {v, v, v});
    }
    // smooth ramps: red, green, blue, grey; upper half plain, lower half dithered
    const Rgb ramps[4] = {hex(0xFF0000), hex(0x00FF00), hex(0x0000FF), white};
    for (int k = 0; k < 4; ++k) {
        int ya = row(0.37f + 0.075f * float(k)), yb = row(0.37f + 0.075f * float(k + 1)) - 1;
        for (int y = ya; y < yb; ++y)
            for (int x = x0; x < x1; ++x)
                img.at(x, y) = ramps[k] * (float(x - x0) / float(x1 - x0 - 1));
        for (int y = (ya + yb) / 2; y < yb; ++y)
            for (int x = x0; x < x1; ++x) img.plain[size_t(y) * size + x] = 0;
    }
    // fine lines: vertical, horizontal, checkerboard, diagonal wedge
    int py0 = row(0.69f), py1 = row(0.84f);
    int pw = (x1 - x0) / 4;
    for (int y = py0; y < py1; ++y)
        for (int x = x0; x < x0 + 4 * pw; ++x) {
            int patch = (x - x0) / pw;
            bool on = patch == 0   ? (x & 1)
                      : patch == 1 ? (y & 1)
                      : patch == 2 ? ((x ^ y) & 1)
                                   : (((x + y) / 2) & 1);
            img.at(x, y) = on ? white : black;
        }
    // primaries as fine stripes under the patches
    for (int x = x0; x < x0 + 4 * pw; ++x) {
        Rgb c = x % 3 == 0 ? hex(0xFF0000) : x % 3 == 1 ? hex(0x00FF00) : hex(0x0000FF);
        img.fill(x, py1, x + 1, py1 + std::max(2, n / 40), c);
    }
    int scale = n >= 300 ? 3 : (n >= 200 ? 2 : 1);
    drawTextCentred(img, int(cx), row(0.885f), label, scale, white);
    // corner ticks pointing out of the common square
    for (int i = 0; i < m * 2; ++i) {
        img.at(sx + i, sy + 1) = img.at(sx + 1, sy + i) = hex(0xFFFF00);
        img.at(sx + n - 1 - i, sy + n - 2) = img.at(sx + n - 2, sy + n - 1 - i) = hex(0xFFFF00);
    }
    return img;
}

// The logo: "Vantorix" over a spectrum line and the product line's name.
Image logoPicture() {
    Image img(140, 60);
    img.fill(0, 0, 140, 60, hex(0xFFFFFF));
    float width = 0;
    wordmark(0, 0, 25, width); // measure
    float left = (140 - width) / 2 + 1;
    auto letters = wordmark(left, 35, 25, width);
    for (size_t i = 0; i < letters.size(); ++i)
        drawStrokes(img, letters[i],
                    mix(hex(0x16245C), hex(0x0A7B94), float(i) / float(letters.size() - 1)));
    int a = int(left), b = int(left + width);
    for (int x = a; x < b; ++x) {
        Rgb c = hue(0.66f * float(x - a) / float(b - a)) * 0.9f;
        img.fill(x, 40, x + 1, 43, mix(c, hex(0xFFFFFF), 0.1f));
    }
    drawTextCentred(img, 70, 47, "TFT DISPLAY MODULES", 1, hex(0x505868));
    return img;
}

struct Model {
    const char* tag;   // file name part
    const char* label; // shown on the test chart
    int size;          // square picture side
    Safe demo1, demo2; // common squares of screen 2 and 3
};

// Common squares from the screens' skips: portrait skip x, landscape skip y.
const Model models[6] = {
    {"kp096", "KP096", 160, {15, 68, 80}, {8, 2, 80}},
    {"kp150", "KP150 240x240", 240, {0, 0, 240}, {0, 0, 240}},
    {"kp200", "KP200 240x320", 320, {64, 45, 240}, {8, 24, 240}},
    {"kp280", "KP280 240x320", 320, {70, 66, 240}, {45, 20, 240}},
    {"kp350", "KP350 320x480", 480, {90, 100, 320}, {120, 40, 320}},
    {"kp240", "KP240 240x320", 320, {40, 53, 240}, {80, 80, 240}},
};

std::vector<uint16_t> to565(const std::vector<uint8_t>& index,
                            const std::vector<std::array<uint8_t, 3>>& pal) {
    std::vector<uint16_t> out;
    for (uint8_t i : index)
        out.push_back(
            uint16_t(((pal[i][0] & 0xF8) << 8) | ((pal[i][1] & 0xFC) << 3) | (pal[i][2] >> 3)));
    return out;
}

struct Output {
    std::string folder, preview;
    bool ok = true;
    void save(const std::string& stem, const std::vector<uint8_t>& file, int w, int h,
              const std::vector<uint16_t>& shown) {
        if (!writeFile(folder + "/" + stem + ".bmp", file)) {
            std::fprintf(stderr, "picgen: cannot write %s/%s.bmp\n", folder.c_str(), stem.c_str());
            ok = false;
        }
#ifdef PICGEN_HAVE_PNG
        if (!preview.empty() && !writePreview(preview + "/" + stem + ".png", w, h, shown))
            ok = false;
#else
        (void)w, (void)h, (void)shown;
#endif
    }
};

void save8(Output& out, const std::string& stem, const Image& img, const std::vector<Rgb>& fixed) {
    auto pal = paletteBytes(buildPalette(img, 256, fixed));
    auto index = ditherToPalette(img, pal);
    out.save(stem, bmpIndexed(img.w, img.h, 8, pal, index), img.w, img.h, to565(index, pal));
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3) {
        std::fprintf(stderr, "usage: picgen OUTPUT-FOLDER [PREVIEW-FOLDER]\n");
        return 2;
    }
    Output out{argv[1], argc > 2 ? argv[2] : ""};
#ifndef PICGEN_HAVE_PNG
    if (!out.preview.empty()) std::fprintf(stderr, "picgen: built without libpng, no previews\n");
#endif
    const std::vector<Rgb> chartColours = {
        hex(0x000000), hex(0xFFFFFF), hex(0xFF0000), hex(0x00FF00), hex(0x0000FF), hex(0x00FFFF),
        hex(0xFF00FF), hex(0xFFFF00), hex(0x212021), hex(0x525552), hex(0x242424), hex(0x494949),
        hex(0x6D6D6D), hex(0x929292), hex(0xB6B6B6), hex(0xDBDBDB)};

    save8(out, "logo", logoPicture(), {hex(0xFFFFFF)});

    for (int i = 0; i < 6; ++i) {
        const Model& m = models[i];
        std::string tag = m.tag;
        Image scene = landscape(m.size, m.demo1, 7 + i);
        Image chart = testChart(m.size, m.demo2, m.label);
        if (i == 0) {
            auto a = ditherTo565(scene), b = ditherTo565(chart);
            out.save("demo1_" + tag, bmp565(m.size, m.size, a, 40), m.size, m.size, a);
            out.save("demo2_" + tag, bmp565(m.size, m.size, b, 52), m.size, m.size, b);
            continue;
        }
        save8(out, "demo1_" + tag, scene, {});
        if (i == 5) {
            // 16 colours: the chart's own flat colours, gradients dithered onto them
            auto pal = paletteBytes(std::vector<Rgb>(chartColours.begin(), chartColours.end()));
            auto index = ditherToPalette(chart, pal);
            out.save("demo2_" + tag, bmpIndexed(m.size, m.size, 4, pal, index), m.size, m.size,
                     to565(index, pal));
        } else {
            save8(out, "demo2_" + tag, chart, chartColours);
        }
    }
    return out.ok ? 0 : 1;
}
