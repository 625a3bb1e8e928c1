// Bitmap records, the image list and the BMP reader.
//
// A BMP file is data from outside: the reader checks every header value
// against the bytes it actually holds and repacks the picture into a block
// whose layout it computed itself, so later operations can trust InitDIB.
#include "image/dib.h"

#include "file/wholefile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

int32_t alphaLimit = 128;

namespace {

static_assert(DIB_MAX_PIXELS == 16777216 && DIB_MAX_FILE_BYTES == 256u << 20,
              "the messages for too large a picture name the limits");

int lastError = DIB_OK;

// The image library's reason for a file that could not be read.
int fileError(int wholeFileError) {
    switch (wholeFileError) {
    case WHOLE_FILE_MISSING:
        return DIB_ERR_MISSING;
    case WHOLE_FILE_DIRECTORY:
        return DIB_ERR_DIRECTORY;
    case WHOLE_FILE_NOT_REGULAR:
        return DIB_ERR_NOT_FILE;
    case WHOLE_FILE_DENIED:
        return DIB_ERR_DENIED;
    case WHOLE_FILE_TOO_LARGE:
        return DIB_ERR_FILE_TOO_LARGE;
    case WHOLE_FILE_NO_MEMORY:
        return DIB_ERR_NO_MEMORY;
    default:
        return DIB_ERR_READ;
    }
}

constexpr uint16_t kBmpMagic = 0x4D42; // "BM"
constexpr uint32_t kCoreHeaderBytes = 12;
// Where a header of 56 bytes or more keeps its alpha mask.
constexpr uint32_t kAlphaMaskOffset = 52;

char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

int sameExtension(const char* ext, const char* want) {
    while (*ext && *want) {
        if (upperAscii(*ext) != *want) return 0;
        ++ext;
        ++want;
    }
    return *ext == 0 && *want == 0;
}

enum PictureFormat { kUnknownFormat, kBmpFormat, kPngFormat, kJpgFormat, kGifFormat };

PictureFormat formatOf(const char* fileName) {
    const char* ext = fileName ? strrchr(fileName, '.') : nullptr;
    if (!ext) return kUnknownFormat;
    if (sameExtension(ext, ".BMP") || sameExtension(ext, ".RLE")) return kBmpFormat;
    if (sameExtension(ext, ".PNG")) return kPngFormat;
    if (sameExtension(ext, ".JPG")) return kJpgFormat;
    if (sameExtension(ext, ".GIF")) return kGifFormat;
    return kUnknownFormat;
}

// Everything the reader needs to know about a file, checked against its bytes.
struct BmpLayout {
    uint32_t headerSize; // as in the file (12 for an OS/2 core header)
    int32_t width;
    int32_t height; // always positive here
    int topDown;
    int bits;
    uint32_t compression;
    uint32_t masks[4];         // red, green, blue, alpha (16 and 32 bits)
    uint32_t paletteCount;     // entries kept, never more than 2^bits
    size_t paletteOffset;      // file offset of the palette
    uint32_t paletteEntrySize; // 4, or 3 for OS/2 core headers
    size_t pixelOffset;        // file offset of the pixel data or RLE stream
    size_t pixelBytes;         // uncompressed pixel area, or RLE stream length
    uint32_t lineBytes;
};

// Header values that only the parsing steps need.
struct BmpHeaderValues {
    uint32_t offBits;
    int64_t width, height;
    uint32_t planes;
    uint32_t clrUsed;
};

int isRle(uint32_t compression) {
    return compression == BMP_RLE8 || compression == BMP_RLE4;
}

int knownHeaderSize(uint32_t size) {
    return size == kCoreHeaderBytes || size == 40 || size == 52 || size == 56 || size == 64 ||
           size == 108 || size == 124;
}

int readHeaders(const uint8_t* buf, size_t size, BmpLayout* L, BmpHeaderValues* v) {
    if (size < BMP_FILE_HEADER_SIZE + kCoreHeaderBytes) return DIBFailure(DIB_ERR_DAMAGED);
    if (rdLE16(buf) != kBmpMagic) return DIBFailure(DIB_ERR_UNSUPPORTED);
    if (rdLE32(buf + 2) != size) return DIBFailure(DIB_ERR_DAMAGED);
    v->offBits = rdLE32(buf + 10);
    const uint8_t* info = buf + BMP_FILE_HEADER_SIZE;
    const uint32_t biSize = rdLE32(info);
    if (!knownHeaderSize(biSize)) return DIBFailure(DIB_ERR_UNSUPPORTED);
    if (biSize > size - BMP_FILE_HEADER_SIZE) return DIBFailure(DIB_ERR_DAMAGED);
    L->headerSize = biSize;
    v->clrUsed = 0;
    if (biSize == kCoreHeaderBytes) {
        v->width = rdLE16(info + 4);
        v->height = rdLE16(info + 6);
        v->planes = rdLE16(info + 8);
        L->bits = rdLE16(info + 10);
        L->compression = BMP_RGB;
        L->paletteEntrySize = 3;
    } else {
        v->width = int32_t(rdLE32(info + BI_WIDTH));
        v->height = int32_t(rdLE32(info + BI_HEIGHT));
        v->planes = rdLE16(info + BI_PLANES);
        L->bits = rdLE16(info + BI_BITCOUNT);
        L->compression = rdLE32(info + BI_COMPRESSION);
        v->clrUsed = rdLE32(info + BI_CLRUSED);
        L->paletteEntrySize = 4;
    }
    return 1;
}

int checkPixelFormat(const BmpLayout& L, uint32_t planes) {
    const int bits = L.bits;
    // JPEG, PNG, Huffman, RLE24 and unknown codes; 2 and 64 bits a pixel.
    if (L.compression > BMP_BITFIELDS && L.compression != BMP_ALPHABITFIELDS)
        return DIBFailure(DIB_ERR_UNSUPPORTED);
    if (bits == 2 || bits == 64) return DIBFailure(DIB_ERR_UNSUPPORTED);
    if (planes != 1) return DIBFailure(DIB_ERR_DAMAGED);
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return DIBFailure(DIB_ERR_DAMAGED);
    switch (L.compression) {
    case BMP_RGB:
        return 1;
    case BMP_RLE8:
        return bits == 8 ? 1 : DIBFailure(DIB_ERR_DAMAGED);
    case BMP_RLE4:
        return bits == 4 ? 1 : DIBFailure(DIB_ERR_DAMAGED);
    case BMP_BITFIELDS:
    case BMP_ALPHABITFIELDS:
        return bits == 16 || bits == 32 ? 1 : DIBFailure(DIB_ERR_DAMAGED);
    default:
        return DIBFailure(DIB_ERR_UNSUPPORTED);
    }
}

// Top-down pictures are turned bottom-up while copying; RLE can't be top-down.
int setGeometry(BmpLayout* L, int64_t width, int64_t height) {
    if (width <= 0 || height == 0) return DIBFailure(DIB_ERR_DAMAGED);
    L->topDown = height < 0;
    if (L->topDown) {
        if (isRle(L->compression)) return DIBFailure(DIB_ERR_DAMAGED);
        height = -height;
    }
    if (DIBTooManyPixels(uint64_t(width), uint64_t(height))) return DIBFailure(DIB_ERR_TOO_LARGE);
    L->width = int32_t(width);
    L->height = int32_t(height);
    L->lineBytes = uint32_t(DIBRowBytes(width, L->bits));
    return 1;
}

// Colour masks: after a 40-byte header, inside every longer one. *maskEnd
// becomes the file offset behind them.
int readMasks(const uint8_t* buf, size_t size, BmpLayout* L, size_t* maskEnd) {
    const uint8_t* info = buf + BMP_FILE_HEADER_SIZE;
    const uint32_t biSize = L->headerSize;
    *maskEnd = BMP_FILE_HEADER_SIZE + biSize;
    if (L->bits == 16) {
        L->masks[0] = 0x7C00;
        L->masks[1] = 0x03E0;
        L->masks[2] = 0x001F;
    } else if (L->bits == 32) {
        L->masks[0] = 0x00FF0000;
        L->masks[1] = 0x0000FF00;
        L->masks[2] = 0x000000FF;
        if (biSize == BMP_INFO_HEADER_SIZE) {
            L->masks[3] = 0xFF000000;
        } else if (biSize >= 56 && biSize != 64 && L->compression == BMP_RGB) {
            // A header that names an alpha mask is believed when it stays clear
            // of the colour bytes.
            uint32_t a = rdLE32(info + kAlphaMaskOffset);
            if ((a & 0x00FFFFFF) == 0) L->masks[3] = a;
        }
    }
    if (L->compression != BMP_BITFIELDS && L->compression != BMP_ALPHABITFIELDS) return 1;
    const int count = L->compression == BMP_ALPHABITFIELDS ? 4 : 3;
    const uint8_t* m;
    if (biSize == BMP_INFO_HEADER_SIZE) {
        if (size - BMP_FILE_HEADER_SIZE < BMP_INFO_HEADER_SIZE + 4u * count)
            return DIBFailure(DIB_ERR_DAMAGED);
        m = info + BMP_INFO_HEADER_SIZE;
        *maskEnd += 4u * count;
    } else if (biSize >= BMP_INFO_HEADER_SIZE + 4u * count && biSize != 64) {
        m = info + BMP_INFO_HEADER_SIZE;
    } else {
        return DIBFailure(DIB_ERR_DAMAGED);
    }
    for (int k = 0; k < 4; ++k) L->masks[k] = k < count ? rdLE32(m + 4 * k) : 0;
    if (count == 3 && biSize >= 56 && biSize != 64) L->masks[3] = rdLE32(info + kAlphaMaskOffset);
    return 1;
}

// Palette: only depths up to 8 bits keep one. The file may carry more
// entries (or a palette in front of deeper pixels); those are skipped.
// Pixels start where the file header says when that lies inside the file
// and behind the headers; otherwise right behind the palette.
int locatePaletteAndPixels(size_t size, BmpLayout* L, const BmpHeaderValues& v, size_t maskEnd) {
    const int bits = L->bits;
    uint64_t fileEntries = v.clrUsed;
    if (L->headerSize == kCoreHeaderBytes) {
        fileEntries = bits <= 8 ? uint64_t(1) << bits : 0;
        // OS/2 files may hold a short palette; the pixel offset tells.
        if (bits <= 8 && v.offBits >= maskEnd + 3 && v.offBits < maskEnd + 3 * fileEntries)
            fileEntries = (v.offBits - maskEnd) / 3;
    } else if (bits <= 8 && fileEntries == 0) {
        fileEntries = uint64_t(1) << bits;
    }
    L->paletteOffset = maskEnd;
    if (bits <= 8) {
        const uint64_t maxEntries = uint64_t(1) << bits;
        L->paletteCount = uint32_t(fileEntries < maxEntries ? fileEntries : maxEntries);
        if (maskEnd + uint64_t(L->paletteCount) * L->paletteEntrySize > size)
            return DIBFailure(DIB_ERR_DAMAGED);
    }
    const uint64_t natural = maskEnd + fileEntries * L->paletteEntrySize;
    uint64_t pixelOffset = natural;
    if (v.offBits >= maskEnd && v.offBits < size) pixelOffset = v.offBits;
    if (pixelOffset > size) return DIBFailure(DIB_ERR_DAMAGED);
    L->pixelOffset = size_t(pixelOffset);
    if (isRle(L->compression)) {
        L->pixelBytes = size - L->pixelOffset;
        return 1;
    }
    const uint64_t area = uint64_t(L->lineBytes) * uint64_t(L->height);
    if (pixelOffset + area > size) return DIBFailure(DIB_ERR_DAMAGED); // truncated pixels
    L->pixelBytes = size_t(area);
    return 1;
}

int parseBmp(const uint8_t* buf, size_t size, BmpLayout* L) {
    memset(L, 0, sizeof *L);
    BmpHeaderValues v;
    size_t maskEnd = 0;
    return readHeaders(buf, size, L, &v) && checkPixelFormat(*L, v.planes) &&
           setGeometry(L, v.width, v.height) && readMasks(buf, size, L, &maskEnd) &&
           locatePaletteAndPixels(size, L, v, maskEnd);
}

// The file's resolution when its header has one.
const uint8_t* resolutionOf(const uint8_t* buf, const BmpLayout& L) {
    return L.headerSize >= BMP_INFO_HEADER_SIZE ? buf + BMP_FILE_HEADER_SIZE : nullptr;
}

// Source row for stored row y (bottom row first) of the file's pixels.
const uint8_t* fileRow(const uint8_t* buf, const BmpLayout& L, int32_t y) {
    int32_t fileY = L.topDown ? L.height - 1 - y : y;
    return buf + L.pixelOffset + size_t(fileY) * L.lineBytes;
}

void copyRows(uint8_t* dst, const uint8_t* buf, const BmpLayout& L) {
    for (int32_t y = 0; y < L.height; ++y)
        memcpy(dst + size_t(y) * L.lineBytes, fileRow(buf, L, y), L.lineBytes);
}

// Scales the field of a pixel that a mask selects to 0..255.
uint8_t maskedComponent(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (((mask >> shift) & 1) == 0) ++shift;
    const uint64_t top = mask >> shift;
    const uint64_t v = (pixel & mask) >> shift;
    return uint8_t((v * 255 + top / 2) / top);
}

// Any 16- or 32-bit layout as 32-bit blue, green, red, alpha (alpha 0 when
// the file has none) behind a plain 40-byte header.
int buildNormalized32(const uint8_t* buf, const BmpLayout& L, DIB* dib) {
    if (!MakeDIBBlock(dib, L.width, L.height, 32, BMP_RGB, 0, resolutionOf(buf, L))) return 0;
    const int bytes = L.bits / 8;
    for (int32_t y = 0; y < L.height; ++y) {
        const uint8_t* src = fileRow(buf, L, y);
        uint8_t* dst = dib->bits + size_t(y) * size_t(dib->lineBytes);
        for (int32_t x = 0; x < L.width; ++x, src += bytes, dst += 4) {
            uint32_t p = bytes == 2 ? rdLE16(src) : rdLE32(src);
            dst[0] = maskedComponent(p, L.masks[2]);
            dst[1] = maskedComponent(p, L.masks[1]);
            dst[2] = maskedComponent(p, L.masks[0]);
            dst[3] = maskedComponent(p, L.masks[3]);
        }
    }
    return 1;
}

// Highest palette index that a 1-, 4- or 8-bit picture uses.
int highestIndex(const DIB* dib) {
    const int32_t width = DIBWidth(dib), height = DIBHeight(dib);
    const int bits = DIBBitCount(dib);
    int best = 0;
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* row = dib->bits + size_t(y) * size_t(dib->lineBytes);
        for (int32_t x = 0; x < width; ++x) {
            int v;
            if (bits == 8)
                v = row[x];
            else if (bits == 4)
                v = (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
            else
                v = (row[x >> 3] >> (7 - (x & 7))) & 1;
            if (v > best) best = v;
        }
    }
    return best;
}

// Grows the palette with black entries so that every index a pixel holds
// names an entry; later conversions look colours up without checking.
int widenPalette(DIB* dib, uint32_t entries) {
    const size_t oldPalette = size_t(dib->bits - dib->palette);
    const size_t head = size_t(dib->palette - dib->mem);
    const size_t pixels = dib->memSize - (head + oldPalette);
    const size_t newPalette = size_t(entries) * 4;
    uint8_t* block = static_cast<uint8_t*>(calloc(1, head + newPalette + pixels));
    if (!block) return DIBFailure(DIB_ERR_NO_MEMORY);
    memcpy(block, dib->mem, head + oldPalette);
    memcpy(block + head + newPalette, dib->bits, pixels);
    wrLE32(block + BI_CLRUSED, entries);
    free(dib->mem);
    dib->mem = block;
    InitDIB(dib);
    return 1;
}

// So that a loaded 1-bit picture always has its brighter colour at index 0.
void brightFirst(DIB* dib) {
    uint8_t* p = dib->palette;
    int s0 = p[0] + p[1] + p[2];
    int s1 = p[4] + p[5] + p[6];
    if (s0 >= s1) return;
    p[0] = p[1] = p[2] = 255;
    p[4] = p[5] = p[6] = 0;
    const uint32_t n = rdLE32(dib->bmih + BI_SIZEIMAGE);
    for (uint32_t k = 0; k < n; ++k) dib->bits[k] ^= 0xFF;
}

// A long info header stays as the file has it; the block behind it is laid
// out here: palette entries of 4 bytes, then the rows or the RLE stream.
uint8_t* copyFileHeader(const uint8_t* buf, const BmpLayout& L) {
    const size_t paletteBytes = size_t(L.paletteCount) * 4;
    const size_t total = L.headerSize + paletteBytes + L.pixelBytes;
    uint8_t* block = static_cast<uint8_t*>(malloc(total));
    if (!block) return nullptr;
    memcpy(block, buf + BMP_FILE_HEADER_SIZE, L.headerSize);
    wrLE32(block + BI_HEIGHT, uint32_t(L.height));
    wrLE32(block + BI_CLRUSED, L.bits <= 8 ? L.paletteCount : 0);
    uint32_t important = rdLE32(block + BI_CLRIMPORTANT);
    if (L.bits > 8 || important > L.paletteCount) wrLE32(block + BI_CLRIMPORTANT, 0);
    // The RLE decoder takes the stream length from biSizeImage.
    if (isRle(L.compression)) wrLE32(block + BI_SIZEIMAGE, uint32_t(L.pixelBytes));
    return block;
}

void copyPalette(uint8_t* pal, const uint8_t* buf, const BmpLayout& L) {
    const uint8_t* src = buf + L.paletteOffset;
    for (uint32_t k = 0; k < L.paletteCount; ++k, src += L.paletteEntrySize) {
        pal[4 * k + 0] = src[0];
        pal[4 * k + 1] = src[1];
        pal[4 * k + 2] = src[2];
        pal[4 * k + 3] = 0;
    }
}

// Every index a pixel holds names an entry, and 1-bit pictures put the
// brighter colour first.
int tidyPalette(DIB* dib, const BmpLayout& L) {
    if (L.bits > 8) return 1;
    const uint32_t full = 1u << L.bits;
    uint32_t have = uint32_t(dib->numColors);
    if (have < full && (L.bits == 1 || uint32_t(highestIndex(dib)) >= have)) {
        if (!widenPalette(dib, full)) return 0;
    }
    if (L.bits == 1) brightFirst(dib);
    return 1;
}

int loadPalettePicture(DIB* dib, const uint8_t* buf, const BmpLayout& L) {
    if (L.headerSize < BMP_INFO_HEADER_SIZE) {
        // OS/2 core header: a fresh one, which names no important colours.
        if (!MakeDIBBlock(dib, L.width, L.height, L.bits, BMP_RGB, L.paletteCount, nullptr))
            return 0;
        wrLE32(dib->bmih + BI_CLRIMPORTANT, 0);
        copyPalette(dib->palette, buf, L);
        copyRows(dib->bits, buf, L);
        return tidyPalette(dib, L);
    }
    uint8_t* block = copyFileHeader(buf, L);
    if (!block) return DIBFailure(DIB_ERR_NO_MEMORY);
    uint8_t* pal = block + L.headerSize;
    copyPalette(pal, buf, L);
    uint8_t* pixels = pal + size_t(L.paletteCount) * 4;
    dib->mem = block;
    if (isRle(L.compression)) {
        memcpy(pixels, buf + L.pixelOffset, L.pixelBytes);
        dib->memSize = uint32_t(size_t(pixels - block) + L.pixelBytes);
        if (!decode_BMP_RLE(dib)) return 0;
    } else {
        copyRows(pixels, buf, L);
        InitDIB(dib);
    }
    return tidyPalette(dib, L);
}

int load16BitPicture(DIB* dib, const uint8_t* buf, const BmpLayout& L) {
    const int is565 = L.masks[0] == 0xF800 && L.masks[1] == 0x07E0 && L.masks[2] == 0x001F;
    const int is555 = L.masks[0] == 0x7C00 && L.masks[1] == 0x03E0 && L.masks[2] == 0x001F;
    if (is565 || is555) {
        if (!MakeDIBBlock(dib, L.width, L.height, 16, is565 ? BMP_BITFIELDS : BMP_RGB, 0,
                          resolutionOf(buf, L)))
            return 0;
        copyRows(dib->bits, buf, L);
    } else if (!buildNormalized32(buf, L, dib)) {
        return 0;
    }
    return ChangeDIBto16Bit(dib, 0);
}

// Alpha of every pixel of a normalized 32-bit picture, or null when it has
// none: an alpha channel that is zero everywhere is unused padding, not a
// picture that is transparent all over.
uint8_t* takeAlpha(const DIB* dib, const BmpLayout& L, int* failed) {
    *failed = 0;
    if (L.masks[3] == 0) return nullptr;
    int anyAlpha = 0;
    for (int32_t y = 0; y < L.height && !anyAlpha; ++y) {
        const uint8_t* row = dib->bits + size_t(y) * size_t(dib->lineBytes);
        for (int32_t x = 0; x < L.width && !anyAlpha; ++x) anyAlpha = row[4 * x + 3] != 0;
    }
    if (!anyAlpha) return nullptr;
    uint8_t* alpha = static_cast<uint8_t*>(malloc(size_t(L.width) * size_t(L.height)));
    if (!alpha) {
        *failed = 1;
        DIBFailure(DIB_ERR_NO_MEMORY);
        return nullptr;
    }
    for (int32_t y = 0; y < L.height; ++y) {
        const uint8_t* row = dib->bits + size_t(y) * size_t(dib->lineBytes);
        for (int32_t x = 0; x < L.width; ++x) alpha[size_t(y) * L.width + x] = row[4 * x + 3];
    }
    return alpha;
}

// Pixels with alpha below alphaLimit become the list's transparent colour,
// searched on the 24-bit picture so that it really is unused.
void applyAlpha(MultiDIB* list, DIB* dib, const BmpLayout& L, const uint8_t* alpha) {
    list->hasTransparent = uint16_t(GetUnusedColor(dib, list->transparent) ? 1 : 0);
    if (!list->hasTransparent) return;
    for (int32_t y = 0; y < L.height; ++y) {
        uint8_t* row = dib->bits + size_t(y) * size_t(dib->lineBytes);
        for (int32_t x = 0; x < L.width; ++x) {
            if (alpha[size_t(y) * L.width + x] < alphaLimit)
                memcpy(row + 3 * x, list->transparent, 3);
        }
    }
}

int load32BitPicture(MultiDIB* list, DIB* dib, const uint8_t* buf, const BmpLayout& L) {
    if (!buildNormalized32(buf, L, dib)) return 0;
    int failed = 0;
    uint8_t* alpha = takeAlpha(dib, L, &failed);
    if (failed || !ChangeDIBto24Bit(dib)) {
        free(alpha);
        return 0;
    }
    if (alpha) applyAlpha(list, dib, L, alpha);
    free(alpha);
    return 1;
}

// Whether the file's bytes behind its file header already are the block that
// loadPalettePicture would lay out: a bottom-up picture without compression,
// masks or gaps, whose palette has 4-byte entries and ends where the pixels
// start.
int fileIsTheBlock(const BmpLayout& L) {
    return L.headerSize >= BMP_INFO_HEADER_SIZE && (L.bits <= 8 || L.bits == 24) &&
           L.compression == BMP_RGB && !L.topDown &&
           L.paletteOffset == BMP_FILE_HEADER_SIZE + L.headerSize &&
           L.pixelOffset == L.paletteOffset + size_t(L.paletteCount) * 4;
}

// The picture from the file's own buffer, moved to its start: the same block
// as loadPalettePicture makes, without a second copy of the pixels. The
// record owns the buffer from here on, also when this fails.
int adoptFileAsBlock(DIB* dib, uint8_t* buf, const BmpLayout& L) {
    const size_t blockSize = L.headerSize + size_t(L.paletteCount) * 4 + L.pixelBytes;
    memmove(buf, buf + BMP_FILE_HEADER_SIZE, blockSize);
    wrLE32(buf + BI_CLRUSED, L.bits <= 8 ? L.paletteCount : 0);
    uint32_t important = rdLE32(buf + BI_CLRIMPORTANT);
    if (L.bits > 8 || important > L.paletteCount) wrLE32(buf + BI_CLRIMPORTANT, 0);
    for (uint32_t k = 0; k < L.paletteCount; ++k) buf[L.headerSize + 4 * k + 3] = 0;
    dib->mem = buf;
    InitDIB(dib);
    return tidyPalette(dib, L);
}

int loadPicture(MultiDIB* list, DIB* dib, const uint8_t* buf, const BmpLayout& L) {
    if (L.bits <= 8 || L.bits == 24) return loadPalettePicture(dib, buf, L);
    if (L.bits == 16) return load16BitPicture(dib, buf, L);
    return load32BitPicture(list, dib, buf, L);
}

// Run-length decoding into the rows of a fresh block. Pixels past the row's
// end or the picture's top are dropped.
struct RleTarget {
    uint8_t* rows;
    uint64_t line;
    int64_t width, height;
    int rle4;
    int64_t x, y;

