#include "module/winpaint.h"

#include "module/rect.h"
#include "module/winbitmap.h"

namespace {
int zoom() {
    return ZoomWindow > 1 ? ZoomWindow : 1;
}
} // namespace

BitmapDraw DrawBitmap(const Rect& r, const DIB* d, int smoothing) {
    const int z = ZoomWindow;
    Rect dest = r;
    if (z >= 2) dest = Rect{r.left * z, r.top * z, r.right * z + z - 1, r.bottom * z + z - 1};
    const Rect s{r.left - d->rcPos.left, r.top - d->rcPos.top, r.right - d->rcPos.left,
                 r.bottom - d->rcPos.top};
    const int h = d->rcPos.bottom - d->rcPos.top + 1;
    BitmapDraw draw{};
    draw.dib = d;
    draw.destX = dest.left;
    draw.destY = dest.top;
    draw.destWidth = dest.right - dest.left + 1;
    draw.destHeight = dest.bottom - dest.top + 1;
    draw.srcX = s.left;
    draw.srcYFromBottom = h - 1 - s.bottom;
    draw.srcWidth = s.right - s.left + 1;
    draw.srcHeight = s.bottom - s.top + 1;
    draw.source = s;
    draw.smoothing = smoothing;
    return draw;
}

int DrawBitmaps(const Rect& paint, BitmapDraw draws[2]) {
    if (!moduleDIB.mem) return 0;
    Rect r{paint.left, paint.top, paint.right - 1, paint.bottom - 1};
    if (ZoomWindow > 1) {
        r.left /= ZoomWindow;
        r.top /= ZoomWindow;
        r.right /= ZoomWindow;
        r.bottom /= ZoomWindow;
    }
    // Nothing outside the picture exists to be drawn.
    if (!rect_intersect(&r, &moduleDIB.rcPos)) return 0;
    int count = 0;
    draws[count++] = DrawBitmap(r, &moduleDIB, 1);
    Rect q;
    rect_copy(&q, &panelDIB.rcPos);
    if (panelDIB.mem && rect_intersect(&q, &r)) draws[count++] = DrawBitmap(q, &panelDIB, 0);
    return count;
}

Rect redrawRectangle() {
    const Rect& a = moduleDIB.rcActive;
    const int z = ZoomWindow;
    if (z > 1) return Rect{a.left * z, a.top * z, a.right * z + z, a.bottom * z + z};
    return Rect{a.left, a.top, a.right + 1, a.bottom + 1};
}

int MakeRegionRuns(int ox, int oy, Rect* whole, RegionRunSink sink, void* context) {
    const int z = zoom();
    if (!moduleDIB.mem) {
        *whole = Rect{ox, oy, ox, oy};
        return 0;
    }
    const int w = moduleDIB.rcPos.right + 1, h = moduleDIB.rcPos.bottom + 1;
    *whole = Rect{ox, oy, ox + w * z, oy + h * z};
    int runs = 0;
    for (int y = 0; y < h; ++y) {
        int x = 0;
        while (x < w) {
            if (GetDIB256pix(x, y, &moduleDIB) != bgIndex) {
                ++x;
                continue;
            }
            const int x1 = x;
            while (x < w && GetDIB256pix(x, y, &moduleDIB) == bgIndex) ++x;
            sink(Rect{ox + x1 * z, oy + y * z, ox + x * z, oy + (y + 1) * z}, context);
            ++runs;
        }
    }
    return runs;
}

void setBackgroundForShape(int shaped) {
    if (!moduleDIB.mem || bgIndex >= moduleDIB.numColors) return;
    copyRGB(moduleDIB.palette + 4 * bgIndex, shaped ? shapeColour : bgKeyColour);
}
