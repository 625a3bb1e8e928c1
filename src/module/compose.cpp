#include "module/compose.h"

#include "module/winbitmap.h"
#include "module/winpaint.h"
#include "panel/zr_tft.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr uint8_t opaque = 255;

struct Colour {
    uint8_t r, g, b;
};

int bitmapHeight(const DIB* d) {
    return int32_t(rdLE32(d->bmih + BI_HEIGHT));
}

// Pixel (x, y) of the bitmap, y counted from the top row.
Colour pixelAt(const DIB* d, int x, int y) {
    const uint8_t* row = d->bits + size_t(bitmapHeight(d) - 1 - y) * size_t(d->lineBytes);
    if (rdLE16(d->bmih + BI_BITCOUNT) == 8) {
        const uint8_t* entry = d->palette + 4 * row[x];
        return Colour{entry[2], entry[1], entry[0]};
    }
    const uint16_t v = rdLE16(row + 2 * x);
    const int r = v >> 11, g = (v >> 5) & 63, b = v & 31;
    return Colour{uint8_t(r << 3 | r >> 2), uint8_t(g << 2 | g >> 4), uint8_t(b << 3 | b >> 2)};
}

void store(WindowImage* image, int x, int y, Colour c) {
    if (x < 0 || y < 0 || x >= image->width || y >= image->height) return;
    uint8_t* p = &image->rgba[(size_t(y) * image->width + x) * 4];
    p[0] = c.r;
    p[1] = c.g;
    p[2] = c.b;
    p[3] = opaque;
}

// The source position of a destination pixel's centre, clamped into the source part.
void sourceSpan(double at, int first, int last, int* low, int* high, double* weight) {
    at = std::clamp(at, double(first), double(last));
    *low = int(std::floor(at));
    *high = std::min(*low + 1, last);
    *weight = at - *low;
}

Colour smoothedAt(const DIB* d, const Rect& s, double sx, double sy) {
    int x0, x1, y0, y1;
    double fx, fy;
    sourceSpan(sx, s.left, s.right, &x0, &x1, &fx);
    sourceSpan(sy, s.top, s.bottom, &y0, &y1, &fy);
    const Colour a = pixelAt(d, x0, y0), b = pixelAt(d, x1, y0);
    const Colour c = pixelAt(d, x0, y1), e = pixelAt(d, x1, y1);
    auto mix = [&](uint8_t pa, uint8_t pb, uint8_t pc, uint8_t pe) {
        const double top = pa + (pb - pa) * fx, bottom = pc + (pe - pc) * fx;
        return uint8_t(std::lround(top + (bottom - top) * fy));
    };
    return Colour{mix(a.r, b.r, c.r, e.r), mix(a.g, b.g, c.g, e.g), mix(a.b, b.b, c.b, e.b)};
}

void paintDraw(const BitmapDraw& draw, WindowImage* image) {
    const DIB* d = draw.dib;
    const Rect& s = draw.source;
    const bool exact = draw.destWidth == draw.srcWidth && draw.destHeight == draw.srcHeight;
    const double scaleX = double(draw.srcWidth) / draw.destWidth;
    const double scaleY = double(draw.srcHeight) / draw.destHeight;
    for (int dy = 0; dy < draw.destHeight; ++dy)
        for (int dx = 0; dx < draw.destWidth; ++dx) {
            Colour c;
            if (exact) {
                c = pixelAt(d, s.left + dx, s.top + dy);
            } else if (draw.smoothing) {
                c = smoothedAt(d, s, s.left + (dx + 0.5) * scaleX - 0.5,
                               s.top + (dy + 0.5) * scaleY - 0.5);
            } else {
                c = pixelAt(d, s.left + dx * draw.srcWidth / draw.destWidth,
                            s.top + dy * draw.srcHeight / draw.destHeight);
            }
            store(image, draw.destX + dx, draw.destY + dy, c);
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