    void put(int v) {
        if (x < width && y < height) {
            uint8_t* row = rows + size_t(y) * size_t(line);
            if (rle4) {
                uint8_t* b = row + (x >> 1);
                *b = (x & 1) ? uint8_t((*b & 0xF0) | (v & 0x0F)) : uint8_t((*b & 0x0F) | (v << 4));
            } else {
                row[x] = uint8_t(v);
            }
        }
        ++x;
    }
    int nibbleOrByte(int k, int b) const { return rle4 ? ((k & 1) ? (b & 0x0F) : (b >> 4)) : b; }
};

// An absolute run of c pixels at s[*p]; 0 when the stream breaks off inside it.
int copyAbsoluteRun(RleTarget& t, const uint8_t* s, uint64_t* p, uint64_t streamLen, int c) {
    const uint64_t bytes = t.rle4 ? uint64_t(c + 1) / 2 : uint64_t(c);
    const int avail =
        *p + bytes <= streamLen ? c : int(t.rle4 ? (streamLen - *p) * 2 : streamLen - *p);
    for (int k = 0; k < avail && t.x < t.width; ++k)
        t.put(t.nibbleOrByte(k, s[*p + (t.rle4 ? uint64_t(k) / 2 : uint64_t(k))]));
    if (avail < c) return 0;
    *p += bytes;
    if (bytes & 1) ++*p; // runs are padded to 16 bits
    return 1;
}

void expandRle(RleTarget& t, const uint8_t* s, uint64_t streamLen) {
    uint64_t p = 0;
    while (t.y < t.height && p + 2 <= streamLen) {
        const int n = s[p], c = s[p + 1];
        p += 2;
        if (n > 0) {
            for (int k = 0; k < n && t.x < t.width; ++k) t.put(t.nibbleOrByte(k, c));
        } else if (c == 0) { // end of line
            t.x = 0;
            ++t.y;
        } else if (c == 1) { // end of picture
            return;
        } else if (c == 2) { // move right and up
            if (p + 2 > streamLen) return;
            t.x += s[p];
            t.y += s[p + 1];
            p += 2;
            if (t.x > t.width) t.x = t.width;
        } else if (!copyAbsoluteRun(t, s, &p, streamLen, c)) {
            return;
        }
    }
}

// The list with one picture from a reader's result, or the reason it failed.
int singlePictureLoaded(MultiDIB* list, int result) {
    if (result != 1) {
        if (GetDIBError() == DIB_OK) SetDIBError(DIB_ERR_DAMAGED);
        return 0;
    }
    list->count = 1;
    list->first = 1;
    return 1;
}

// The BMP reader for a buffer that is its own (taken) or the caller's.
int loadBmp(MultiDIB* list, const uint8_t* data, uint8_t* taken, size_t size) {
    if (!list || !data) {
        free(taken);
        return 0;
    }
    BmpLayout L;
    DIB dib;
    memset(&dib, 0, sizeof dib);
    int ok = parseBmp(data, size, &L);
    if (ok && taken && fileIsTheBlock(L)) {
        ok = adoptFileAsBlock(&dib, taken, L);
        taken = nullptr;
    } else if (ok) {
        ok = loadPicture(list, &dib, data, L);
    }
    free(taken);
    if (!ok) {
        free(dib.mem);
        return 0;
    }
    free(list->slot[1].mem);
    dib.rcPos = list->slot[1].rcPos;
    dib.rcActive = list->slot[1].rcActive;
    list->slot[1] = dib;
    return 1;
}

} // namespace

