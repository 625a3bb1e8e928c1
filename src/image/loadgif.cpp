// GIF reader: our own LZW decoder, then the composition of animation frames on
// the logical screen (position, transparency, disposal) into full-screen bitmaps.
#include "image/gif_internal.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

GifState gif;

namespace {

const int kPassStart[5] = {0, 0, 4, 2, 1};
const int kPassStep[5] = {0, 8, 8, 4, 2};

int readByte() {
    return gif.pos < gif.length ? gif.data[gif.pos++] : -1;
}

bool readBytes(uint8_t* out, size_t n) {
    if (gif.length - gif.pos < n) return false;
    memcpy(out, gif.data + gif.pos, n);
    gif.pos += n;
    return true;
}

// Colour table as blue, green, red; false on a short file.
bool readTable(uint8_t* table, int entries) {
    if (gif.length - gif.pos < size_t(entries) * 3) return false;
    const uint8_t* p = gif.data + gif.pos;
    for (int i = 0; i < entries; i++) {
        table[i * 3] = p[i * 3 + 2];
        table[i * 3 + 1] = p[i * 3 + 1];
        table[i * 3 + 2] = p[i * 3];
    }
    gif.pos += size_t(entries) * 3;
    return true;
}

// Consumes sub-blocks up to and including the terminator.
void skipSubBlocks() {
    while (ReadSubBlock() > 0) {
    }
}

int frameIndex(const DIB* frame, int x, int y) {
    const uint8_t* row = frame->bits + size_t(DIBHeight(frame) - 1 - y) * frame->lineBytes;
    switch (DIBBitCount(frame)) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? row[x >> 1] & 15 : row[x >> 1] >> 4;
    default:
        return row[x];
    }
}

void fillRect(uint8_t* area, int lineBytes, int screenH, int x0, int y0, int x1, int y1,
              const uint8_t* bgr) {
    for (int y = y0; y < y1; y++) {
        uint8_t* p = area + size_t(screenH - 1 - y) * lineBytes + size_t(x0) * 3;
        for (int x = x0; x < x1; x++, p += 3) memcpy(p, bgr, 3);
    }
}

bool candidateCollides(const uint8_t* pal, int entries, int skip, const uint8_t* c) {
    for (int i = 0; i < entries; i++) {
        if (i == skip) continue;
        const uint8_t* e = pal + i * 4;
        if ((e[0] & 0xF8) == c[0] && (e[1] & 0xF8) == c[1] && (e[2] & 0xF8) == c[2]) return true;
    }
    return false;
}

} // namespace

void GifReset() {
    free(gif.line);
    memset(&gif, 0, sizeof gif);
}

void GifAnimationFree(GifAnimation* anim) {
    for (int i = 0; i < 255; i++) {
        free(anim->frame[i].mem);
        memset(&anim->frame[i], 0, sizeof(DIB));
    }
    anim->count = 0;
}

int ReadSubBlock() {
    int n = readByte();
    if (n < 0) return -1;
    if (gif.length - gif.pos < size_t(n)) {
        gif.pos = gif.length;
        return -1;
    }
    gif.block = gif.data + gif.pos;
    gif.blockLen = n;
    gif.pos += size_t(n);
    return n;
}

int GetNextCode() {
    while (gif.bitCount < gif.codeSize) {
        if (gif.bytesLeft == 0) {
            if (ReadSubBlock() <= 0) {
                gif.terminatorSeen = 1;
                return -1;
            }
            gif.readPtr = gif.block;
            gif.bytesLeft = gif.blockLen;
        }
        gif.bitBuffer |= uint32_t(*gif.readPtr++) << gif.bitCount;
        gif.bitCount += 8;
        gif.bytesLeft--;
    }
    int code = int(gif.bitBuffer & ((1u << gif.codeSize) - 1));
    gif.bitBuffer >>= gif.codeSize;
    gif.bitCount -= gif.codeSize;
    return code;
}

