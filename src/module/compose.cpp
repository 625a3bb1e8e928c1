#include "module/compose.h"

#include "module/winbitmap.h"
#include "module/winpaint.h"
#include "panel/zr_tft.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {
constexpr uint8_t opaque = 255;
// Interpolation weights in quarters: at the window's zooms every weight is 0,
// a quarter, a half or three quarters, so the blend comes out exactly as in
// real numbers, and a whole two-way blend (at most 255 * 16) fits 16 bits,
// which the compiler turns into 8 lanes at a time.
constexpr int weightBits = 2;
constexpr uint16_t weightOne = 1 << weightBits;
constexpr uint16_t halfOfBlend = 1 << (2 * weightBits - 1);
constexpr int channels = 4; // red, green, blue, alpha: as WindowImage keeps them

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
    uint16_t weight;
};

// The source position of each destination pixel's centre, clamped into the
// source part [first, last], for count destination pixels at scale.
std::vector<Span> smoothingSpans(int count, int first, int last, double scale) {
    std::vector<Span> spans(size_t(std::max(count, 0)));
    for (int i = 0; i < count; ++i) {
        const double at = std::clamp(first + (i + 0.5) * scale - 0.5, double(first), double(last));
        const int low = int(std::floor(at));
        spans[size_t(i)] = {low, std::min(low + 1, last),
                            uint16_t(std::lround((at - low) * double(weightOne)))};
    }
    return spans;
}

// One source row blended across, for every destination column: each
// channel as value * weightOne, kept unrounded so that the blend down the
// rows rounds only once, exactly as one two-way blend in real numbers would.
// The row's colours are looked up once into pixels; their alpha is opaque, so
// the blend down needs no case for it.
void blendAcross(const PixelSource& source, const uint8_t* row, const std::vector<Span>& columns,
                 int firstX, int endX, std::vector<uint16_t>& pixels,
                 std::vector<uint16_t>& across) {
    const int sourceWidth = DIBWidth(source.dib);
    pixels.resize(size_t(channels * sourceWidth));
    for (int x = 0; x < sourceWidth; ++x) {
        const Colour c = source.at(row, x);
        uint16_t* p = &pixels[size_t(channels * x)];
        p[0] = c.r, p[1] = c.g, p[2] = c.b, p[3] = opaque;
    }
    // A pixel's four channels are blended as one 64-bit number: no channel
    // exceeds opaque * weightOne, so nothing carries into its neighbour, and
    // the channels keep their places whatever the byte order.
    across.resize(size_t(channels * std::max(endX, 0)));
    for (int dx = firstX; dx < endX; ++dx) {
        const Span& x = columns[size_t(dx)];
        uint64_t a, b;
        std::memcpy(&a, &pixels[size_t(channels * x.low)], sizeof a);
        std::memcpy(&b, &pixels[size_t(channels * x.high)], sizeof b);
        const uint64_t blended = a * (weightOne - x.weight) + b * x.weight;
        std::memcpy(&across[size_t(channels * dx)], &blended, sizeof blended);
    }
}

// The rows blended across that the destination rows share: at the window's
// zooms each source row serves several destination rows, so it is blended
// once for all of them.
struct AcrossRows {
    int upperRow = -1, lowerRow = -1;
    std::vector<uint16_t> upper, lower, pixels;

    void prepare(const PixelSource& source, const Span& y, const std::vector<Span>& columns,
                 int firstX, int endX) {
        if (y.low != upperRow) {
            if (y.low == lowerRow) {
                std::swap(upper, lower);
                lowerRow = -1;
            } else {
                blendAcross(source, source.row(y.low), columns, firstX, endX, pixels, upper);
            }
            upperRow = y.low;
        }
        if (y.high != lowerRow) {
            blendAcross(source, source.row(y.high), columns, firstX, endX, pixels, lower);
            lowerRow = y.high;
        }
    }
};

// The blend down, one flat loop over every channel of the row part.
void paintSmoothedRow(const AcrossRows& across, uint16_t wy, int firstX, int endX, uint8_t* out) {
    const uint16_t* top = across.upper.data();
    const uint16_t* bottom = across.lower.data();
    const uint16_t wt = weightOne - wy;
    for (int i = channels * firstX; i < channels * endX; ++i)
        out[i] = uint8_t(uint16_t(top[i] * wt + bottom[i] * wy + halfOfBlend) >> (2 * weightBits));
}