int GetDIBError() {
    return lastError;
}

void SetDIBError(int error) {
    lastError = error;
}

int DIBFailure(int error) {
    lastError = error;
    return 0;
}

const char* DIBErrorText(int error) {
    switch (error) {
    case DIB_OK:
        return "no error";
    case DIB_ERR_MISSING:
        return WholeFileErrorText(WHOLE_FILE_MISSING);
    case DIB_ERR_DIRECTORY:
        return WholeFileErrorText(WHOLE_FILE_DIRECTORY);
    case DIB_ERR_NOT_FILE:
        return WholeFileErrorText(WHOLE_FILE_NOT_REGULAR);
    case DIB_ERR_DENIED:
        return WholeFileErrorText(WHOLE_FILE_DENIED);
    case DIB_ERR_FILE_TOO_LARGE:
        return "file too large for a picture (more than 256 MiB)";
    case DIB_ERR_UNSUPPORTED:
        return "unsupported picture format or variant";
    case DIB_ERR_DAMAGED:
        return "damaged or truncated picture";
    case DIB_ERR_TOO_LARGE:
        return "picture too large (more than 16777216 pixels, width x height)";
    case DIB_ERR_NO_MEMORY:
        return "out of memory";
    default:
        return WholeFileErrorText(WHOLE_FILE_READ_FAILED);
    }
}

