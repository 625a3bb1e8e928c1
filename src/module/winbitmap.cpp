#include "module/winbitmap.h"

#include "common/settings.h"
#include "panel/models.h"
#include "panel/zr_tft.h"

#include <cstring>

DIB moduleDIB{};
DIB panelDIB{};
int32_t bgIndex = 0;
uint8_t bgKeyColour[3] = {};
uint8_t shapeColour[3] = {};
int32_t panelModule = 0;
int32_t panelAngle = 0;
int32_t ZoomWindow = 1;
int32_t ShowWindow = 1;

namespace {
constexpr int bmpPixelOffsetField = 10;
constexpr uint32_t bmpMagic = 0x4D42; // "BM"
constexpr int infoHeaderMinimum = 40;
constexpr int markerPixelCount = 4;

int normalisedAngle(int angle) {
    angle = ((angle % 360) + 360) % 360;
    return angle % 90 == 0 ? angle : 0;
}

// An uncompressed, bottom-up 8-bit BMP whose header, palette and rows all lie
// inside the image, wide enough for the marker pixels.
bool usableModuleImage(const uint8_t* f, size_t length) {
    if (!f || length < size_t(bmpFileHeaderBytes + infoHeaderMinimum)) return false;
    if (rdLE16(f) != bmpMagic) return false;
    const uint8_t* h = f + bmpFileHeaderBytes;
    const uint32_t headerSize = rdLE32(h + BI_SIZE);
    const int32_t width = int32_t(rdLE32(h + BI_WIDTH));
    const int32_t height = int32_t(rdLE32(h + BI_HEIGHT));
    const uint32_t colours = rdLE32(h + BI_CLRUSED) ? rdLE32(h + BI_CLRUSED) : 256;
    if (headerSize < uint32_t(infoHeaderMinimum) || headerSize > length) return false;
    if (rdLE16(h + BI_BITCOUNT) != 8 || rdLE32(h + BI_COMPRESSION) != 0 || colours > 256)
        return false;
    if (width < markerPixelCount || height < 1 || width > 8192 || height > 8192) return false;
    const uint64_t line = (uint64_t(width) * 8 + 31) / 32 * 4;
    const uint64_t pixels = uint64_t(bmpFileHeaderBytes) + headerSize + 4ull * colours;
    if (rdLE32(f + bmpPixelOffsetField) != pixels) return false;
    return pixels + line * uint64_t(height) <= length;
}

int width(const DIB* d) {
    return int32_t(rdLE32(d->bmih + BI_WIDTH));
}
int height(const DIB* d) {
    return int32_t(rdLE32(d->bmih + BI_HEIGHT));
}

// The panel area: the run of marker pixels down the centre column from the
// first one, then the run across the row through its middle. Every run stops
// at the picture's edge. 0 when the centre column holds no marker.
int findActiveArea(const DIB* s, uint8_t marker, Rect* area) {
    const int w = width(s), h = height(s), xc = w / 2;
    int top = 0;
    while (top < h && GetDIB256pix(xc, top, s) != marker) ++top;
    if (top == h) return 0;
    int bottom = top;
    while (bottom + 1 < h && GetDIB256pix(xc, bottom + 1, s) == marker) ++bottom;
    const int ym = top + (bottom - top) / 2;
    int left = 0;
    while (GetDIB256pix(left, ym, s) != marker) ++left; // stops at xc at the latest
    int right = left;
    while (right + 1 < w && GetDIB256pix(right + 1, ym, s) == marker) ++right;
    *area = Rect{left, top, right, bottom};
    return 1;
}

void attachFrameMemory() {
    if (!panelDIB.mem) {
        setFrameMem(nullptr, 0);
        return;
    }
    const uint32_t capacity = uint32_t(panelDIB.lineBytes / 2) * uint32_t(height(&panelDIB));
    setFrameMem(reinterpret_cast<uint16_t*>(panelDIB.bits), capacity);
}
} // namespace

int32_t& showWindowSetting() {
    return ShowWindow;
}

void resetWindowBitmaps() {
    PanelGuard guard(panelLock());
    FreeDIB(&moduleDIB);
    FreeDIB(&panelDIB);
    moduleDIB = DIB{};
    panelDIB = DIB{};
    setFrameMem(nullptr, 0);
    bgIndex = 0;
    std::memset(bgKeyColour, 0, sizeof bgKeyColour);
    std::memset(shapeColour, 0, sizeof shapeColour);
    panelModule = panelAngle = 0;
    ZoomWindow = ShowWindow = 1;
}

void InitDIB256bild(DIB* d, uint8_t* f) {
    std::memset(d, 0, sizeof *d);
    d->mem = d->bmih = f + bmpFileHeaderBytes;
    const uint32_t headerSize = rdLE32(d->bmih + BI_SIZE);
    d->palette = d->bmih + headerSize;
    const uint32_t used = rdLE32(d->bmih + BI_CLRUSED);
    const int bitCount = rdLE16(d->bmih + BI_BITCOUNT);
    d->numColors = used ? int32_t(used) : int32_t(1) << bitCount;
    d->bits = d->bmih + headerSize + 4 * uint32_t(d->numColors);
    d->lineBytes = (width(d) * bitCount + 31) / 32 * 4;
    const uint32_t imageBytes = uint32_t(d->lineBytes) * uint32_t(height(d));
    wrLE32(d->bmih + BI_SIZEIMAGE, imageBytes);
    d->memSize = headerSize + 4 * uint32_t(d->numColors) + imageBytes;
}

uint8_t GetDIB256pix(int x, int y, const DIB* d) {
    return d->bits[size_t(height(d) - 1 - y) * size_t(d->lineBytes) + size_t(x)];
}