void LineOut(DIB* frame, const uint8_t* line, int n) {
    const int width = DIBWidth(frame), height = DIBHeight(frame);
    if (n > width) n = width;
    if (gif.row >= 0 && gif.row < height) {
        uint8_t* dst = frame->bits + size_t(height - 1 - gif.row) * frame->lineBytes;
        switch (DIBBitCount(frame)) {
        case 1:
            for (int x = 0; x < n; x++)
                if (line[x]) dst[x >> 3] |= uint8_t(0x80 >> (x & 7));
            break;
        case 4:
            for (int x = 0; x < n; x++)
                dst[x >> 1] |= uint8_t((x & 1) ? (line[x] & 15) : (line[x] & 15) << 4);
            break;
        default:
            memcpy(dst, line, size_t(n));
            break;
        }
    }
    if (!gif.interlaced) {
        gif.row++;
        return;
    }
    gif.row += kPassStep[gif.pass];
    while (gif.row >= height && gif.pass < 4) {
        gif.pass++;
        gif.row = kPassStart[gif.pass];
    }
}

namespace {

// The LZW decoder's running state for one image.
struct LzwState {
    int rootBits; // minimum code size
    int clear, end, firstFree;
    int nextFree, top;      // next table entry, and the code that widens the codes
    int oldCode, firstChar; // the previous string and its first character
    int filled;             // pixels in the current line
};

void restartTable(LzwState& z) {
    gif.codeSize = z.rootBits + 1;
    z.nextFree = z.firstFree;
    z.top = 1 << (z.rootBits + 1);
}

void putPixel(LzwState& z, DIB* frame, uint8_t* line, int width, int v) {
    line[z.filled++] = uint8_t(v < gif.tableSize ? v : 0); // beyond the table: entry 0
    if (z.filled == width) {
        LineOut(frame, line, width);
        z.filled = 0;
    }
}

// Pushes the string of code c (first character last) and adds the new table
// entry; 0 when c names nothing that can exist.
int expandCode(LzwState& z, int c, int* sp) {
    if (c > z.nextFree) return 0; // names a string that does not exist yet
    int code = c;
    *sp = 0;
    if (code == z.nextFree) {
        gif.stack[(*sp)++] = uint8_t(z.firstChar);
        code = z.oldCode;
    }
    while (code >= z.firstFree && *sp < 4096) {
        gif.stack[(*sp)++] = gif.suffix[code];
        code = gif.prefix[code];
    }
    if (code >= z.firstFree) return 0; // cannot happen with tables we built; stay safe
    gif.stack[(*sp)++] = uint8_t(code);
    if (z.nextFree < z.top) {
        gif.suffix[z.nextFree] = uint8_t(code);
        gif.prefix[z.nextFree] = uint16_t(z.oldCode);
        z.nextFree++;
    }
    if (z.nextFree >= z.top && gif.codeSize < 12) {
        z.top <<= 1;
        gif.codeSize++;
    }
    z.oldCode = c;
    z.firstChar = code;
    return 1;
}

void startImage(LzwState& z, int rootBits) {
    z.rootBits = rootBits;
    z.clear = 1 << rootBits;
    z.end = z.clear + 1;
    z.firstFree = z.clear + 2;
    restartTable(z);
    z.oldCode = -1;
    z.firstChar = 0;
    z.filled = 0;
    gif.bitBuffer = 0;
    gif.bitCount = 0;
    gif.bytesLeft = 0;
    gif.terminatorSeen = 0;
    gif.row = 0;
    gif.pass = 1;
}

} // namespace

int GetGIFimage(DIB* frame, uint8_t* line) {
    gif.terminatorSeen = 0;
    const int m = readByte();
    if (m < 2 || m > 8) return 0;
    const int width = DIBWidth(frame);
    LzwState z;
    startImage(z, m);
    int result = 0;
    for (;;) {
        int c = GetNextCode();
        if (c < 0) break;
        if (c == z.end) {
            result = 1;
            break;
        }
        if (c == z.clear) {
            restartTable(z);
            do c = GetNextCode();
            while (c == z.clear);
            if (c < 0) break;
            if (c == z.end) {
                result = 1;
                break;
            }
            if (c >= z.nextFree) c = 0;
        } else if (z.oldCode >= 0) {
            int sp = 0;
            if (!expandCode(z, c, &sp)) break;
            while (sp > 0) putPixel(z, frame, line, width, gif.stack[--sp]);
            continue;
        } else if (c >= z.clear) {
            break; // no string yet to extend: only a root code makes sense
        }
        putPixel(z, frame, line, width, c);
        z.oldCode = z.firstChar = c;
    }
    if (z.filled) LineOut(frame, line, z.filled);
    return result;
}