int MakeDIBBlock(DIB* dib, int32_t width, int32_t height, int bitCount, uint32_t compression,
                 uint32_t clrUsed, const uint8_t* resolutionFrom) {
    memset(dib, 0, sizeof *dib);
    const uint64_t entries = bitCount > 8 ? 0 : clrUsed ? clrUsed : uint64_t(1) << bitCount;
    const uint64_t masks = bitCount == 16 && compression == BMP_BITFIELDS ? 12 : 0;
    const uint64_t area = DIBRowBytes(width, bitCount) * uint64_t(height);
    const uint64_t total = BMP_INFO_HEADER_SIZE + entries * 4 + masks + area;
    if (width < 1 || height < 1 || total > DIB_MAX_BLOCK) return DIBFailure(DIB_ERR_TOO_LARGE);
    uint8_t* h = static_cast<uint8_t*>(calloc(1, size_t(total)));
    if (!h) return DIBFailure(DIB_ERR_NO_MEMORY);
    wrLE32(h + BI_SIZE, BMP_INFO_HEADER_SIZE);
    wrLE32(h + BI_WIDTH, uint32_t(width));
    wrLE32(h + BI_HEIGHT, uint32_t(height));
    wrLE16(h + BI_PLANES, 1);
    wrLE16(h + BI_BITCOUNT, uint16_t(bitCount));
    wrLE32(h + BI_COMPRESSION, compression);
    wrLE32(h + BI_SIZEIMAGE, uint32_t(area));
    wrLE32(h + BI_XPELS,
           resolutionFrom ? rdLE32(resolutionFrom + BI_XPELS) : DIB_DEFAULT_RESOLUTION);
    wrLE32(h + BI_YPELS,
           resolutionFrom ? rdLE32(resolutionFrom + BI_YPELS) : DIB_DEFAULT_RESOLUTION);
    wrLE32(h + BI_CLRUSED, clrUsed);
    wrLE32(h + BI_CLRIMPORTANT, clrUsed);
    if (masks) {
        wrLE32(h + BMP_INFO_HEADER_SIZE, 0xF800);
        wrLE32(h + BMP_INFO_HEADER_SIZE + 4, 0x07E0);
        wrLE32(h + BMP_INFO_HEADER_SIZE + 8, 0x001F);
    }
    dib->mem = h;
    InitDIB(dib);
    return 1;
}

