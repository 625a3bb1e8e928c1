// GIF reader: our own LZW decoder, then the composition of animation frames on
// the logical screen (position, transparency, disposal) into full-screen bitmaps.
#include "image/gif_internal.h"

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

void setDibFields(DIB* dib, uint8_t* mem, uint32_t palEntries) {
    int32_t width = int32_t(rdLE32(mem + BI_WIDTH));
    int32_t height = int32_t(rdLE32(mem + BI_HEIGHT));
    int bitCount = rdLE16(mem + BI_BITCOUNT);
    dib->mem = dib->bmih = mem;
    dib->lineBytes = int32_t(((int64_t(width) * bitCount + 31) / 32) * 4);
    dib->palette = mem + 40;
    dib->bits = mem + 40 + palEntries * 4;
    dib->numColors = bitCount == 24 ? 16777216 : int32_t(palEntries);
    dib->memSize = uint32_t(40 + palEntries * 4 + uint64_t(dib->lineBytes) * height);
    wrLE32(mem + BI_SIZEIMAGE, uint32_t(int64_t(dib->lineBytes) * height));
}

void writeHeader(uint8_t* mem, uint32_t width, uint32_t height, int bits, uint32_t clrUsed) {
    wrLE32(mem + BI_SIZE, 40);
    wrLE32(mem + BI_WIDTH, width);
    wrLE32(mem + BI_HEIGHT, height);
    wrLE16(mem + BI_PLANES, 1);
    wrLE16(mem + BI_BITCOUNT, uint16_t(bits));
    wrLE32(mem + BI_COMPRESSION, 0);
    wrLE32(mem + BI_XPELS, 2500);
    wrLE32(mem + BI_YPELS, 2500);
    wrLE32(mem + BI_CLRUSED, clrUsed);
    wrLE32(mem + BI_CLRIMPORTANT, clrUsed);
}

