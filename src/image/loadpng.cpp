// PNG reader: chunks, inflation through zlib, the five filters, Adam7, and the
// reduction of every colour type to a 1-, 4-, 8- or 24-bit DIB.
#include "image/png_internal.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

PngState png;

namespace {

const uint8_t kSignature[8] = {0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A};

// Adam7: start column, start row, column step, row step of each pass.
const uint8_t kPassCol[7] = {0, 4, 0, 2, 0, 1, 0};
const uint8_t kPassRow[7] = {0, 0, 4, 0, 2, 0, 1};
const uint8_t kPassColStep[7] = {8, 8, 4, 4, 2, 2, 1};
const uint8_t kPassRowStep[7] = {8, 8, 8, 4, 4, 2, 2};

int channels(int colorType) {
    switch (colorType) {
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 1;
    }
}

bool typeIs(const char* t) {
    return memcmp(png.chunkType, t, 4) == 0;
}

uint32_t passSize(uint32_t full, uint32_t start, uint32_t step) {
    return full > start ? (full - start + step - 1) / step : 0;
}

bool validDepth(int colorType, int depth) {
    switch (colorType) {
    case 0:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3:
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2:
    case 4:
    case 6:
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

int handleHeader() {
    if (png.haveHeader || png.chunkLen != 13) return 0;
    const uint8_t* d = png.chunkData;
    png.width = rdUINT(d);
    png.height = rdUINT(d + 4);
    png.bitDepth = d[8];
    png.colorType = d[9];
    png.compression = d[10];
    png.filterMethod = d[11];
    png.interlace = d[12];
    png.haveHeader = 1;
    if (png.compression != 0 || png.filterMethod != 0 || png.interlace > 1)
        return DIBFailure(DIB_ERR_UNSUPPORTED);
    if (!validDepth(png.colorType, png.bitDepth)) return DIBFailure(DIB_ERR_DAMAGED);
    if (png.width == 0 || png.height == 0) return DIBFailure(DIB_ERR_DAMAGED);
    if (DIBTooManyPixels(png.width, png.height)) return DIBFailure(DIB_ERR_TOO_LARGE);
    png.rowBytes = png_linebytes(png.width, png.bitDepth, png.colorType);
    return 1;
}

int handlePalette() {
    if (png.paletteCount) return 0; // a second PLTE
    uint32_t n = png.chunkLen / 3;
    if (png.chunkLen % 3 || n == 0 || n > 256) return 0;
    if (png.colorType == 3 && n > (1u << png.bitDepth)) return 0;
    if (png.colorType == 0 || png.colorType == 4) return 1; // meaningless for grey: ignored
    memcpy(png.palette, png.chunkData, n * 3);
    png.paletteCount = int(n);
    return 1;
}

void handleTransparency() {
    const uint8_t* d = png.chunkData;
    uint32_t n = png.chunkLen;
    png.trnsLen = 0;
    if (png.colorType == 0) {
        if (n != 2) return;
        png.trnsGrey = png.bitDepth == 16 ? d[0] : d[1];
        // A sample beyond the depth names no grey level.
        if (png.bitDepth < 16 && ((d[0] << 8) | d[1]) >= (1 << png.bitDepth)) return;
    } else if (png.colorType == 2) {
        if (n != 6) return;
        int o = png.bitDepth == 16 ? 0 : 1;
        png.trnsRGB[0] = d[o];
        png.trnsRGB[1] = d[o + 2];
        png.trnsRGB[2] = d[o + 4];
    } else if (png.colorType == 3) {
        if (n == 0 || n > 256) return;
        memset(png.alpha, 255, sizeof png.alpha);
        memcpy(png.alpha, d, n);
    }
    png.trnsLen = n;
}

int inflateImage() {
    if (!png.idat || !png.haveHeader) return 0;
    if (png.colorType == 3 && png.paletteCount == 0) return 0;
    uint64_t needed = png_inflated_size();
    // Deflate cannot expand by more than about 1032:1; a larger claim is a lie
    // that would only make us allocate memory for nothing.
    if (needed > uint64_t(png.idatLen) * 1040 + 4096) return 0;
    size_t zero = png.rowBytes + 1;
    png.inflatedLen = zero + size_t(needed);
    png.inflated = static_cast<uint8_t*>(malloc(png.inflatedLen));
    if (!png.inflated) return DIBFailure(DIB_ERR_NO_MEMORY);
    memset(png.inflated, 0, zero);
    uLongf outLen = uLongf(needed);
    int rc = uncompress(png.inflated + zero, &outLen, png.idat, uLong(png.idatLen));
    if (rc != Z_OK || outLen != needed) return 0;
    return 1;
}

void setGreyPalette(uint8_t* pal, int size) {
    int step = size > 1 ? 256 / (size - 1) : 0;
    for (int i = 0; i < size; i++) {
        int v = i * step;
        uint8_t g = uint8_t(v > 255 ? 255 : v);
        pal[i * 4] = pal[i * 4 + 1] = pal[i * 4 + 2] = g;
        pal[i * 4 + 3] = 0;
    }
}

bool isBlackOrWhite(const uint8_t* rgb) {
    return rgb[0] == rgb[1] && rgb[1] == rgb[2] && (rgb[0] == 0 || rgb[0] == 255);
}

int sampleAt(const uint8_t* row, uint32_t x, int depth) {
    switch (depth) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 2:
        return (row[x >> 2] >> (6 - 2 * (x & 3))) & 3;
    case 4:
        return (row[x >> 1] >> (4 - 4 * (x & 1))) & 15;
    case 8:
        return row[x];
    default:
        return row[2 * x];
    }
}

// Highest palette index the picture uses (palette pictures only).
int maxIndex() {
    int best = 0;
    for (uint32_t y = 0; y < png.height; y++) {
        const uint8_t* row = png.rows + y * png.rowStride;
        if (png.bitDepth == 8) {
            for (uint32_t x = 0; x < png.width; x++)
                if (row[x] > best) best = row[x];
        } else {
            for (uint32_t x = 0; x < png.width; x++) {
                int s = sampleAt(row, x, png.bitDepth);
                if (s > best) best = s;
            }
        }
    }
    return best;
}

} // namespace

void PngReset() {
    free(png.idatCopy);
    free(png.inflated);
    free(png.image);
    memset(&png, 0, sizeof png);
}

uint32_t rdUINT(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

int ReadChunk() {
    if (png.pos > png.fileLen || png.fileLen - png.pos < 12) return 0;
    const uint8_t* p = png.file + png.pos;
    uint32_t len = rdUINT(p);
    if (len > 0x7FFFFFFFu || png.fileLen - png.pos - 12 < len) return 0;
    png.chunkLen = len;
    memcpy(png.chunkType, p + 4, 4);
    png.chunkData = p + 8;
    uint32_t stored = rdUINT(p + 8 + len);
    png.pos += size_t(len) + 12;
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Fuzzers cannot forge checksums; without this they never get past the chunks.
    (void)stored;
    return 1;
#else
    uLong crc = crc32(0L, p + 4, uInt(len + 4));
    return crc == stored;
#endif
}

size_t png_linebytes(uint32_t width, int bitDepth, int colorType) {
    return size_t((uint64_t(width) * bitDepth + 7) / 8) * channels(colorType);
}

namespace {

// The filters with the pixel distance fixed at compile time: the bytes of one
// pixel are independent, so the compiler can overlap their work.
template <size_t BPP> void unfilterRow(int type, uint8_t* x, const uint8_t* b, size_t n) {
    const size_t head = BPP < n ? BPP : n;
    switch (type) {
    case 1:
        for (size_t i = BPP; i < n; i++) x[i] = uint8_t(x[i] + x[i - BPP]);
        break;
    case 2:
        for (size_t i = 0; i < n; i++) x[i] = uint8_t(x[i] + b[i]);
        break;
    case 3:
        for (size_t i = 0; i < head; i++) x[i] = uint8_t(x[i] + (b[i] >> 1));
        for (size_t i = BPP; i < n; i++) x[i] = uint8_t(x[i] + ((x[i - BPP] + b[i]) >> 1));
        break;
    case 4:
        // With a and c zero the predictor is b.
        for (size_t i = 0; i < head; i++) x[i] = uint8_t(x[i] + b[i]);
        for (size_t i = BPP; i < n; i++) {
            int a = x[i - BPP], bb = b[i], c = b[i - BPP];
            int pa = abs(bb - c), pb = abs(a - c), pc = abs(a + bb - 2 * c);
            int pred = pb <= pc ? bb : c;
            pred = (pa <= pb && pa <= pc) ? a : pred;
            x[i] = uint8_t(x[i] + pred);
        }
        break;
    default:
        break;
    }
}

} // namespace

void png_filter_row(const uint8_t* prior, uint8_t* row, size_t n) {
    size_t bpp = size_t((png.bitDepth + 7) / 8) * channels(png.colorType);
    uint8_t* x = row + 1;
    const uint8_t* b = prior + 1;
    switch (bpp) {
    case 1:
        unfilterRow<1>(row[0], x, b, n);
        break;
    case 2:
        unfilterRow<2>(row[0], x, b, n);
        break;
    case 3:
        unfilterRow<3>(row[0], x, b, n);
        break;
    case 4:
        unfilterRow<4>(row[0], x, b, n);
        break;
    case 6:
        unfilterRow<6>(row[0], x, b, n);
        break;
    default:
        unfilterRow<8>(row[0], x, b, n);
        break;
    }
}

void png_filter_data(uint8_t* first, size_t n, size_t rows) {
    memset(first, 0, n + 1);
    uint8_t* prior = first;
    for (size_t r = 0; r < rows; r++) {
        uint8_t* row = prior + n + 1;
        png_filter_row(prior, row, n);
        prior = row;
    }
}

uint64_t png_inflated_size() {
    if (!png.interlace) return uint64_t(png.rowBytes + 1) * png.height;
    uint64_t total = 0;
    for (int p = 0; p < 7; p++) {
        uint32_t w = passSize(png.width, kPassCol[p], kPassColStep[p]);
        uint32_t h = passSize(png.height, kPassRow[p], kPassRowStep[p]);
        if (w && h) total += uint64_t(png_linebytes(w, png.bitDepth, png.colorType) + 1) * h;
    }
    return total;
}

void CopyFilteredData() {
    // The unfiltered rows are read in place: copying them out would only cost time.
    png_filter_data(png.inflated, png.rowBytes, png.height);
    png.rows = png.inflated + png.rowBytes + 2;
    png.rowStride = png.rowBytes + 1;
}

void CopyRowPixel(uint8_t* target, uint32_t targetColumn, const uint8_t* source,
                  uint32_t sourceColumn) {
    int depth = png.bitDepth;
    if (depth < 8) {
        int perByte = 8 / depth;
        int mask = (1 << depth) - 1;
        int sShift = 8 - depth * (int(sourceColumn % perByte) + 1);
        int tShift = 8 - depth * (int(targetColumn % perByte) + 1);
        int v = (source[sourceColumn / perByte] >> sShift) & mask;
        target[targetColumn / perByte] |= uint8_t(v << tShift);
    } else {
        size_t bytes = size_t(depth / 8) * channels(png.colorType);
        memcpy(target + targetColumn * bytes, source + sourceColumn * bytes, bytes);
    }
}

int CopyFilteredInterlacedData() {
    png.image = static_cast<uint8_t*>(calloc(png.rowBytes ? png.rowBytes : 1, png.height));
    if (!png.image) return DIBFailure(DIB_ERR_NO_MEMORY);
    uint8_t* pass = png.inflated + png.rowBytes + 1;
    for (int p = 0; p < 7; p++) {
        uint32_t w = passSize(png.width, kPassCol[p], kPassColStep[p]);
        uint32_t h = passSize(png.height, kPassRow[p], kPassRowStep[p]);
        if (!w || !h) continue;
        size_t n = png_linebytes(w, png.bitDepth, png.colorType);
        // The row before the pass (already consumed) serves as its zero row.
        png_filter_data(pass - (n + 1), n, h);
        const size_t pixelBytes = png.bitDepth >= 8 ? n / w : 0;
        for (uint32_t r = 0; r < h; r++) {
            const uint8_t* src = pass + r * (n + 1) + 1;
            uint8_t* dst = png.image + (kPassRow[p] + size_t(r) * kPassRowStep[p]) * png.rowBytes;
            if (pixelBytes == 3) {
                // The common RGB case without a call per pixel.
                uint8_t* t = dst + size_t(kPassCol[p]) * 3;
                const size_t step = size_t(kPassColStep[p]) * 3;
                for (uint32_t i = 0; i < w; i++, src += 3, t += step) {
                    t[0] = src[0];
                    t[1] = src[1];
                    t[2] = src[2];
                }
            } else if (pixelBytes == 4) {
                uint8_t* t = dst + size_t(kPassCol[p]) * 4;
                const size_t step = size_t(kPassColStep[p]) * 4;
                for (uint32_t i = 0; i < w; i++, src += 4, t += step) memcpy(t, src, 4);
            } else {
                for (uint32_t i = 0; i < w; i++)
                    CopyRowPixel(dst, kPassCol[p] + i * kPassColStep[p], src, i);
            }
        }
        pass += (n + 1) * h;
    }
    png.rows = png.image;
    png.rowStride = png.rowBytes;
    return 1;
}

namespace {

// The first palette entry whose alpha is below the threshold: the one that
// all transparent entries are redirected to; -1 when there is none.
int transparentIndex() {
    if (png.colorType != 3 || !png.trnsLen) return -1;
    uint32_t limit = png.trnsLen < uint32_t(png.paletteCount) ? png.trnsLen : png.paletteCount;
    for (uint32_t i = 0; i < limit; i++)
        if (png.alpha[i] < png.alphaThreshold) return int(i);
    return -1;
}

// Depth and palette size of the bitmap made from the picture.
void chooseDepth(int transIndex, int* depth, int* palSize) {
    const int ct = png.colorType, bd = png.bitDepth;
    if (ct == 2 || ct == 4 || ct == 6) {
        *depth = 24;
        *palSize = 0;
    } else if (bd == 1) {
        *depth = 1;
        *palSize = 2;
        // A two-colour palette stays 1-bit only for black and white, and only
        // when no index has to be redirected to a transparent entry.
        if (ct == 3 && (png.paletteCount < 2 || transIndex >= 0 || !isBlackOrWhite(png.palette) ||
                        !isBlackOrWhite(png.palette + 3) || png.palette[0] == png.palette[3]))
            *depth = 4;
    } else if (bd == 2) {
        *depth = 4;
        *palSize = 4;
    } else if (bd == 4) {
        *depth = 4;
        *palSize = 16;
    } else {
        *depth = 8;
        *palSize = 256;
    }
    if (ct == 3) {
        *palSize = png.paletteCount;
        // Indices beyond PLTE get black entries rather than pointing past the palette.
        if (*palSize < (1 << bd)) {
            int m = maxIndex();
            if (m >= *palSize) *palSize = m + 1;
        }
    }
}

void fillPalette(uint8_t* pal, int palSize) {
    if (png.colorType == 3) {
        for (int i = 0; i < png.paletteCount; i++) {
            pal[i * 4] = png.palette[i * 3 + 2];
            pal[i * 4 + 1] = png.palette[i * 3 + 1];
            pal[i * 4 + 2] = png.palette[i * 3];
        }
    } else if (palSize) {
        setGreyPalette(pal, palSize);
    }
}

// The transparency a tRNS chunk gives grey and RGB pictures: a grey level
// becomes pure green in the palette, an RGB colour is taken as it is.
void singleColourTransparency(uint8_t* pal, int palSize, uint16_t* hasTransparent,
                              uint8_t* transparent) {
    static const uint8_t kGreyMarker[3] = {0, 255, 0}; // blue, green, red
    *hasTransparent = 0;
    if (png.colorType == 0 && png.trnsLen && png.trnsGrey < palSize) {
        memcpy(pal + png.trnsGrey * 4, kGreyMarker, 3);
        memcpy(transparent, kGreyMarker, 3);
        *hasTransparent = 1;
    } else if (png.colorType == 2 && png.trnsLen) {
        transparent[0] = png.trnsRGB[2];
        transparent[1] = png.trnsRGB[1];
        transparent[2] = png.trnsRGB[0];
        *hasTransparent = 1;
    }
}

// One row of samples into one stored row of the bitmap.
void convertRow(const uint8_t* src, uint8_t* dst, int depth, const uint8_t* remap, int transIndex) {
    const int ct = png.colorType, bd = png.bitDepth;
    const uint32_t w = png.width;
    if (depth == 1) {
        memcpy(dst, src, png.rowBytes);
    } else if (depth == 4) {
        for (uint32_t x = 0; x < w; x++) {
            int s = sampleAt(src, x, bd);
            if (ct == 3) s = remap[s];
            dst[x >> 1] |= uint8_t((x & 1) ? s : s << 4);
        }
    } else if (depth == 8) {
        if (bd == 16) {
            for (uint32_t x = 0; x < w; x++) dst[x] = src[2 * x];
        } else if (transIndex >= 0) {
            for (uint32_t x = 0; x < w; x++) dst[x] = remap[src[x]];
        } else {
            memcpy(dst, src, w);
        }
    } else if (ct == 2) {
        const size_t step = bd == 8 ? 3 : 6, o = bd == 8 ? 1 : 2;
        for (uint32_t x = 0; x < w; x++, src += step, dst += 3) {
            dst[0] = src[2 * o];
            dst[1] = src[o];
            dst[2] = src[0];
        }
    } else if (ct == 4) {
        size_t step = bd == 8 ? 2 : 4;
        for (uint32_t x = 0; x < w; x++, src += step, dst += 3) dst[0] = dst[1] = dst[2] = *src;
    } else {
        size_t step = bd == 8 ? 4 : 8, o = bd == 8 ? 1 : 2;
        for (uint32_t x = 0; x < w; x++, src += step, dst += 3) {
            dst[0] = src[2 * o];
            dst[1] = src[o];
            dst[2] = src[0];
        }
    }
}

void copyRows(DIB* dib, int depth, int transIndex) {
    // Palette index after the alpha reduction.
    uint8_t remap[256];
    for (int i = 0; i < 256; i++)
        remap[i] = uint8_t(transIndex >= 0 && png.alpha[i] < png.alphaThreshold ? transIndex : i);
    const uint32_t h = png.height;
    for (uint32_t y = 0; y < h; y++)
        convertRow(png.rows + y * png.rowStride, dib->bits + (h - 1 - y) * size_t(dib->lineBytes),
                   depth, remap, transIndex);
}

// Pixels of an alpha channel below the threshold get a colour the picture
// does not use, which becomes the transparent one.
void alphaToColour(DIB* dib, uint16_t* hasTransparent, uint8_t* transparent) {
    const int bd = png.bitDepth;
    int found = GetUnusedColor(dib, transparent);
    *hasTransparent = uint16_t(found ? 1 : 0);
    if (!found) return;
    const size_t step = size_t(channels(png.colorType)) * (bd / 8);
    const size_t alphaAt = step - bd / 8;
    const uint32_t h = png.height;
    for (uint32_t y = 0; y < h; y++) {
        const uint8_t* src = png.rows + y * png.rowStride + alphaAt;
        uint8_t* dst = dib->bits + (h - 1 - y) * size_t(dib->lineBytes);
        for (uint32_t x = 0; x < png.width; x++, src += step, dst += 3)
            if (*src < png.alphaThreshold) memcpy(dst, transparent, 3);
    }
}

} // namespace

int PNGdatToDIB(DIB* dib, uint16_t* hasTransparent, uint8_t* transparent) {
    const int transIndex = transparentIndex();
    int depth, palSize;
    chooseDepth(transIndex, &depth, &palSize);
    if (!MakeDIBBlock(dib, int32_t(png.width), int32_t(png.height), depth, BMP_RGB,
                      uint32_t(palSize), nullptr))
        return 0;
    fillPalette(dib->palette, palSize);
    singleColourTransparency(dib->palette, palSize, hasTransparent, transparent);
    copyRows(dib, depth, transIndex);
    if (png.colorType == 4 || png.colorType == 6) {
        alphaToColour(dib, hasTransparent, transparent);
    } else if (transIndex >= 0) {
        int found = GetUnusedColor(dib, transparent);
        *hasTransparent = uint16_t(found ? 1 : 0);
        if (found) memcpy(dib->palette + transIndex * 4, transparent, 3);
    }
    return 1;
}

namespace {

// Several IDAT chunks are joined in a buffer of our own; one is read in place.
int addImageData() {
    if (!png.idat) {
        png.idat = png.chunkData;
        png.idatLen = png.chunkLen;
        return 1;
    }
    if (!png.idatCopy) {
        // The rest of the file bounds what the chunks still to come can add.
        png.idatCapacity = png.idatLen + (png.fileLen - png.pos) + png.chunkLen;
        png.idatCopy = static_cast<uint8_t*>(malloc(png.idatCapacity));
        if (!png.idatCopy) return DIBFailure(DIB_ERR_NO_MEMORY);
        memcpy(png.idatCopy, png.idat, png.idatLen);
        png.idat = png.idatCopy;
    }
    if (png.idatCapacity - png.idatLen < png.chunkLen) return DIBFailure(DIB_ERR_DAMAGED);
    memcpy(png.idatCopy + png.idatLen, png.chunkData, png.chunkLen);
    png.idatLen += png.chunkLen;
    return 1;
}

// Walks the chunks up to IEND and inflates the image data.
int readChunks() {
    int ok = 1;
    while (ok && !png.decoded) {
        if (!ReadChunk()) {
            ok = 0;
        } else if (typeIs("IHDR")) {
            ok = handleHeader();
        } else if (!png.haveHeader) {
            ok = 0; // IHDR must come first
        } else if (typeIs("PLTE")) {
            ok = handlePalette();
        } else if (typeIs("tRNS")) {
            handleTransparency();
        } else if (typeIs("IDAT")) {
            ok = addImageData();
        } else if (typeIs("IEND")) {
            ok = inflateImage();
            png.decoded = ok;
        }
    }
    return ok;
}

} // namespace

int LoadPNGdata(DIB* dib, uint16_t* hasTransparent, uint8_t* transparent, int alphaThreshold,
                const uint8_t* data, size_t size) {
    *hasTransparent = 0;
    PngReset();
    if (!data || size < sizeof kSignature || memcmp(data, kSignature, sizeof kSignature) != 0)
        return DIBFailure(DIB_ERR_UNSUPPORTED);
    png.file = data;
    png.fileLen = size;
    png.pos = sizeof kSignature;
    png.alphaThreshold = alphaThreshold;
    memset(png.alpha, 255, sizeof png.alpha);
    int ok = readChunks();
    png.file = nullptr;
    png.idat = nullptr;
    if (ok) {
        if (png.interlace)
            ok = CopyFilteredInterlacedData();
        else
            CopyFilteredData();
    }
    if (ok) ok = PNGdatToDIB(dib, hasTransparent, transparent);
    PngReset();
    return ok;
}

int LoadPNGfile(DIB* dib, uint16_t* hasTransparent, uint8_t* transparent, int alphaThreshold,
                int gamma, const char* fileName) {
    (void)gamma; // gAMA is never applied: the panel shows the samples as stored
    *hasTransparent = 0;
    size_t size = 0;
    uint8_t* data = ReadImageFile(fileName, DIB_MAX_FILE_BYTES, &size);
    if (!data) return 0;
    const int ok = LoadPNGdata(dib, hasTransparent, transparent, alphaThreshold, data, size);
    free(data);
    return ok;
}

int LoadPNGmemory(MultiDIB* list, const uint8_t* data, size_t size) {
    DIB dib;
    memset(&dib, 0, sizeof dib);
    uint16_t hasTransparent = 0;
    int ok = LoadPNGdata(&dib, &hasTransparent, list->transparent, alphaLimit, data, size);
    list->slot[1] = dib;
    list->hasTransparent = hasTransparent;
    return ok;
}

int LoadPNG(MultiDIB* list, const char* fileName) {
    size_t size = 0;
    uint8_t* data = ReadImageFile(fileName, DIB_MAX_FILE_BYTES, &size);
    if (!data) return 0;
    const int ok = LoadPNGmemory(list, data, size);
    free(data);
    return ok;
}