int LoadDIB(MultiDIB* list, const char* fileName) {
    if (!list) return 0;
    MultiDibFree(list);
    SetDIBError(DIB_OK);
    if (!fileName || !*fileName) return DIBFailure(DIB_ERR_MISSING);
    if (formatOf(fileName) == kUnknownFormat) return DIBFailure(DIB_ERR_UNSUPPORTED);
    // A PNG file is read piece by piece: it is never held whole.
    if (formatOf(fileName) == kPngFormat) return singlePictureLoaded(list, LoadPNG(list, fileName));
    size_t size = 0;
    uint8_t* data = ReadImageFile(fileName, DIB_MAX_FILE_BYTES, &size);
    if (!data) {
        if (GetDIBError() == DIB_OK) SetDIBError(DIB_ERR_READ);
        return 0;
    }
    if (formatOf(fileName) == kBmpFormat)
        return singlePictureLoaded(list, LoadBMPtaking(list, data, size));
    const int result = LoadDIBmemory(list, data, size, fileName);
    free(data);
    return result;
}

int LoadDIBmemory(MultiDIB* list, const uint8_t* data, size_t size, const char* fileName) {
    if (!list) return 0;
    MultiDibFree(list);
    SetDIBError(DIB_OK);
    int result = 0;
    switch (formatOf(fileName)) {
    case kBmpFormat:
        result = LoadBMPmemory(list, data, size);
        break;
    case kPngFormat:
        result = LoadPNGmemory(list, data, size);
        break;
    case kJpgFormat:
        result = LoadJPGmemory(&list->slot[1], data, size);
        break;
    case kGifFormat:
        // The GIF reader fills the list's count, frames and delays itself.
        result = LoadGIFmemory(list, data, size);
        if (!result && GetDIBError() == DIB_OK) SetDIBError(DIB_ERR_DAMAGED);
        return result;
    default:
        return DIBFailure(DIB_ERR_UNSUPPORTED);
    }
    return singlePictureLoaded(list, result);
}

