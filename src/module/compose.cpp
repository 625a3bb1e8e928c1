#include "module/compose.h"

#include "module/winbitmap.h"
#include "module/winpaint.h"
#include "panel/zr_tft.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {
constexpr uint8_t opaque = 255;
// Interpolation weights in 1/65536: at the window's zooms every weight is a
// quarter or a half, so the blend comes out exactly as in real numbers.
constexpr int weightBits = 16;
constexpr int64_t weightOne = int64_t(1) << weightBits;

struct Colour {
    uint8_t r, g, b;
};

int bitmapHeight(const DIB* d) {
    return int32_t(rdLE32(d->bmih + BI_HEIGHT));
}

// The colours of one bitmap, looked up without asking its header per pixel.
struct PixelSource {
    const DIB* dib;
    bool paletted;
    Colour palette[256];

    explicit PixelSource(const DIB* d) : dib(d), paletted(rdLE16(d->bmih + BI_BITCOUNT) == 8) {
        if (!paletted) return;
        for (int i = 0; i < 256; ++i) {
            const uint8_t* entry = d->palette + 4 * i;
            palette[i] = Colour{entry[2], entry[1], entry[0]};
        }
    }
    // Row y counted from the top.
    const uint8_t* row(int y) const {
        return dib->bits + size_t(bitmapHeight(dib) - 1 - y) * size_t(dib->lineBytes);
    }
    Colour at(const uint8_t* row, int x) const {
        if (paletted) return palette[row[x]];
        const uint16_t v = uint16_t(row[2 * x] | row[2 * x + 1] << 8);
        const int r = v >> 11, g = (v >> 5) & 63, b = v & 31;
        return Colour{uint8_t(r << 3 | r >> 2), uint8_t(g << 2 | g >> 4), uint8_t(b << 3 | b >> 2)};
    }
};

// Where one destination column (or row) takes its source from: two
// neighbouring pixels and the weight of the second.
struct Span {
    int low, high;
    int64_t weight;
};

// The source position of each destination pixel's centre, clamped into the
// source part [first, last], for count destination pixels at scale.
std::vector<Span> smoothingSpans(int count, int first, int last, double scale) {
    std::vector<Span> spans(size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        const double at = std::clamp(first + (i + 0.5) * scale - 0.5, double(first), double(last));
        const int low = int(std::floor(at));
        spans[size_t(i)] = {low, std::min(low + 1, last),
                            int64_t(std::llround((at - low) * double(weightOne)))};
    }
    return spans;
}

// One source row blended across, for every destination column: each
// channel as value * weightOne, kept unrounded so that the blend down the
// rows rounds only once, exactly as one two-way blend in real numbers would.
void blendAcross(const PixelSource& source, const uint8_t* row, const std::vector<Span>& columns,
                 int firstX, int endX, std::vector<int32_t>& across) {
    across.resize(size_t(3 * std::max(endX, 0)));
    for (int dx = firstX; dx < endX; ++dx) {
        const Span& x = columns[size_t(dx)];
        const Colour a = source.at(row, x.low), b = source.at(row, x.high);
        int32_t* out = &across[size_t(3 * dx)];
        const int32_t w = int32_t(x.weight);
        out[0] = a.r * int32_t(weightOne) + (b.r - a.r) * w;
        out[1] = a.g * int32_t(weightOne) + (b.g - a.g) * w;
        out[2] = a.b * int32_t(weightOne) + (b.b - a.b) * w;
    }
}

uint8_t blendDown(int32_t top, int32_t bottom, int64_t wy) {
    const int64_t mixed = int64_t(top) * weightOne + int64_t(bottom - top) * wy;
    return uint8_t((mixed + (int64_t(1) << (2 * weightBits - 1))) >> (2 * weightBits));
}

// The rows blended across that the destination rows share: at the window's
// zooms each source row serves several destination rows, so it is blended
// once for all of them.
struct AcrossRows {
    int upperRow = -1, lowerRow = -1;
    std::vector<int32_t> upper, lower;