int frameIndex(const DIB* frame, int x, int y) {
    int height = int(rdLE32(frame->bmih + BI_HEIGHT));
    const uint8_t* row = frame->bits + size_t(height - 1 - y) * frame->lineBytes;
    switch (rdLE16(frame->bmih + BI_BITCOUNT)) {
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
    free(const_cast<uint8_t*>(gif.data));
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
    int width = int(rdLE32(frame->bmih + BI_WIDTH));
    int height = int(rdLE32(frame->bmih + BI_HEIGHT));
    if (n > width) n = width;
    if (gif.row >= 0 && gif.row < height) {
        uint8_t* dst = frame->bits + size_t(height - 1 - gif.row) * frame->lineBytes;
        switch (rdLE16(frame->bmih + BI_BITCOUNT)) {
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

int GetGIFimage(DIB* frame, uint8_t* line) {
    gif.terminatorSeen = 0;
    const int m = readByte();
    if (m < 2 || m > 8) return 0;
    const int clear = 1 << m, end = clear + 1, firstFree = clear + 2;
    const int width = int(rdLE32(frame->bmih + BI_WIDTH));
    const int tableSize = gif.tableSize;
    gif.codeSize = m + 1;
    int top = 1 << (m + 1);
    int nextFree = firstFree;
    gif.bitBuffer = 0;
    gif.bitCount = 0;
    gif.bytesLeft = 0;
    gif.terminatorSeen = 0;
    gif.row = 0;
    gif.pass = 1;

    int filled = 0;
    int oldCode = -1, firstChar = 0;
    int result = 0;
    auto put = [&](int v) {
        line[filled++] = uint8_t(v < tableSize ? v : 0); // beyond the table: entry 0
        if (filled == width) {
            LineOut(frame, line, width);
            filled = 0;
        }
    };

    for (;;) {
        int c = GetNextCode();
        if (c < 0) break;
        if (c == end) {
            result = 1;
            break;
        }
        if (c == clear) {
            gif.codeSize = m + 1;
            nextFree = firstFree;
            top = 1 << (m + 1);
            do c = GetNextCode();
            while (c == clear);
            if (c < 0) break;
            if (c == end) {
                result = 1;
                break;
            }
            if (c >= nextFree) c = 0;
            put(c);
            oldCode = firstChar = c;
            continue;
        }
        if (oldCode < 0) {
            // No string yet to extend: only a root code makes sense.
            if (c >= clear) break;
            put(c);
            oldCode = firstChar = c;
            continue;
        }
        if (c > nextFree) break; // names a string that does not exist yet
        int code = c, sp = 0;
        if (code == nextFree) {
            gif.stack[sp++] = uint8_t(firstChar);
            code = oldCode;
        }
        while (code >= firstFree && sp < 4096) {
            gif.stack[sp++] = gif.suffix[code];
            code = gif.prefix[code];
        }
        if (code >= firstFree) break; // cannot happen with tables we built; stay safe
        gif.stack[sp++] = uint8_t(code);
        if (nextFree < top) {
            gif.suffix[nextFree] = uint8_t(code);
            gif.prefix[nextFree] = uint16_t(oldCode);
            nextFree++;
        }
        if (nextFree >= top && gif.codeSize < 12) {
            top <<= 1;
            gif.codeSize++;
        }
        oldCode = c;
        firstChar = code;
        while (sp > 0) put(gif.stack[--sp]);
    }
    if (filled) LineOut(frame, line, filled);
    return result;
}

int LoadGIFanimation(const char* fileName, GifAnimation* anim) {
    GifReset();
    memset(anim, 0, sizeof *anim);
    gif.data = ReadImageFile(fileName, GIF_MAX_STRIP, &gif.length);
    if (!gif.data) return 0;
    uint8_t head[13];
    if (!readBytes(head, 13) ||
        (memcmp(head, "GIF89a", 6) != 0 && memcmp(head, "GIF87a", 6) != 0)) {
        GifReset();
        return 0;
    }
    anim->width = rdLE16(head + 6);
    anim->height = rdLE16(head + 8);
    if (head[10] & 0x80) {
        gif.globalCount = 2 << (head[10] & 7);
        if (!readTable(gif.globalTable, gif.globalCount)) gif.globalCount = 0;
        if (head[11] < gif.globalCount) memcpy(anim->background, gif.globalTable + head[11] * 3, 3);
    }
    gif.lineSize = size_t(anim->width) + 8;
    gif.line = static_cast<uint8_t*>(malloc(gif.lineSize));
    if (!gif.line) {
        GifReset();
        return 0;
    }

    int disposal = 0, delay = 0, transparent = -1;
    int k = 0, ok = 1;
    uint8_t control[4] = {0, 0, 0, 0};
    while (k < 255) {
        int b = readByte();
        if (b == 0x00) continue;
        if (b == 0x21) {
            int label = readByte();
            if (label < 0) break;
            int lastLen = 0;
            int n;
            while ((n = ReadSubBlock()) > 0) {
                lastLen = n;
                memcpy(control, gif.block, n < 4 ? size_t(n) : 4);
            }
            if (label == 0xF9 && lastLen >= 4) {
                transparent = (control[0] & 1) ? control[3] : -1;
                disposal = (control[0] >> 2) & 7;
                delay = control[1] + 256 * control[2];
            }
            if (n < 0) break;
            continue;
        }
        if (b != 0x2C) break;
        uint8_t desc[9];
        if (!readBytes(desc, 9)) break;
        int width = rdLE16(desc + 4), height = rdLE16(desc + 6);
        const uint8_t* table;
        int entries;
        if (desc[8] & 0x80) {
            entries = 2 << (desc[8] & 7);
            if (!readTable(gif.localTable, entries)) break;
            table = gif.localTable;
        } else if (gif.globalCount) {
            entries = gif.globalCount;
            table = gif.globalTable;
        } else {
            ok = 0;
            break;
        }
        if (width == 0 || height == 0 || uint64_t(width) * height > GIF_MAX_FRAME_PIXELS) {
            readByte(); // minimum code size
            skipSubBlocks();
            continue;
        }
        int depth = entries <= 2 ? 1 : entries <= 16 ? 4 : 8;
        size_t lineBytes = ((size_t(width) * depth + 31) / 32) * 4;
        uint8_t* mem =
            static_cast<uint8_t*>(calloc(40 + size_t(entries) * 4 + lineBytes * height, 1));
        if (!mem) break;
        writeHeader(mem, uint32_t(width), uint32_t(height), depth,
                    entries == (1 << depth) ? 0 : uint32_t(entries));
        for (int i = 0; i < entries; i++) memcpy(mem + 40 + i * 4, table + i * 3, 3);
        DIB* frame = &anim->frame[k];
        setDibFields(frame, mem, uint32_t(entries));
        anim->left[k] = rdLE16(desc);
        anim->top[k] = rdLE16(desc + 2);
        anim->delay[k] = uint16_t(delay);
        anim->disposal[k] = uint16_t(disposal);
        anim->transparent[k] = transparent < entries ? transparent : -1;

        if (gif.lineSize < size_t(width) + 8) {
            free(gif.line);
            gif.lineSize = size_t(width) + 8;
            gif.line = static_cast<uint8_t*>(malloc(gif.lineSize));
            if (!gif.line) {
                ok = 0;
                k++;
                break;
            }
        }
        memset(gif.line, 0, gif.lineSize);
        gif.tableSize = entries;
        gif.interlaced = (desc[8] & 0x40) != 0;
        GetGIFimage(frame, gif.line);
        // Whatever the decoder left of this image's data is not a block of the file.
        if (!gif.terminatorSeen) skipSubBlocks();
        k++;
    }
    anim->count = uint16_t(k);
    free(const_cast<uint8_t*>(gif.data));
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
        int r = anim->left[k] + int(rdLE32(anim->frame[k].bmih + BI_WIDTH));
        int b = anim->top[k] + int(rdLE32(anim->frame[k].bmih + BI_HEIGHT));
        if (r > *W) *W = r;
        if (b > *H) *H = b;
    }
}

int composeFrames(MultiDIB* list, GifAnimation* anim, int count) {
    int W, H;
    screenSize(anim, &W, &H);
    const int lineBytes = ((W * 24 + 31) / 32) * 4;
    const size_t area = size_t(lineBytes) * H;
    DIB strip = {};
    uint8_t* mem = static_cast<uint8_t*>(malloc(40 + area * count));
    if (!mem) return 0;
    memset(mem, 0, 40);
    writeHeader(mem, uint32_t(W), uint32_t(H) * count, 24, 0);
    setDibFields(&strip, mem, 0);
    const uint8_t* bg = anim->background;

    for (int k = 0; k < count; k++) {
        uint8_t* cur = strip.bits + k * area;
        uint8_t* next = strip.bits + (k + 1) * area;
        const bool last = k == count - 1;
        if (k == 0) fillRect(cur, lineBytes, H, 0, 0, W, H, bg);
        if (!last && anim->disposal[k] == 3) memcpy(next, cur, area);

        const DIB* f = &anim->frame[k];
        int fw = int(rdLE32(f->bmih + BI_WIDTH)), fh = int(rdLE32(f->bmih + BI_HEIGHT));
        int x0 = anim->left[k], y0 = anim->top[k];
        int x1 = x0 + fw < W ? x0 + fw : W, y1 = y0 + fh < H ? y0 + fh : H;
        int trans = anim->transparent[k];
        for (int y = y0; y < y1; y++) {
            uint8_t* p = cur + size_t(H - 1 - y) * lineBytes + size_t(x0) * 3;
            for (int x = x0; x < x1; x++, p += 3) {
                int idx = frameIndex(f, x - x0, y - y0);
                if (idx != trans) memcpy(p, f->palette + idx * 4, 3);
            }
        }
        if (!last && anim->disposal[k] != 3) {
            // 0 and 1 keep the picture; 4 to 7 are undefined and kept likewise.
            memcpy(next, cur, area);
            if (anim->disposal[k] == 2 && x0 < x1 && y0 < y1)
                fillRect(next, lineBytes, H, x0, y0, x1, y1, bg);
        }
    }
    GifAnimationFree(anim);
    ChangeDIBtoMinPalette(&strip);

    const uint32_t palBytes = uint32_t(strip.bits - strip.mem) - 40;
    const size_t slice = size_t(strip.lineBytes) * H;
    for (int k = 0; k < count; k++) {
        int s = 1 + k;
        int d = anim->delay[k];
        int tenths = d > 10 ? (d + 4) / 10 : 1;
        list->frameDelay[s] = uint8_t(tenths > 255 ? 255 : tenths);
        uint8_t* block = static_cast<uint8_t*>(malloc(40 + palBytes + slice));
        if (!block) {
            for (int j = 1; j < s; j++) {
                DIB made;
                memcpy(&made, &list->slot[j], sizeof made);
                free(made.mem);
            }
            free(strip.mem);
            memset(list, 0, sizeof *list);
            return 0;
        }
        memcpy(block, strip.mem, 40 + palBytes);
        memcpy(block + 40 + palBytes, strip.bits + k * slice, slice);
        wrLE32(block + BI_HEIGHT, uint32_t(H));
        DIB dib;
        memset(&dib, 0, sizeof dib);
        setDibFields(&dib, block, palBytes / 4);
        dib.numColors = strip.numColors;
        memcpy(&list->slot[s], &dib, sizeof dib); // the list is packed
    }
    free(strip.mem);
    list->count = uint16_t(count);
    list->delay = list->frameDelay[list->first + list->current];
    return 1;
}

} // namespace

int LoadGIF(MultiDIB* list, const char* fileName) {
    GifAnimation* anim = static_cast<GifAnimation*>(calloc(1, sizeof(GifAnimation)));
    if (!anim) return 0;
    if (!LoadGIFanimation(fileName, anim) || anim->count == 0) {
        GifAnimationFree(anim);
        free(anim);
        GifReset();
        return 0;
    }
    GifReset();
    list->current = 0;
    list->first = 1;

    DIB* f0 = &anim->frame[0];
    int t = anim->transparent[0];
    if (t >= 0) {
        uint8_t* entry = f0->palette + t * 4;
        list->hasTransparent = 1;
        memcpy(list->fileTransparent, entry, 3);
        uint8_t c[3] = {uint8_t(entry[0] & 0xF8), uint8_t(entry[1] & 0xF8),
                        uint8_t(entry[2] & 0xF8)};
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
    } else {
        list->hasTransparent = 0;
    }

    int count = anim->count;
    if (count > 1) {
        int W, H;
        screenSize(anim, &W, &H);
        uint64_t area = ((uint64_t(W) * 24 + 31) / 32) * 4 * H;
        uint64_t fit = GIF_MAX_STRIP / area;
        if (fit < uint64_t(count)) count = fit < 1 ? 1 : int(fit);
        for (int k = count; k < anim->count; k++) {
            free(anim->frame[k].mem);
            memset(&anim->frame[k], 0, sizeof(DIB));
        }
    }
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
    DIB still = *f0;
    memset(f0, 0, sizeof(DIB));
    GifAnimationFree(anim);
    free(anim);
    ChangeDIBtoMinPalette(&still);
    memcpy(&list->slot[1], &still, sizeof still); // the list is packed
    list->count = 1;
    return 1;
}