namespace {

// What the last graphic control extension said about the next image.
struct FrameControl {
    int disposal = 0, delay = 0, transparent = -1;
};

// Signature, logical screen and global colour table.
int readScreen(GifAnimation* anim) {
    uint8_t head[13];
    if (!readBytes(head, 13)) return DIBFailure(DIB_ERR_DAMAGED);
    if (memcmp(head, "GIF89a", 6) != 0 && memcmp(head, "GIF87a", 6) != 0)
        return DIBFailure(DIB_ERR_UNSUPPORTED);
    anim->width = rdLE16(head + 6);
    anim->height = rdLE16(head + 8);
    if (head[10] & 0x80) {
        gif.globalCount = 2 << (head[10] & 7);
        if (!readTable(gif.globalTable, gif.globalCount)) gif.globalCount = 0;
        if (head[11] < gif.globalCount) memcpy(anim->background, gif.globalTable + head[11] * 3, 3);
    }
    return 1;
}

// An extension block after its introducer; 0 when the file ends inside it.
int readExtension(FrameControl* control) {
    int label = readByte();
    if (label < 0) return 0;
    uint8_t bytes[4] = {0, 0, 0, 0};
    int lastLen = 0, n;
    while ((n = ReadSubBlock()) > 0) {
        lastLen = n;
        memcpy(bytes, gif.block, n < 4 ? size_t(n) : 4);
    }
    if (label == 0xF9 && lastLen >= 4) {
        control->transparent = (bytes[0] & 1) ? bytes[3] : -1;
        control->disposal = (bytes[0] >> 2) & 7;
        control->delay = bytes[1] + 256 * bytes[2];
    }
    return n >= 0;
}

// A line buffer for images up to `width` pixels wide.
int ensureLine(int width) {
    if (gif.lineSize >= size_t(width) + 8) return 1;
    free(gif.line);
    gif.lineSize = size_t(width) + 8;
    gif.line = static_cast<uint8_t*>(malloc(gif.lineSize));
    return gif.line ? 1 : DIBFailure(DIB_ERR_NO_MEMORY);
}

enum ImageResult { kImageRead, kImageSkipped, kStop, kFailed };

// An image descriptor and its data into frame k. *pixelsLeft is what the
// pixel limit still allows for this file.
ImageResult readImage(GifAnimation* anim, int k, const FrameControl& control,
                      uint64_t* pixelsLeft) {
    uint8_t desc[9];
    if (!readBytes(desc, 9)) return kStop;
    const int width = rdLE16(desc + 4), height = rdLE16(desc + 6);
    const uint8_t* table;
    int entries;
    if (desc[8] & 0x80) {
        entries = 2 << (desc[8] & 7);
        if (!readTable(gif.localTable, entries)) return kStop;
        table = gif.localTable;
    } else if (gif.globalCount) {
        entries = gif.globalCount;
        table = gif.globalTable;
    } else {
        return kFailed;
    }
    if (width == 0 || height == 0) {
        readByte(); // minimum code size
        skipSubBlocks();
        return kImageSkipped;
    }
    if (uint64_t(width) * uint64_t(height) > *pixelsLeft) {
        if (k == 0) DIBFailure(DIB_ERR_TOO_LARGE);
        return k == 0 ? kFailed : kStop;
    }
    *pixelsLeft -= uint64_t(width) * uint64_t(height);
    const int depth = entries <= 2 ? 1 : entries <= 16 ? 4 : 8;
    DIB* frame = &anim->frame[k];
    if (!MakeDIBBlock(frame, width, height, depth, BMP_RGB,
                      entries == (1 << depth) ? 0 : uint32_t(entries), nullptr))
        return kStop;
    for (int i = 0; i < entries; i++) memcpy(frame->palette + i * 4, table + i * 3, 3);
    anim->left[k] = rdLE16(desc);
    anim->top[k] = rdLE16(desc + 2);
    anim->delay[k] = uint16_t(control.delay);
    anim->disposal[k] = uint16_t(control.disposal);
    anim->transparent[k] = control.transparent < entries ? control.transparent : -1;
    if (!ensureLine(width)) return kFailed;
    memset(gif.line, 0, gif.lineSize);
    gif.tableSize = entries;
    gif.interlaced = (desc[8] & 0x40) != 0;
    GetGIFimage(frame, gif.line);
    // Whatever the decoder left of this image's data is not a block of the file.
    if (!gif.terminatorSeen) skipSubBlocks();
    return kImageRead;
}

} // namespace

