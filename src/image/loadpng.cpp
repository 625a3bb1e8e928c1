// PNG reader: chunks, inflation through zlib, the five filters, Adam7, and the
// reduction of every colour type to a 1-, 4-, 8- or 24-bit DIB. The rows are
// inflated one at a time straight into the bitmap: the picture is never held
// twice. A file named is read piece by piece, not held at all: once to check
// its chunks, then again for the image data.
#include "image/png_internal.h"

#include "image/rgb565.h"

#include <zlib.h>

#include <algorithm>
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

// Whether the image data can be decoded at all: there is some, a palette
// picture has its palette, and the data could inflate to what the header needs.
int imageDataPlausible() {
    if (!png.haveIdat || !png.haveHeader) return 0;
    if (png.colorType == 3 && png.paletteCount == 0) return 0;
    // Deflate cannot expand by more than about 1032:1; a larger claim is a lie
    // that would only make us allocate memory for nothing.
    return png_inflated_size() <= png.idatLen * 1040 + 4096;
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

} // namespace

void PngReset() {
    memset(&png, 0, sizeof png);
}

uint32_t rdUINT(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

namespace {
int checksumMatches(uLong computed, uint32_t stored) {
#ifdef FUZZING_BUILD_MODE_UNSAFE_FOR_PRODUCTION
    // Fuzzers cannot forge checksums; without this they never get past the chunks.
    (void)computed;
    (void)stored;
    return 1;
#else
    return computed == stored;
#endif
}

// n bytes of the streamed file into out; 0 when it ends before.
int readStreamed(uint8_t* out, size_t n) {
    return std::fread(out, 1, n, png.stream) == n;
}

// ReadChunk for a streamed file. The data stays in png.piece when it fits,
// as it does for every chunk whose data the reader uses; a longer chunk is
// only checked.
int readStreamedChunk() {
    uint8_t head[8];
    if (!readStreamed(head, sizeof head)) return 0;
    const uint32_t len = rdUINT(head);
    if (len > 0x7FFFFFFFu) return 0;
    png.chunkLen = len;
    memcpy(png.chunkType, head + 4, 4);
    png.chunkData = len <= sizeof png.piece ? png.piece : nullptr;
    uLong crc = crc32(0L, head + 4, 4);
    for (uint32_t done = 0; done < len;) {
        const uint32_t n = std::min(len - done, uint32_t(sizeof png.piece));
        if (!readStreamed(png.piece, n)) return 0;
        crc = crc32(crc, png.piece, n);
        done += n;
    }
    uint8_t stored[4];
    if (!readStreamed(stored, sizeof stored)) return 0;
    png.pos += size_t(len) + 12;
    return checksumMatches(crc, rdUINT(stored));
}
} // namespace

int ReadChunk() {
    if (png.stream) return readStreamedChunk();
    if (png.pos > png.fileLen || png.fileLen - png.pos < 12) return 0;
    const uint8_t* p = png.file + png.pos;
    uint32_t len = rdUINT(p);
    if (len > 0x7FFFFFFFu || png.fileLen - png.pos - 12 < len) return 0;
    png.chunkLen = len;
    memcpy(png.chunkType, p + 4, 4);
    png.chunkData = p + 8;
    uint32_t stored = rdUINT(p + 8 + len);
    png.pos += size_t(len) + 12;
    return checksumMatches(crc32(0L, p + 4, uInt(len + 4)), stored);
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

// The n bytes of a row at x, filtered with type, back to samples; b is the
// row above.
void unfilter(int type, uint8_t* x, const uint8_t* b, size_t n) {
    size_t bpp = size_t((png.bitDepth + 7) / 8) * channels(png.colorType);
    switch (bpp) {
    case 1:
        unfilterRow<1>(type, x, b, n);
        break;
    case 2:
        unfilterRow<2>(type, x, b, n);
        break;
    case 3:
        unfilterRow<3>(type, x, b, n);
        break;
    case 4:
        unfilterRow<4>(type, x, b, n);
        break;
    case 6:
        unfilterRow<6>(type, x, b, n);
        break;
    default:
        unfilterRow<8>(type, x, b, n);
        break;
    }
}

} // namespace

void png_filter_row(const uint8_t* prior, uint8_t* row, size_t n) {
    unfilter(row[0], row + 1, prior + 1, n);
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

// Depth and palette size of the bitmap made from the picture (for palette
// pictures, the most entries it can need).
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
    // A palette shorter than the depth allows gets room for every index here;
    // the entries that no pixel names are cut off once all rows are read.
    if (ct == 3) *palSize = png.paletteCount < (1 << bd) ? 1 << bd : png.paletteCount;
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

// Where the rows of the picture come from: the whole picture, or one of the
// seven Adam7 passes, each a small picture of every colStep-th pixel of
// every rowStep-th row.
struct Pass {
    uint32_t col, row, colStep, rowStep;
    uint32_t width, height;
};

Pass passOf(int p) {
    if (!png.interlace) return Pass{0, 0, 1, 1, png.width, png.height};
    return Pass{kPassCol[p],
                kPassRow[p],
                kPassColStep[p],
                kPassRowStep[p],
                passSize(png.width, kPassCol[p], kPassColStep[p]),
                passSize(png.height, kPassRow[p], kPassRowStep[p])};
}

// What the rows are turned into, and what is learnt from them on the way.
struct RowTarget {
    DIB* dib;
    int depth;
    int transIndex;
    uint8_t remap[256]; // palette index after the alpha reduction
    uint8_t* scratch;   // one converted row of a pass, before it is spread out
    // Alpha pictures: the colours of all pixels, transparent ones included,
    // and the colour that pixels with alpha below clearBelow are given
    // (none when no colour is free: then clearBelow is 0).
    UsedColors* colors;
    uint8_t clearColour[3];
    int clearBelow;
    int clearColourFree;
    int trackHighest; // palette pictures with a short palette
    int highest;      // the highest palette index seen
};

// A row with alpha to 24 bits, CHANNELS samples of SAMPLE bytes a pixel (the
// first byte of a sample is its high one).
template <size_t CHANNELS, size_t SAMPLE>
void alphaRowToBgr(const uint8_t* src, uint8_t* dst, uint32_t w, const RowTarget& t) {
    constexpr size_t step = CHANNELS * SAMPLE, alpha = step - SAMPLE;
    uint8_t* used = t.colors->used;
    const int below = t.clearBelow;
    const uint8_t clearB = t.clearColour[0], clearG = t.clearColour[1], clearR = t.clearColour[2];
    for (uint32_t x = 0; x < w; x++, src += step, dst += 3) {
        const bool clear = src[alpha] < below; // read before the store to used
        const uint8_t r = src[0];
        const uint8_t g = CHANNELS == 4 ? src[SAMPLE] : r;
        const uint8_t b = CHANNELS == 4 ? src[2 * SAMPLE] : r;
        used[rgb565(r, g, b)] = 1;
        dst[0] = clear ? clearB : b;
        dst[1] = clear ? clearG : g;
        dst[2] = clear ? clearR : r;
    }
}

// Whether the bitmap's rows are the picture's rows as they are: copied, not
// converted.
bool rowsAreCopied(const RowTarget& t) {
    return t.depth == 1 || (t.depth == 8 && png.bitDepth == 8 && t.transIndex < 0);
}

// w samples of a row into the bitmap's pixel format at dst (zeroed for depth 4).
void convertRow(const uint8_t* src, uint8_t* dst, uint32_t w, const RowTarget& t) {
    const int ct = png.colorType, bd = png.bitDepth;
    if (t.depth == 1) {
        memcpy(dst, src, png_linebytes(w, bd, ct));
    } else if (t.depth == 4) {
        for (uint32_t x = 0; x < w; x++) {
            int s = sampleAt(src, x, bd);
            if (ct == 3) s = t.remap[s];
            dst[x >> 1] |= uint8_t((x & 1) ? s : s << 4);
        }
    } else if (t.depth == 8) {
        if (bd == 16) {
            for (uint32_t x = 0; x < w; x++) dst[x] = src[2 * x];
        } else if (t.transIndex >= 0) {
            for (uint32_t x = 0; x < w; x++) dst[x] = t.remap[src[x]];
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
        if (bd == 8)
            alphaRowToBgr<2, 1>(src, dst, w, t);
        else
            alphaRowToBgr<2, 2>(src, dst, w, t);
    } else if (bd == 8) {
        alphaRowToBgr<4, 1>(src, dst, w, t);
    } else {
        alphaRowToBgr<4, 2>(src, dst, w, t);
    }
}

// The w converted pixels of a pass row to their columns of the bitmap row.
void spreadRow(const uint8_t* from, uint8_t* dst, const Pass& pass, int depth) {
    uint32_t x = pass.col;
    for (uint32_t i = 0; i < pass.width; i++, x += pass.colStep) {
        if (depth == 24) {
            memcpy(dst + size_t(x) * 3, from + size_t(i) * 3, 3);
        } else if (depth == 8) {
            dst[x] = from[i];
        } else if (depth == 4) {
            const int v = (i & 1) ? from[i >> 1] & 15 : from[i >> 1] >> 4;
            dst[x >> 1] |= uint8_t((x & 1) ? v : v << 4);
        } else if ((from[i >> 3] >> (7 - (i & 7))) & 1) {
            dst[x >> 3] |= uint8_t(0x80 >> (x & 7));
        }
    }
}

// The highest palette index of a row.
void noteRow(const uint8_t* src, const Pass& pass, RowTarget& t) {
    if (t.trackHighest)
        for (uint32_t i = 0; i < pass.width; i++)
            t.highest = std::max(t.highest, sampleAt(src, i, png.bitDepth));
}

// The inflated data, read from the IDAT chunks one after the other.
struct InflatedData {
    z_stream z;
    size_t next;   // file offset of the next chunk to look at
    uint32_t left; // streamed: bytes of the current IDAT chunk not read yet
    size_t at;     // streamed: the stream's offset when known, else unknownOffset
    int ended;     // the deflate stream has ended
};

constexpr size_t unknownOffset = SIZE_MAX;

// Moves the stream to the file offset to. A short way forward (the checksum
// between two IDAT chunks) is read past: a seek would throw the stream's
// buffer away and read it again.
int streamTo(InflatedData& in, size_t to) {
    if (in.at != unknownOffset && to >= in.at && to - in.at <= sizeof png.piece) {
        if (!readStreamed(png.piece, to - in.at)) return 0;
    } else if (std::fseek(png.stream, long(to), SEEK_SET) != 0) {
        return 0;
    }
    in.at = to;
    return 1;
}

// nextImageData for a streamed file: the next piece of IDAT data, read into
// png.piece.
int nextStreamedImageData(InflatedData& in) {
    while (!in.left) {
        uint8_t head[8];
        if (in.next >= png.idatEnd) return 0;
        if (!streamTo(in, in.next) || !readStreamed(head, sizeof head)) return 0;
        const uint32_t len = rdUINT(head);
        in.at += sizeof head;
        in.next += size_t(len) + 12;
        if (memcmp(head + 4, "IDAT", 4) == 0) in.left = len;
    }
    const uint32_t n = std::min(in.left, uint32_t(sizeof png.piece));
    if (!readStreamed(png.piece, n)) return 0;
    in.at += n;
    in.left -= n;
    in.z.next_in = png.piece;
    in.z.avail_in = n;
    return 1;
}

// Points the stream at the next IDAT chunk's data; 0 when there is none. The
// chunks up to IEND were checked on the first walk.
int nextImageData(InflatedData& in) {
    if (png.stream) return nextStreamedImageData(in);
    while (in.next < png.idatEnd) {
        const uint8_t* p = png.file + in.next;
        const uint32_t len = rdUINT(p);
        in.next += size_t(len) + 12;
        if (memcmp(p + 4, "IDAT", 4) == 0 && len) {
            in.z.next_in = const_cast<Bytef*>(p + 8); // zlib only reads it
            in.z.avail_in = len;
            return 1;
        }
    }
    return 0;
}

// One inflating step; 0 when the stream is damaged or its input has run out.
int inflateStep(InflatedData& in) {
    if (!in.z.avail_in && !nextImageData(in)) return 0;
    const int rc = inflate(&in.z, Z_NO_FLUSH);
    if (rc == Z_STREAM_END) in.ended = 1;
    return rc == Z_OK || rc == Z_STREAM_END || (rc == Z_BUF_ERROR && !in.z.avail_in);
}

// The next n inflated bytes; 0 when the stream ends before or is damaged.
int inflateBytes(InflatedData& in, uint8_t* out, size_t n) {
    in.z.next_out = out;
    in.z.avail_out = uInt(n);
    while (in.z.avail_out)
        if (in.ended || !inflateStep(in)) return 0;
    return 1;
}

// After the last row the stream has to end, checksum included, without
// another byte: the picture is all it may hold.
int inflatedToTheEnd(InflatedData& in) {
    uint8_t extra;
    while (!in.ended) {
        in.z.next_out = &extra;
        in.z.avail_out = 1;
        if (!inflateStep(in) || !in.z.avail_out) return 0;
    }
    return 1;
}

// Inflates, unfilters and converts every row into the bitmap.
int readRows(RowTarget& t) {
    InflatedData in;
    memset(&in, 0, sizeof in);
    in.next = png.idatFirst;
    in.at = unknownOffset;
    if (inflateInit(&in.z) != Z_OK) return DIBFailure(DIB_ERR_NO_MEMORY);
    const size_t stride = png.rowBytes + 1;
    uint8_t* rows = static_cast<uint8_t*>(malloc(2 * stride + size_t(t.dib->lineBytes)));
    if (!rows) {
        inflateEnd(&in.z);
        return DIBFailure(DIB_ERR_NO_MEMORY);
    }
    uint8_t* prior = rows;
    uint8_t* row = rows + stride;
    t.scratch = rows + 2 * stride;
    const uint32_t h = png.height;
    int ok = 1;
    for (int p = 0; ok && p < (png.interlace ? 7 : 1); p++) {
        const Pass pass = passOf(p);
        if (!pass.width || !pass.height) continue;
        const size_t n = png_linebytes(pass.width, png.bitDepth, png.colorType);
        memset(prior, 0, n + 1); // the row above a pass's first row is zero
        // Rows that the bitmap holds unchanged are inflated straight into it
        // and unfiltered there, against the bitmap row above.
        const bool inPlace = !png.interlace && rowsAreCopied(t);
        const uint8_t* above = prior + 1;
        for (uint32_t r = 0; ok && r < pass.height; r++) {
            const uint32_t y = pass.row + r * pass.rowStep;
            uint8_t* dst = t.dib->bits + (h - 1 - y) * size_t(t.dib->lineBytes);
            if (inPlace) {
                ok = inflateBytes(in, row, 1) && inflateBytes(in, dst, n);
                if (!ok) break;
                unfilter(row[0], dst, above, n);
                above = dst;
                noteRow(dst, pass, t);
                continue;
            }
            ok = inflateBytes(in, row, n + 1);
            if (!ok) break;
            png_filter_row(prior, row, n);
            if (pass.colStep == 1) {
                convertRow(row + 1, dst, pass.width, t);
            } else {
                memset(t.scratch, 0, size_t(t.dib->lineBytes));
                convertRow(row + 1, t.scratch, pass.width, t);
                spreadRow(t.scratch, dst, pass, t.depth);
            }
            noteRow(row + 1, pass, t);
            std::swap(prior, row);
        }
    }
    ok = ok && inflatedToTheEnd(in);
    free(rows);
    inflateEnd(&in.z);
    return ok;
}

// Cuts the palette behind the highest index a pixel names (never below PLTE):
// indices beyond PLTE get black entries rather than pointing past the palette.
void trimPalette(DIB* dib, int highest) {
    const uint32_t entries = uint32_t(std::max(png.paletteCount, highest + 1));
    if (entries >= uint32_t(dib->numColors)) return;
    memmove(dib->palette + size_t(entries) * 4, dib->bits, rdLE32(dib->bmih + BI_SIZEIMAGE));
    wrLE32(dib->bmih + BI_CLRUSED, entries);
    wrLE32(dib->bmih + BI_CLRIMPORTANT, entries);
    InitDIB(dib);
}

// Alpha pictures are read with the transparent colour that a picture
// without it gets. When the picture has that colour after all, the rows are
// read again with the one it does not use, or, when none is free, with every
// pixel keeping its own colour.
int settleClearColour(RowTarget& t) {
    uint8_t unused[3];
    if (PickUnusedColor(t.colors, unused)) {
        if (memcmp(unused, t.clearColour, 3) == 0) return 1;
        memcpy(t.clearColour, unused, 3);
    } else {
        t.clearColourFree = 0;
        t.clearBelow = 0;
    }
    return readRows(t);
}

// The bitmap of the picture whose chunks were read.
int decodePicture(DIB* dib, uint16_t* hasTransparent, uint8_t* transparent) {
    RowTarget t;
    memset(&t, 0, sizeof t);
    t.dib = dib;
    t.transIndex = transparentIndex();
    int palSize;
    chooseDepth(t.transIndex, &t.depth, &palSize);
    for (int i = 0; i < 256; i++)
        t.remap[i] =
            uint8_t(t.transIndex >= 0 && png.alpha[i] < png.alphaThreshold ? t.transIndex : i);
    t.trackHighest = png.colorType == 3 && png.paletteCount < (1 << png.bitDepth);
    if (png.colorType == 4 || png.colorType == 6) {
        t.colors = static_cast<UsedColors*>(calloc(1, sizeof(UsedColors)));
        if (!t.colors) return DIBFailure(DIB_ERR_NO_MEMORY);
        PickUnusedColor(t.colors, t.clearColour);
        t.clearBelow = png.alphaThreshold;
        t.clearColourFree = 1;
    }
    int ok = MakeDIBBlock(dib, int32_t(png.width), int32_t(png.height), t.depth, BMP_RGB,
                          uint32_t(palSize), nullptr) &&
             readRows(t) && (!t.colors || settleClearColour(t));
    if (!ok) {
        free(t.colors);
        free(dib->mem);
        memset(dib, 0, sizeof *dib);
        return 0;
    }
    fillPalette(dib->palette, palSize);
    if (t.trackHighest) trimPalette(dib, t.highest);
    singleColourTransparency(dib->palette, palSize, hasTransparent, transparent);
    if (t.colors) {
        *hasTransparent = uint16_t(t.clearColourFree);
        if (*hasTransparent) memcpy(transparent, t.clearColour, 3);
    } else if (t.transIndex >= 0) {
        int found = GetUnusedColor(dib, transparent);
        *hasTransparent = uint16_t(found ? 1 : 0);
        if (found) memcpy(dib->palette + t.transIndex * 4, transparent, 3);
    }
    free(t.colors);
    return 1;
}

// The image data stays in its chunks: their place and length are noted here
// and read on the way to the bitmap.
void addImageData() {
    if (!png.haveIdat) png.idatFirst = png.pos - png.chunkLen - 12;
    png.haveIdat = 1;
    png.idatLen += png.chunkLen;
}

// Walks the chunks up to IEND.
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
            addImageData();
        } else if (typeIs("IEND")) {
            ok = imageDataPlausible();
            png.idatEnd = png.pos;
            png.decoded = ok;
        }
    }
    return ok;
}

} // namespace