void paintSmoothed(const PixelSource& source, const BitmapDraw& draw, int firstX, int endX,
                   int firstY, int endY, WindowImage* image) {
    const Rect& s = draw.source;
    const std::vector<Span> columns =
        smoothingSpans(draw.destWidth, s.left, s.right, double(draw.srcWidth) / draw.destWidth);
    const std::vector<Span> rows =
        smoothingSpans(draw.destHeight, s.top, s.bottom, double(draw.srcHeight) / draw.destHeight);
    AcrossRows across;
    for (int dy = firstY; dy < endY; ++dy) {
        uint8_t* out =
            &image->rgba[(size_t(draw.destY + dy) * image->width + draw.destX) * channels];
        across.prepare(source, rows[size_t(dy)], columns, firstX, endX);
        paintSmoothedRow(across, rows[size_t(dy)].weight, firstX, endX, out);
    }
}

// Sharp blocks (or an exact copy): each source row is looked up once, and
// the destination rows it also covers are copies of the first.
void paintNearest(const PixelSource& source, const BitmapDraw& draw, int firstX, int endX,
                  int firstY, int endY, WindowImage* image) {
    const Rect& s = draw.source;
    std::vector<int> sourceColumns(size_t(std::max(endX, 0)));
    for (int dx = firstX; dx < endX; ++dx)
        sourceColumns[size_t(dx)] = s.left + dx * draw.srcWidth / draw.destWidth;
    const size_t rowBytes = size_t(channels) * size_t(std::max(endX - firstX, 0));
    int paintedRow = -1;
    const uint8_t* painted = nullptr;
    for (int dy = firstY; dy < endY; ++dy) {
        uint8_t* out =
            &image->rgba[(size_t(draw.destY + dy) * image->width + draw.destX + firstX) * channels];
        const int sourceRow = s.top + dy * draw.srcHeight / draw.destHeight;
        if (sourceRow == paintedRow) {
            std::copy_n(painted, rowBytes, out);
            continue;
        }
        const uint8_t* row = source.row(sourceRow);
        uint8_t* p = out;
        for (int dx = firstX; dx < endX; ++dx, p += channels) {
            const Colour c = source.at(row, sourceColumns[size_t(dx)]);
            p[0] = c.r;
            p[1] = c.g;
            p[2] = c.b;
            p[3] = opaque;
        }
        paintedRow = sourceRow;
        painted = out;
    }
}

void paintDraw(const BitmapDraw& draw, WindowImage* image) {
    const PixelSource source(draw.dib);
    // Only the part inside the image is painted.
    const int firstX = std::max(0, -draw.destX);
    const int endX = std::min(draw.destWidth, image->width - draw.destX);
    const int firstY = std::max(0, -draw.destY);
    const int endY = std::min(draw.destHeight, image->height - draw.destY);
    const bool exact = draw.destWidth == draw.srcWidth && draw.destHeight == draw.srcHeight;
    if (!exact && draw.smoothing)
        paintSmoothed(source, draw, firstX, endX, firstY, endY, image);
    else
        paintNearest(source, draw, firstX, endX, firstY, endY, image);
}

void clearRun(const Rect& removed, void* context) {
    WindowImage* image = static_cast<WindowImage*>(context);
    for (int y = removed.top; y < removed.bottom; ++y)
        for (int x = removed.left; x < removed.right; ++x)
            image->rgba[(size_t(y) * image->width + x) * channels + 3] = 0;
}
} // namespace

int composeWindow(int outline, WindowImage* image) {
    PanelGuard guard(panelLock());
    if (!moduleDIB.mem) return 0;
    const int z = ZoomWindow > 1 ? ZoomWindow : 1;
    image->width = (moduleDIB.rcPos.right + 1) * z;
    image->height = (moduleDIB.rcPos.bottom + 1) * z;
    image->rgba.assign(size_t(image->width) * image->height * channels, 0);
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