int LoadGIFanimation(const uint8_t* data, size_t size, GifAnimation* anim) {
    GifReset();
    memset(anim, 0, sizeof *anim);
    if (!data) return 0;
    gif.data = data;
    gif.length = size;
    if (!readScreen(anim)) {
        GifReset();
        return 0;
    }
    gif.lineSize = size_t(anim->width) + 8;
    gif.line = static_cast<uint8_t*>(malloc(gif.lineSize));
    if (!gif.line) {
        GifReset();
        return DIBFailure(DIB_ERR_NO_MEMORY);
    }
    FrameControl control;
    uint64_t pixelsLeft = DIB_MAX_PIXELS;
    int k = 0, ok = 1;
    while (k < 255) {
        int b = readByte();
        if (b == 0x00) continue;
        if (b == 0x21) {
            if (!readExtension(&control)) break;
            continue;
        }
        if (b != 0x2C) break;
        ImageResult r = readImage(anim, k, control, &pixelsLeft);
        if (r == kImageRead) k++;
        if (r == kStop) break;
        if (r == kFailed) {
            ok = 0;
            break;
        }
    }
    anim->count = uint16_t(k);
    gif.data = nullptr;
    free(gif.line);
    gif.line = nullptr;
    if (!ok) {
        GifAnimationFree(anim);
        return 0;
    }
    return 1;
}