void PutDIB256pix(int x, int y, uint8_t value, DIB* d) {
    d->bits[size_t(height(d) - 1 - y) * size_t(d->lineBytes) + size_t(x)] = value;
}

void setRGB(uint8_t* entry, int red, int green, int blue) {
    entry[0] = uint8_t(blue);
    entry[1] = uint8_t(green);
    entry[2] = uint8_t(red);
}

void copyRGB(uint8_t* destination, const uint8_t* source) {
    std::memcpy(destination, source, 3);
}

int CopyDIB256(DIB* d, const DIB* s, int angle) {
    angle = normalisedAngle(angle);
    const int W = width(s), H = height(s);
    const bool across = angle == 90 || angle == 270;
    const Rect a = s->rcActive;
    DIB turned{};
    if (!NewDIB(&turned, across ? H : W, across ? W : H, 8, s)) return 0;
    Rect& t = turned.rcActive;
    if (angle == 0) {
        std::memcpy(turned.bits, s->bits, size_t(s->lineBytes) * size_t(H));
        t = a;
    } else {
        for (int y = 0; y < H; ++y)
            for (int x = 0; x < W; ++x) {
                const uint8_t v = GetDIB256pix(x, y, s);
                if (angle == 90)
                    PutDIB256pix(H - 1 - y, x, v, &turned);
                else if (angle == 180)
                    PutDIB256pix(W - 1 - x, H - 1 - y, v, &turned);
                else
                    PutDIB256pix(y, W - 1 - x, v, &turned);
            }
        if (angle == 90) {
            t.left = H - 1 - a.bottom;
            t.right = t.left + (a.bottom - a.top);
            t.top = a.left;
            t.bottom = t.top + (a.right - a.left);
        } else if (angle == 180) {
            t.left = W - 1 - a.right;
            t.right = t.left + (a.right - a.left);
            t.top = H - 1 - a.bottom;
            t.bottom = t.top + (a.bottom - a.top);
        } else {
            t.left = a.top;
            t.right = t.left + (a.bottom - a.top);
            t.top = W - 1 - a.right;
            t.bottom = t.top + (a.right - a.left);
        }
    }
    turned.rcPos = Rect{0, 0, width(&turned) - 1, height(&turned) - 1};
    FreeDIB(d);
    *d = turned;
    return 1;
}

int InitBildBMP(uint8_t* f, size_t length) {
    if (!usableModuleImage(f, length)) return 0;
    DIB s;
    InitDIB256bild(&s, f);
    const uint8_t background = GetDIB256pix(markerBackground, 0, &s);
    const uint8_t k1 = GetDIB256pix(markerShape, 0, &s);
    const uint8_t k2 = GetDIB256pix(markerFrame, 0, &s);
    const uint8_t marker = GetDIB256pix(markerPanel, 0, &s);
    const int entries = s.numColors;
    if (background >= entries || k1 >= entries || k2 >= entries || marker >= entries ||
        marker == background)
        return 0;
    uint8_t key[3], shape[3];
    copyRGB(key, s.palette + 4 * background);
    copyRGB(shape, s.palette + 4 * k1);
    for (int x = markerShape; x <= markerPanel; ++x) PutDIB256pix(x, 0, background, &s);
    setRGB(s.palette + 4 * k2, 15, 15, 15);
    setRGB(s.palette + 4 * marker, 0, 0, 0);
    if (!findActiveArea(&s, marker, &s.rcActive)) return 0;
    if (const ModelInfo* model = modelInfo(Module)) {
        const Rect& a = s.rcActive;
        if (a.right - a.left + 1 != model->width || a.bottom - a.top + 1 != model->height) return 0;
    }
    if (!CopyDIB256(&moduleDIB, &s, Angle)) return 0;
    bgIndex = background;
    copyRGB(bgKeyColour, key);
    copyRGB(shapeColour, shape);
    return 1;
}

int keepModulePicture(KeptModulePicture* kept) {
    PanelGuard guard(panelLock());
    if (!moduleDIB.mem || !CopyDIB(&moduleDIB, &kept->picture)) return 0;
    kept->module = Module;
    kept->touch = Touch;
    kept->angle = Angle;
    kept->bgIndex = bgIndex;
    copyRGB(kept->bgKeyColour, bgKeyColour);
    copyRGB(kept->shapeColour, shapeColour);
    return 1;
}

int takeKeptModulePicture(const KeptModulePicture& kept) {
    PanelGuard guard(panelLock());
    if (kept.module != Module || kept.touch != Touch || kept.angle != Angle) return 0;
    DIB copy{};
    if (!CopyDIB(&kept.picture, &copy)) return 0;
    FreeDIB(&moduleDIB);
    moduleDIB = copy;
    bgIndex = kept.bgIndex;
    copyRGB(bgKeyColour, kept.bgKeyColour);
    copyRGB(shapeColour, kept.shapeColour);
    return 1;
}

void InitTFTBMP() {
    PanelGuard guard(panelLock());
    const Rect& a = moduleDIB.rcActive;
    if (panelModule == Module && panelDIB.mem) {
        if (panelAngle != Angle) {
            // A failed turn leaves the bitmap unturned; its content stays.
            if (RotateDIB(&panelDIB, (Angle + 360 - panelAngle) % 360)) panelAngle = Angle;
        }
    } else {
        DIB fresh{};
        if (NewDIB(&fresh, a.right - a.left + 1, a.bottom - a.top + 1, 16, nullptr)) {
            FreeDIB(&panelDIB);
            panelDIB = fresh;
            panelModule = Module;
            panelAngle = Angle;
        }
    }
    panelDIB.rcPos = a;
    attachFrameMemory();
}

void convert2touchXY(int* xOut, int* yOut, int x, int y) {
    *xOut = x - panelDIB.rcPos.left;
    *yOut = y - panelDIB.rcPos.top;
}