void InitDIB(DIB* dib) {
    if (!dib || !dib->mem) return;
    uint8_t* h = dib->mem;
    const uint32_t biSize = rdLE32(h + BI_SIZE);
    const int bits = rdLE16(h + BI_BITCOUNT);
    const uint32_t clrUsed = rdLE32(h + BI_CLRUSED);
    const uint32_t compression = rdLE32(h + BI_COMPRESSION);
    dib->bmih = h;
    dib->palette = h + biSize;
    if (clrUsed != 0)
        dib->numColors = int32_t(clrUsed);
    else if (bits >= 24)
        dib->numColors = 16777216;
    else
        dib->numColors = int32_t(1) << bits;
    uint32_t offset = biSize;
    if (bits <= 8)
        offset += 4 * uint32_t(dib->numColors);
    else if (biSize == BMP_INFO_HEADER_SIZE && compression == BMP_BITFIELDS)
        offset += 12;
    dib->bits = h + offset;
    const int64_t width = DIBWidth(dib);
    const int32_t height = DIBHeight(dib);
    dib->lineBytes = int32_t(DIBRowBytes(width, bits));
    const uint32_t sizeImage = uint32_t(dib->lineBytes) * uint32_t(height);
    wrLE32(h + BI_SIZEIMAGE, sizeImage);
    dib->memSize = offset + sizeImage;
}