namespace {

// Logical screen size; without one, the frames' own extent stands in for it.
void screenSize(const GifAnimation* anim, int* W, int* H) {
    *W = anim->width;
    *H = anim->height;
    if (*W && *H) return;
    for (int k = 0; k < anim->count; k++) {
        int r = anim->left[k] + DIBWidth(&anim->frame[k]);
        int b = anim->top[k] + DIBHeight(&anim->frame[k]);
        if (r > *W) *W = r;
        if (b > *H) *H = b;
    }
}

// Frame k drawn over the screen picture `cur` (W x H, 24 bits).
void drawFrame(const GifAnimation* anim, int k, uint8_t* cur, int lineBytes, int W, int H) {
    const DIB* f = &anim->frame[k];
    int x0 = anim->left[k], y0 = anim->top[k];
    int x1 = x0 + DIBWidth(f) < W ? x0 + DIBWidth(f) : W;
    int y1 = y0 + DIBHeight(f) < H ? y0 + DIBHeight(f) : H;
    int trans = anim->transparent[k];
    for (int y = y0; y < y1; y++) {
        uint8_t* p = cur + size_t(H - 1 - y) * lineBytes + size_t(x0) * 3;
        for (int x = x0; x < x1; x++, p += 3) {
            int idx = frameIndex(f, x - x0, y - y0);
            if (idx != trans) memcpy(p, f->palette + idx * 4, 3);
        }
    }
}

// The screen after frame k, as its disposal leaves it for frame k + 1.
void disposeFrame(const GifAnimation* anim, int k, const uint8_t* cur, uint8_t* next, int lineBytes,
                  int W, int H) {
    const size_t area = size_t(lineBytes) * H;
    // 0 and 1 keep the picture; 4 to 7 are undefined and kept likewise.
    memcpy(next, cur, area);
    if (anim->disposal[k] != 2) return;
    const DIB* f = &anim->frame[k];
    int x0 = anim->left[k], y0 = anim->top[k];
    int x1 = x0 + DIBWidth(f) < W ? x0 + DIBWidth(f) : W;
    int y1 = y0 + DIBHeight(f) < H ? y0 + DIBHeight(f) : H;
    if (x0 < x1 && y0 < y1) fillRect(next, lineBytes, H, x0, y0, x1, y1, anim->background);
}

// Cuts the composed strip into one block per frame, in slots 1 to count.
int sliceStrip(MultiDIB* list, const GifAnimation* anim, const DIB& strip, int count, int H) {
    const int32_t W = DIBWidth(&strip);
    const size_t slice = size_t(strip.lineBytes) * H;
    const size_t paletteBytes = size_t(strip.bits - strip.palette);
    for (int k = 0; k < count; k++) {
        int s = 1 + k;
        int d = anim->delay[k];
        int tenths = d > 10 ? (d + 4) / 10 : 1;
        list->frameDelay[s] = uint8_t(tenths > 255 ? 255 : tenths);
        DIB dib;
        if (!MakeDIBBlock(&dib, W, H, DIBBitCount(&strip), BMP_RGB, rdLE32(strip.bmih + BI_CLRUSED),
                          strip.bmih)) {
            for (int j = 1; j < s; j++) free(list->slot[j].mem);
            memset(list, 0, sizeof *list);
            return 0;
        }
        memcpy(dib.palette, strip.palette, paletteBytes);
        memcpy(dib.bits, strip.bits + k * slice, slice);
        list->slot[s] = dib;
    }
    return 1;
}

// The colours of the composed screens, each once, while they fit a palette:
// the frames are then composed as indices into it, a third of the memory of
// the 24-bit strip, and reduced to the strip's palette without counting
// colours.
struct ScreenColours {
    uint8_t bgr[256][3];
    int count = 0;
};

// The index of a colour, added when new; -1 when the palette is full.
int screenColour(ScreenColours& colours, const uint8_t* bgr) {
    for (int i = 0; i < colours.count; i++)
        if (memcmp(colours.bgr[i], bgr, 3) == 0) return i;
    if (colours.count == 256) return -1;
    memcpy(colours.bgr[colours.count], bgr, 3);
    return colours.count++;
}

// The screens of all frames as indices, W bytes a row, in the rows' stored
// order (each frame bottom-up, frame 0 first), as the 24-bit strip has them.
struct IndexStrip {
    uint8_t* at;
    uint8_t* line; // W bytes behind the screens, for unpacking a frame's row
    int W, H;
    ScreenColours colours;
    uint8_t* screen(int k) const { return at + size_t(k) * W * H; }
    uint8_t* row(int k, int y) const { return screen(k) + size_t(H - 1 - y) * W; }
};

void fillIndices(const IndexStrip& s, int k, int x0, int y0, int x1, int y1, uint8_t index) {
    for (int y = y0; y < y1; y++) memset(s.row(k, y) + x0, index, size_t(x1 - x0));
}

// Frame k drawn over screen k as indices; 0 when its colours overflow the palette.
int drawFrameIndices(IndexStrip& s, const GifAnimation* anim, int k) {
    const DIB* f = &anim->frame[k];
    const int x0 = anim->left[k], y0 = anim->top[k];
    const int x1 = std::min(x0 + DIBWidth(f), s.W), y1 = std::min(y0 + DIBHeight(f), s.H);
    const int trans = anim->transparent[k];
    int toScreen[256];
    std::fill(toScreen, toScreen + 256, -1);
    const bool bytes = DIBBitCount(f) == 8;
    for (int y = y0; y < y1; y++) {
        // Frames of 1 and 4 bits are unpacked into the line buffer first.
        const uint8_t* from = f->bits + size_t(DIBHeight(f) - 1 - (y - y0)) * f->lineBytes;
        if (!bytes) {
            for (int x = x0; x < x1; x++) s.line[x - x0] = uint8_t(frameIndex(f, x - x0, y - y0));
            from = s.line;
        }
        uint8_t* to = s.row(k, y);
        for (int x = x0; x < x1; x++) {
            const int idx = from[x - x0];
            if (idx == trans) continue;
            if (toScreen[idx] < 0) {
                toScreen[idx] = screenColour(s.colours, f->palette + idx * 4);
                if (toScreen[idx] < 0) return 0;
            }
            to[x] = uint8_t(toScreen[idx]);
        }
    }
    return 1;
}

// Every frame composed as the 24-bit path composes it; 0 when the colours
// overflow the palette.
int composeIndices(IndexStrip& s, const GifAnimation* anim, int count) {
    const size_t area = size_t(s.W) * s.H;
    const int background = screenColour(s.colours, anim->background);
    for (int k = 0; k < count; k++) {
        const bool last = k == count - 1;
        if (k == 0) fillIndices(s, 0, 0, 0, s.W, s.H, uint8_t(background));
        if (!last && anim->disposal[k] == 3) memcpy(s.screen(k + 1), s.screen(k), area);
        if (!drawFrameIndices(s, anim, k)) return 0;
        if (last || anim->disposal[k] == 3) continue;
        memcpy(s.screen(k + 1), s.screen(k), area);
        if (anim->disposal[k] != 2) continue;
        const DIB* f = &anim->frame[k];
        const int x0 = anim->left[k], y0 = anim->top[k];
        const int x1 = std::min(x0 + DIBWidth(f), s.W), y1 = std::min(y0 + DIBHeight(f), s.H);
        if (x0 < x1 && y0 < y1) fillIndices(s, k + 1, x0, y0, x1, y1, uint8_t(background));
    }
    return 1;
}

// The strip's palette in the order the colours first occur in its stored
// rows, as the reduction of the 24-bit strip orders it: order[i] is the
// entry of screen colour i, -1 for a colour that no pixel kept. Returns the
// number of colours.
int firstOccurrence(const IndexStrip& s, int count, int* order) {
    std::fill(order, order + 256, -1);
    int n = 0;
    const size_t total = size_t(s.W) * s.H * count;
    for (size_t i = 0; i < total && n < s.colours.count; i++)
        if (order[s.at[i]] < 0) order[s.at[i]] = n++;
    return n;
}

// One block per frame, in slots 1 to count, with the strip's palette.
int sliceIndices(MultiDIB* list, const GifAnimation* anim, const IndexStrip& s, int count) {
    int order[256];
    const int c = firstOccurrence(s, count, order);
    const int depth = c <= 2 ? 1 : c <= 16 ? 4 : 8;
    const uint32_t clrUsed = c == (1 << depth) ? 0 : uint32_t(c);
    uint8_t entry[256];
    for (int i = 0; i < 256; i++) entry[i] = uint8_t(std::max(order[i], 0));
    for (int k = 0; k < count; k++) {
        DIB dib;
        if (!MakeDIBBlock(&dib, s.W, s.H, depth, BMP_RGB, clrUsed, nullptr)) {
            for (int j = 1; j <= k; j++) free(list->slot[j].mem);
            memset(list, 0, sizeof *list);
            return 0;
        }
        for (int i = 0; i < s.colours.count; i++)
            if (order[i] >= 0) memcpy(dib.palette + order[i] * 4, s.colours.bgr[i], 3);
        for (int j = 0; j < s.H; j++) {
            const uint8_t* from = s.screen(k) + size_t(j) * s.W;
            uint8_t* to = dib.bits + size_t(j) * dib.lineBytes;
            if (depth == 8) {
                for (int x = 0; x < s.W; x++) to[x] = entry[from[x]];
                continue;
            }
            for (int x = 0; x < s.W; x++) {
                const int v = entry[from[x]];
                if (depth == 4)
                    to[x >> 1] |= uint8_t((x & 1) ? v : v << 4);
                else if (v)
                    to[x >> 3] |= uint8_t(0x80 >> (x & 7));
            }
        }
        const int d = anim->delay[k];
        const int tenths = d > 10 ? (d + 4) / 10 : 1;
        list->frameDelay[1 + k] = uint8_t(tenths > 255 ? 255 : tenths);
        list->slot[1 + k] = dib;
    }
    return 1;
}

// The animation through the index strip: 1 done, 0 out of memory, -1 when
// its colours do not fit a palette (the 24-bit strip takes it then).
int composeFramesIndexed(MultiDIB* list, GifAnimation* anim, int count, int W, int H) {
    IndexStrip s;
    s.W = W;
    s.H = H;
    s.at = static_cast<uint8_t*>(malloc(size_t(W) * H * count + W));
    if (!s.at) return -1;
    s.line = s.at + size_t(W) * H * count;
    if (!composeIndices(s, anim, count)) {
        free(s.at);
        return -1;
    }
    GifAnimationFree(anim);
    const int ok = sliceIndices(list, anim, s, count);
    free(s.at);
    return ok;
}

int composeFrames(MultiDIB* list, GifAnimation* anim, int count) {
    int W, H;
    screenSize(anim, &W, &H);
    const int indexed = composeFramesIndexed(list, anim, count, W, H);
    if (indexed >= 0) {
        if (!indexed) return 0;
        list->count = uint16_t(count);
        list->delay = list->frameDelay[list->first + list->current];
        return 1;
    }
    DIB strip;
    if (!MakeDIBBlock(&strip, W, H * count, 24, BMP_RGB, 0, nullptr)) return 0;
    const int lineBytes = strip.lineBytes;
    const size_t area = size_t(lineBytes) * H;
    for (int k = 0; k < count; k++) {
        uint8_t* cur = strip.bits + k * area;
        const bool last = k == count - 1;
        if (k == 0) fillRect(cur, lineBytes, H, 0, 0, W, H, anim->background);
        // Disposal 3 restores the screen as it was before the frame.
        if (!last && anim->disposal[k] == 3) memcpy(cur + area, cur, area);
        drawFrame(anim, k, cur, lineBytes, W, H);
        if (!last && anim->disposal[k] != 3)
            disposeFrame(anim, k, cur, cur + area, lineBytes, W, H);
    }
    GifAnimationFree(anim);
    ChangeDIBtoMinPalette(&strip);
    const int ok = sliceStrip(list, anim, strip, count, H);
    free(strip.mem);
    if (!ok) return 0;
    list->count = uint16_t(count);
    list->delay = list->frameDelay[list->first + list->current];
    return 1;
}

// The colour that stands for transparent pixels: the file's own, moved in
// RGB565 steps until it collides with no other palette entry of the first frame.
void chooseTransparent(MultiDIB* list, GifAnimation* anim) {
    DIB* f0 = &anim->frame[0];
    int t = anim->transparent[0];
    if (t < 0) {
        list->hasTransparent = 0;
        return;
    }
    uint8_t* entry = f0->palette + t * 4;
    list->hasTransparent = 1;
    memcpy(list->fileTransparent, entry, 3);
    uint8_t c[3] = {uint8_t(entry[0] & 0xF8), uint8_t(entry[1] & 0xF8), uint8_t(entry[2] & 0xF8)};
    int tries = 0;
    while (tries < 32 && candidateCollides(f0->palette, f0->numColors, t, c)) {
        c[0] = uint8_t(c[0] + 0x08);
        c[1] = uint8_t(c[1] + 0x18);
        c[2] = uint8_t(c[2] + 0x38);
        tries++;
    }
    // Every candidate taken: the file's own colour is the least surprising choice.
    if (tries == 32) memcpy(c, entry, 3);
    memcpy(list->transparent, c, 3);
    memcpy(entry, c, 3);
    memcpy(anim->background, c, 3);
}

// As many frames as the composed strip may hold within the pixel limit; the
// others are dropped.
int framesThatFit(GifAnimation* anim) {
    int count = anim->count;
    if (count < 2) return count;
    int W, H;
    screenSize(anim, &W, &H);
    uint64_t fit = DIB_MAX_PIXELS / (uint64_t(W) * uint64_t(H));
    if (fit < uint64_t(count)) count = fit < 1 ? 1 : int(fit);
    for (int k = count; k < anim->count; k++) {
        free(anim->frame[k].mem);
        memset(&anim->frame[k], 0, sizeof(DIB));
    }
    return count;
}

} // namespace