    void prepare(const PixelSource& source, const Span& y, const std::vector<Span>& columns,
                 int firstX, int endX) {
        if (y.low != upperRow) {
            if (y.low == lowerRow) {
                std::swap(upper, lower);
                lowerRow = -1;
            } else {
                blendAcross(source, source.row(y.low), columns, firstX, endX, upper);
            }
            upperRow = y.low;
        }
        if (y.high != lowerRow) {
            blendAcross(source, source.row(y.high), columns, firstX, endX, lower);
            lowerRow = y.high;
        }
    }
};

void paintSmoothedRow(const AcrossRows& across, int64_t wy, int firstX, int endX, uint8_t* out) {
    for (int dx = firstX; dx < endX; ++dx) {
        const int32_t* top = &across.upper[size_t(3 * dx)];
        const int32_t* bottom = &across.lower[size_t(3 * dx)];
        uint8_t* p = out + size_t(dx) * 4;
        p[0] = blendDown(top[0], bottom[0], wy);
        p[1] = blendDown(top[1], bottom[1], wy);
        p[2] = blendDown(top[2], bottom[2], wy);
        p[3] = opaque;
    }
}

void paintDraw(const BitmapDraw& draw, WindowImage* image) {
    const PixelSource source(draw.dib);
    const Rect& s = draw.source;
    const bool exact = draw.destWidth == draw.srcWidth && draw.destHeight == draw.srcHeight;
    std::vector<Span> columns, rows;
    if (!exact && draw.smoothing) {
        columns =
            smoothingSpans(draw.destWidth, s.left, s.right, double(draw.srcWidth) / draw.destWidth);
        rows = smoothingSpans(draw.destHeight, s.top, s.bottom,
                              double(draw.srcHeight) / draw.destHeight);
    }
    // Only the part inside the image is painted.
    const int firstX = std::max(0, -draw.destX);
    const int endX = std::min(draw.destWidth, image->width - draw.destX);
    const int firstY = std::max(0, -draw.destY);
    const int endY = std::min(draw.destHeight, image->height - draw.destY);
    const bool smoothed = !exact && draw.smoothing;
    AcrossRows across;
    for (int dy = firstY; dy < endY; ++dy) {
        uint8_t* out = &image->rgba[(size_t(draw.destY + dy) * image->width + draw.destX) * 4];
        if (smoothed) {
            across.prepare(source, rows[size_t(dy)], columns, firstX, endX);
            paintSmoothedRow(across, rows[size_t(dy)].weight, firstX, endX, out);
            continue;
        }
        const uint8_t* upper = exact ? source.row(s.top + dy)
                                     : source.row(s.top + dy * draw.srcHeight / draw.destHeight);
        for (int dx = firstX; dx < endX; ++dx) {
            const Colour c = exact ? source.at(upper, s.left + dx)
                                   : source.at(upper, s.left + dx * draw.srcWidth / draw.destWidth);
            uint8_t* p = out + size_t(dx) * 4;
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = opaque;
        }
    }
}

void clearRun(const Rect& removed, void* context) {
    WindowImage* image = static_cast<WindowImage*>(context);
    for (int y = removed.top; y < removed.bottom; ++y)
        for (int x = removed.left; x < removed.right; ++x)
            image->rgba[(size_t(y) * image->width + x) * 4 + 3] = 0;
}
} // namespace

int composeWindow(int outline, WindowImage* image) {
    PanelGuard guard(panelLock());
    if (!moduleDIB.mem) return 0;
    const int z = ZoomWindow > 1 ? ZoomWindow : 1;
    image->width = (moduleDIB.rcPos.right + 1) * z;
    image->height = (moduleDIB.rcPos.bottom + 1) * z;
    image->rgba.assign(size_t(image->width) * image->height * 4, 0);
    setBackgroundForShape(outline);
    BitmapDraw draws[2];
    const int count = DrawBitmaps(Rect{0, 0, image->width, image->height}, draws);
    for (int i = 0; i < count; ++i) paintDraw(draws[i], image);
    if (outline) {
        Rect whole;
        MakeRegionRuns(0, 0, &whole, clearRun, image);
    }
    setBackgroundForShape(0);
    return 1;
}