int CopyDIB(const DIB* source, DIB* destination) {
    if (!source || !destination) return 0;
    if (source == destination) return source->mem != nullptr;
    free(destination->mem);
    *destination = *source;
    destination->mem = nullptr;
    if (!source->mem) return 0;
    uint8_t* block = static_cast<uint8_t*>(malloc(source->memSize ? source->memSize : 1));
    if (!block) return 0;
    memcpy(block, source->mem, source->memSize);
    destination->mem = block;
    InitDIB(destination);
    return 1;
}

void MultiDibFree(MultiDIB* list) {
    if (!list) return;
    for (int k = int(list->first) + int(list->count) - 1; k >= int(list->first); --k) {
        if (k < 256 && list->slot[k].mem) free(list->slot[k].mem);
    }
    memset(list, 0, sizeof *list);
}

int LoadBMPmemory(MultiDIB* list, const uint8_t* data, size_t size) {
    return loadBmp(list, data, nullptr, size);
}

int LoadBMPtaking(MultiDIB* list, uint8_t* data, size_t size) {
    return loadBmp(list, data, data, size);
}

int LoadBMP(MultiDIB* list, const char* fileName) {
    if (!list || !fileName) return 0;
    size_t size = 0;
    uint8_t* data = ReadImageFile(fileName, DIB_MAX_FILE_BYTES, &size);
    if (!data) return 0;
    const int result = LoadBMPmemory(list, data, size);
    free(data);
    return result;
}