int LoadGIFmemory(MultiDIB* list, const uint8_t* data, size_t size) {
    GifAnimation* anim = static_cast<GifAnimation*>(calloc(1, sizeof(GifAnimation)));
    if (!anim) return DIBFailure(DIB_ERR_NO_MEMORY);
    if (!LoadGIFanimation(data, size, anim) || anim->count == 0) {
        GifAnimationFree(anim);
        free(anim);
        GifReset();
        return 0;
    }
    GifReset();
    list->current = 0;
    list->first = 1;
    chooseTransparent(list, anim);
    const int count = framesThatFit(anim);
    if (count > 1) {
        int ok = composeFrames(list, anim, count);
        if (!ok) {
            GifAnimationFree(anim);
            memset(list, 0, sizeof *list);
        }
        free(anim);
        return ok;
    }
    // A still picture, or an animation too large to compose: the first image alone.
    DIB* f0 = &anim->frame[0];
    DIB still = *f0;
    memset(f0, 0, sizeof(DIB));
    GifAnimationFree(anim);
    free(anim);
    ChangeDIBtoMinPalette(&still);
    list->slot[1] = still;
    list->count = 1;
    return 1;
}

int LoadGIF(MultiDIB* list, const char* fileName) {
    size_t size = 0;
    uint8_t* data = ReadImageFile(fileName, DIB_MAX_FILE_BYTES, &size);
    if (!data) return 0;
    const int ok = LoadGIFmemory(list, data, size);
    free(data);
    return ok;
}