namespace {
constexpr size_t streamBufferBytes = 65536; // a named file's stdio buffer

// Reads the picture from png's source, which starts with the signature.
int readPicture(DIB* dib, uint16_t* hasTransparent, uint8_t* transparent, int alphaThreshold) {
    png.pos = sizeof kSignature;
    png.alphaThreshold = alphaThreshold;
    memset(png.alpha, 255, sizeof png.alpha);
    int ok = readChunks();
    if (ok) ok = decodePicture(dib, hasTransparent, transparent);
    PngReset();
    return ok;
}

// The picture as slot 1 of the list.
int intoList(MultiDIB* list, const DIB& dib, uint16_t hasTransparent, int ok) {
    list->slot[1] = dib;
    list->hasTransparent = hasTransparent;
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
    return readPicture(dib, hasTransparent, transparent, alphaThreshold);
}

int LoadPNGfile(DIB* dib, uint16_t* hasTransparent, uint8_t* transparent, int alphaThreshold,
                int gamma, const char* fileName) {
    (void)gamma; // gAMA is never applied: the panel shows the samples as stored
    *hasTransparent = 0;
    FILE* stream = OpenImageFile(fileName, DIB_MAX_FILE_BYTES);
    if (!stream) return 0;
    // The file is walked twice (its chunks checked, then inflated): in reads
    // of 64 KB rather than stdio's few KB. Freed after the stream is closed.
    void* streamBuffer = std::malloc(streamBufferBytes);
    if (streamBuffer)
        std::setvbuf(stream, static_cast<char*>(streamBuffer), _IOFBF, streamBufferBytes);
    PngReset();
    uint8_t signature[sizeof kSignature];
    const size_t got = std::fread(signature, 1, sizeof signature, stream);
    int ok = 0;
    if (got == 0) {
        DIBFailure(DIB_ERR_DAMAGED); // an empty file, as ReadImageFile has it
    } else if (got < sizeof signature || memcmp(signature, kSignature, sizeof kSignature) != 0) {
        DIBFailure(DIB_ERR_UNSUPPORTED);
    } else {
        png.stream = stream;
        ok = readPicture(dib, hasTransparent, transparent, alphaThreshold);
    }
    if (!ok && std::ferror(stream)) DIBFailure(DIB_ERR_READ);
    std::fclose(stream);
    std::free(streamBuffer);
    return ok;
}

int LoadPNGmemory(MultiDIB* list, const uint8_t* data, size_t size) {
    DIB dib;
    memset(&dib, 0, sizeof dib);
    uint16_t hasTransparent = 0;
    const int ok = LoadPNGdata(&dib, &hasTransparent, list->transparent, alphaLimit, data, size);
    return intoList(list, dib, hasTransparent, ok);
}

int LoadPNG(MultiDIB* list, const char* fileName) {
    DIB dib;
    memset(&dib, 0, sizeof dib);
    uint16_t hasTransparent = 0;
    const int ok = LoadPNGfile(&dib, &hasTransparent, list->transparent, alphaLimit, 0, fileName);
    return intoList(list, dib, hasTransparent, ok);
}