int decode_BMP_RLE(DIB* dib) {
    if (!dib || !dib->mem || dib->memSize < BMP_INFO_HEADER_SIZE) return 0;
    const uint8_t* old = dib->mem;
    const uint32_t biSize = rdLE32(old + BI_SIZE);
    const int bits = rdLE16(old + BI_BITCOUNT);
    const uint32_t compression = rdLE32(old + BI_COMPRESSION);
    // Only mem is known to be set here: the header is read from the block.
    const int64_t width = int32_t(rdLE32(old + BI_WIDTH));
    const int64_t height = int32_t(rdLE32(old + BI_HEIGHT));
    const uint32_t clrUsed = rdLE32(old + BI_CLRUSED);
    const int rle4 = compression == BMP_RLE4;
    if (!((compression == BMP_RLE8 && bits == 8) || (rle4 && bits == 4))) return 0;
    if (biSize < BMP_INFO_HEADER_SIZE || width <= 0 || height <= 0) return 0;
    if (DIBTooManyPixels(uint64_t(width), uint64_t(height))) return DIBFailure(DIB_ERR_TOO_LARGE);
    const uint64_t entries = clrUsed ? clrUsed : (uint64_t(1) << bits);
    if (entries > (uint64_t(1) << bits)) return 0;
    const uint64_t head = biSize + 4 * entries;
    if (head > dib->memSize) return 0;
    // The stream ends at biSizeImage or at the end of the block, whichever
    // comes first; a stream without end code stops there.
    uint64_t streamLen = dib->memSize - head;
    const uint32_t declared = rdLE32(old + BI_SIZEIMAGE);
    if (declared != 0 && declared < streamLen) streamLen = declared;
    const uint64_t line = DIBRowBytes(width, bits);

    uint8_t* block = static_cast<uint8_t*>(calloc(1, size_t(head + line * uint64_t(height))));
    if (!block) return DIBFailure(DIB_ERR_NO_MEMORY);
    memcpy(block, old, size_t(head));
    RleTarget target = {block + head, line, width, height, rle4, 0, 0};
    expandRle(target, old + head, streamLen);
    wrLE32(block + BI_COMPRESSION, BMP_RGB);
    free(dib->mem);
    dib->mem = block;
    InitDIB(dib);
    return 1;
}

uint8_t* ReadImageFile(const char* fileName, uint64_t maxBytes, size_t* length) {
    WholeFile file;
    if (!ReadWholeFile(fileName, maxBytes, &file)) {
        DIBFailure(fileError(file.error));
        return nullptr;
    }
    if (file.size == 0) {
        free(file.data);
        DIBFailure(DIB_ERR_DAMAGED);
        return nullptr;
    }
    *length = file.size;
    return file.data;
}

FILE* OpenImageFile(const char* fileName, uint64_t maxBytes) {
    int error = WHOLE_FILE_OK;
    FILE* stream = OpenWholeFile(fileName, maxBytes, &error);
    if (!stream) DIBFailure(fileError(error));
    return stream;
}
