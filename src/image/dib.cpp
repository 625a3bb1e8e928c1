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

// Pictures beyond these are refused before anything big is allocated.
constexpr int64_t kMaxSide = 16384;
constexpr uint64_t kMaxPixelBytes = uint64_t(256) << 20;
// RLE streams may be longer than the pixels they describe.
constexpr uint64_t kMaxFileBytes = uint64_t(512) << 20;

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kCoreHeaderBytes = 12;
constexpr uint32_t kInfoHeaderBytes = 40;

enum : uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitfields = 3, kBiAlphaBitfields = 6 };

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

uint64_t rowBytes(int64_t width, int bits) {
    return uint64_t((width * bits + 31) / 32) * 4;
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

int knownHeaderSize(uint32_t size) {
    return size == kCoreHeaderBytes || size == 40 || size == 52 || size == 56 || size == 64 ||
           size == 108 || size == 124;
}

int parseBmp(const uint8_t* buf, size_t size, BmpLayout* L) {
    memset(L, 0, sizeof *L);
    if (size < kFileHeaderBytes + kCoreHeaderBytes) return 0;
    if (rdLE16(buf) != 0x4D42 || rdLE32(buf + 2) != size) return 0;
    const uint32_t offBits = rdLE32(buf + 10);
    const uint8_t* info = buf + kFileHeaderBytes;
    const size_t avail = size - kFileHeaderBytes;
    const uint32_t biSize = rdLE32(info);
    if (!knownHeaderSize(biSize) || biSize > avail) return 0;
    L->headerSize = biSize;

    int64_t width, height;
    uint32_t planes, clrUsed = 0;
    if (biSize == kCoreHeaderBytes) {
        width = rdLE16(info + 4);
        height = rdLE16(info + 6);
        planes = rdLE16(info + 8);
        L->bits = rdLE16(info + 10);
        L->compression = kBiRgb;
        L->paletteEntrySize = 3;
    } else {
        width = int32_t(rdLE32(info + BI_WIDTH));
        height = int32_t(rdLE32(info + BI_HEIGHT));
        planes = rdLE16(info + BI_PLANES);
        L->bits = rdLE16(info + BI_BITCOUNT);
        L->compression = rdLE32(info + BI_COMPRESSION);
        clrUsed = rdLE32(info + BI_CLRUSED);
        L->paletteEntrySize = 4;
    }
    const int bits = L->bits;
    if (planes != 1) return 0;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32) return 0;
    switch (L->compression) {
    case kBiRgb:
        break;
    case kBiRle8:
        if (bits != 8) return 0;
        break;
    case kBiRle4:
        if (bits != 4) return 0;
        break;
    case kBiBitfields:
    case kBiAlphaBitfields:
        if (bits != 16 && bits != 32) return 0;
        break;
    default:
        return 0; // JPEG, PNG, Huffman, RLE24 and unknown codes
    }
    const int rle = L->compression == kBiRle8 || L->compression == kBiRle4;

    // Top-down pictures are turned bottom-up while copying; RLE can't be top-down.
    if (width <= 0 || height == 0) return 0;
    L->topDown = height < 0;
    if (L->topDown) {
        if (rle) return 0;
        height = -height;
    }
    if (width > kMaxSide || height > kMaxSide) return 0;
    const uint64_t line = rowBytes(width, bits);
    const uint64_t area = line * uint64_t(height);
    if (area > kMaxPixelBytes) return 0;
    L->width = int32_t(width);
    L->height = int32_t(height);
    L->lineBytes = uint32_t(line);

    // Colour masks: after a 40-byte header, inside every longer one.
    size_t maskEnd = kFileHeaderBytes + biSize;
    if (bits == 16) {
        L->masks[0] = 0x7C00;
        L->masks[1] = 0x03E0;
        L->masks[2] = 0x001F;
    } else if (bits == 32) {
        L->masks[0] = 0x00FF0000;
        L->masks[1] = 0x0000FF00;
        L->masks[2] = 0x000000FF;
        if (biSize == kInfoHeaderBytes) {
            L->masks[3] = 0xFF000000;
        } else if (biSize >= 56 && biSize != 64 && L->compression == kBiRgb) {
            // A header that names an alpha mask is believed when it stays clear
            // of the colour bytes.
            uint32_t a = rdLE32(info + 52);
            if ((a & 0x00FFFFFF) == 0) L->masks[3] = a;
        }
    }
    if (L->compression == kBiBitfields || L->compression == kBiAlphaBitfields) {
        const int count = L->compression == kBiAlphaBitfields ? 4 : 3;
        const uint8_t* m;
        if (biSize == kInfoHeaderBytes) {
            if (avail < kInfoHeaderBytes + 4u * count) return 0;
            m = info + kInfoHeaderBytes;
            maskEnd += 4u * count;
        } else if (biSize >= 40 + 4u * count && biSize != 64) {
            m = info + 40;
        } else {
            return 0;
        }
        for (int k = 0; k < 4; ++k) L->masks[k] = k < count ? rdLE32(m + 4 * k) : 0;
        if (count == 3 && biSize >= 56 && biSize != 64) L->masks[3] = rdLE32(info + 52);
    }

    // Palette: only depths up to 8 bits keep one. The file may carry more
    // entries (or a palette in front of deeper pixels); those are skipped.
    uint64_t fileEntries = clrUsed;
    if (biSize == kCoreHeaderBytes) {
        fileEntries = uint64_t(1) << (bits <= 8 ? bits : 0);
        if (bits > 8) fileEntries = 0;
        // OS/2 files may hold a short palette; the pixel offset tells.
        if (bits <= 8 && offBits >= maskEnd + 3 && offBits < maskEnd + 3 * fileEntries)
            fileEntries = (offBits - maskEnd) / 3;
    } else if (bits <= 8 && fileEntries == 0) {
        fileEntries = uint64_t(1) << bits;
    }
    L->paletteOffset = maskEnd;
    if (bits <= 8) {
        const uint64_t maxEntries = uint64_t(1) << bits;
        L->paletteCount = uint32_t(fileEntries < maxEntries ? fileEntries : maxEntries);
        if (maskEnd + uint64_t(L->paletteCount) * L->paletteEntrySize > size) return 0;
    }
    const uint64_t natural = maskEnd + fileEntries * L->paletteEntrySize;

    // Pixels start where the file header says when that lies inside the file
    // and behind the headers; otherwise right behind the palette.
    uint64_t pixelOffset = natural;
    if (offBits >= maskEnd && offBits < size) pixelOffset = offBits;
    if (pixelOffset > size) return 0;
    L->pixelOffset = size_t(pixelOffset);
    if (rle) {
        L->pixelBytes = size - L->pixelOffset;
    } else {
        if (pixelOffset + area > size) return 0; // truncated pixels are refused
        L->pixelBytes = size_t(area);
    }
    return 1;
}

// 40-byte header for a block that the reader builds.
void writeHeader(uint8_t* h, const BmpLayout& L, const uint8_t* info, int bits,
                 uint32_t compression, uint32_t clrUsed) {
    memset(h, 0, kInfoHeaderBytes);
    wrLE32(h + BI_SIZE, kInfoHeaderBytes);
    wrLE32(h + BI_WIDTH, uint32_t(L.width));
    wrLE32(h + BI_HEIGHT, uint32_t(L.height));
    wrLE16(h + BI_PLANES, 1);
    wrLE16(h + BI_BITCOUNT, uint16_t(bits));
    wrLE32(h + BI_COMPRESSION, compression);
    wrLE32(h + BI_SIZEIMAGE, uint32_t(rowBytes(L.width, bits) * uint32_t(L.height)));
    if (L.headerSize >= kInfoHeaderBytes) {
        memcpy(h + BI_XPELS, info + BI_XPELS, 8);
    } else {
        wrLE32(h + BI_XPELS, 2500);
        wrLE32(h + BI_YPELS, 2500);
    }
    wrLE32(h + BI_CLRUSED, clrUsed);
    wrLE32(h + BI_CLRIMPORTANT, 0);
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
uint8_t* buildNormalized32(const uint8_t* buf, const BmpLayout& L, size_t* blockSize) {
    const uint64_t line = rowBytes(L.width, 32);
    const uint64_t total = kInfoHeaderBytes + line * uint64_t(L.height);
    if (line * uint64_t(L.height) > kMaxPixelBytes) return nullptr;
    uint8_t* block = static_cast<uint8_t*>(malloc(size_t(total)));
    if (!block) return nullptr;
    writeHeader(block, L, buf + kFileHeaderBytes, 32, kBiRgb, 0);
    const int bytes = L.bits / 8;
    for (int32_t y = 0; y < L.height; ++y) {
        const uint8_t* src = fileRow(buf, L, y);
        uint8_t* dst = block + kInfoHeaderBytes + size_t(y) * size_t(line);
        for (int32_t x = 0; x < L.width; ++x, src += bytes, dst += 4) {
            uint32_t p = bytes == 2 ? rdLE16(src) : rdLE32(src);
            dst[0] = maskedComponent(p, L.masks[2]);
            dst[1] = maskedComponent(p, L.masks[1]);
            dst[2] = maskedComponent(p, L.masks[0]);
            dst[3] = maskedComponent(p, L.masks[3]);
        }
    }
    *blockSize = size_t(total);
    return block;
}

// Highest palette index that a 1-, 4- or 8-bit picture uses.
int highestIndex(const DIB* dib) {
    const int32_t width = int32_t(rdLE32(dib->bmih + BI_WIDTH));
    const int32_t height = int32_t(rdLE32(dib->bmih + BI_HEIGHT));
    const int bits = rdLE16(dib->bmih + BI_BITCOUNT);
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
    if (!block) return 0;
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

int loadPalettePicture(MultiDIB*, DIB* dib, const uint8_t* buf, const BmpLayout& L) {
    const uint8_t* info = buf + kFileHeaderBytes;
    const int rle = L.compression == kBiRle8 || L.compression == kBiRle4;
    const uint32_t head = L.headerSize >= kInfoHeaderBytes ? L.headerSize : kInfoHeaderBytes;
    const size_t paletteBytes = size_t(L.paletteCount) * 4;
    const size_t total = head + paletteBytes + L.pixelBytes;
    uint8_t* block = static_cast<uint8_t*>(malloc(total ? total : 1));
    if (!block) return 0;

    if (L.headerSize >= kInfoHeaderBytes) {
        memcpy(block, info, L.headerSize);
        wrLE32(block + BI_HEIGHT, uint32_t(L.height));
        wrLE32(block + BI_CLRUSED, L.bits <= 8 ? L.paletteCount : 0);
        uint32_t important = rdLE32(block + BI_CLRIMPORTANT);
        if (L.bits > 8 || important > L.paletteCount) wrLE32(block + BI_CLRIMPORTANT, 0);
    } else {
        writeHeader(block, L, info, L.bits, kBiRgb, L.paletteCount);
    }
    uint8_t* pal = block + head;
    const uint8_t* src = buf + L.paletteOffset;
    for (uint32_t k = 0; k < L.paletteCount; ++k, src += L.paletteEntrySize) {
        pal[4 * k + 0] = src[0];
        pal[4 * k + 1] = src[1];
        pal[4 * k + 2] = src[2];
        pal[4 * k + 3] = 0;
    }
    uint8_t* pixels = pal + paletteBytes;
    dib->mem = block;
    if (rle) {
        memcpy(pixels, buf + L.pixelOffset, L.pixelBytes);
        // The decoder takes the stream length from biSizeImage and the real
        // block length from memSize.
        wrLE32(block + BI_SIZEIMAGE, uint32_t(L.pixelBytes));
        dib->memSize = uint32_t(total);
        if (!decode_BMP_RLE(dib)) return 0;
    } else {
        copyRows(pixels, buf, L);
        InitDIB(dib);
    }

    if (L.bits <= 8) {
        const uint32_t full = 1u << L.bits;
        uint32_t have = uint32_t(dib->numColors);
        if (have < full && (L.bits == 1 || uint32_t(highestIndex(dib)) >= have)) {
            if (!widenPalette(dib, full)) return 0;
        }
        if (L.bits == 1) brightFirst(dib);
    }
    return 1;
}

int loadDeepPicture(MultiDIB* list, DIB* dib, const uint8_t* buf, const BmpLayout& L) {
    const uint8_t* info = buf + kFileHeaderBytes;
    if (L.bits == 24) return loadPalettePicture(list, dib, buf, L);

    if (L.bits == 16) {
        const int is565 = L.masks[0] == 0xF800 && L.masks[1] == 0x07E0 && L.masks[2] == 0x001F;
        const int is555 = L.masks[0] == 0x7C00 && L.masks[1] == 0x03E0 && L.masks[2] == 0x001F;
        if (is565 || is555) {
            const size_t maskBytes = is565 ? 12 : 0;
            const size_t total = kInfoHeaderBytes + maskBytes + L.pixelBytes;
            uint8_t* block = static_cast<uint8_t*>(malloc(total));
            if (!block) return 0;
            writeHeader(block, L, info, 16, is565 ? kBiBitfields : kBiRgb, 0);
            if (is565) {
                wrLE32(block + 40, 0xF800);
                wrLE32(block + 44, 0x07E0);
                wrLE32(block + 48, 0x001F);
            }
            copyRows(block + kInfoHeaderBytes + maskBytes, buf, L);
            dib->mem = block;
        } else {
            size_t total = 0;
            dib->mem = buildNormalized32(buf, L, &total);
            if (!dib->mem) return 0;
        }
        InitDIB(dib);
        return ChangeDIBto16Bit(dib, 0);
    }

    // 32 bits: alpha below alphaLimit becomes the list's transparent colour.
    size_t total = 0;
    dib->mem = buildNormalized32(buf, L, &total);
    if (!dib->mem) return 0;
    InitDIB(dib);
    const size_t count = size_t(L.width) * size_t(L.height);
    int anyAlpha = 0;
    if (L.masks[3] != 0) {
        for (int32_t y = 0; y < L.height && !anyAlpha; ++y) {
            const uint8_t* row = dib->bits + size_t(y) * size_t(dib->lineBytes);
            for (int32_t x = 0; x < L.width; ++x)
                if (row[4 * x + 3]) {
                    anyAlpha = 1;
                    break;
                }
        }
    }
    // An alpha channel that is zero everywhere is unused padding, not a
    // picture that is transparent all over.
    uint8_t* alpha = nullptr;
    if (anyAlpha) {
        alpha = static_cast<uint8_t*>(malloc(count));
        if (!alpha) return 0;
        for (int32_t y = 0; y < L.height; ++y) {
            const uint8_t* row = dib->bits + size_t(y) * size_t(dib->lineBytes);
            for (int32_t x = 0; x < L.width; ++x) alpha[size_t(y) * L.width + x] = row[4 * x + 3];
        }
    }
    if (!ChangeDIBto24Bit(dib)) {
        free(alpha);
        return 0;
    }
    if (alpha) {
        // Searched on the 24-bit picture so that the colour really is unused.
        list->hasTransparent = uint16_t(GetUnusedColor(dib, list->transparent) ? 1 : 0);
        if (list->hasTransparent) {
            for (int32_t y = 0; y < L.height; ++y) {
                uint8_t* row = dib->bits + size_t(y) * size_t(dib->lineBytes);
                for (int32_t x = 0; x < L.width; ++x) {
                    if (alpha[size_t(y) * L.width + x] < alphaLimit)
                        memcpy(row + 3 * x, list->transparent, 3);
                }
            }
        }
        free(alpha);
    }
    return 1;
}

} // namespace

int LoadDIB(MultiDIB* list, const char* fileName) {
    if (!list) return 0;
    MultiDibFree(list);
    if (!fileName) return 0;
    const char* ext = strrchr(fileName, '.');
    if (!ext) return 0;
    int result;
    if (sameExtension(ext, ".BMP") || sameExtension(ext, ".RLE"))
        result = LoadBMP(list, fileName);
    else if (sameExtension(ext, ".PNG"))
        result = LoadPNG(list, fileName);
    else if (sameExtension(ext, ".JPG"))
        result = LoadJPG(&list->slot[1], fileName);
    else
        result = 0;
    if (result == 1) {
        list->count = 1;
        list->first = 1;
        return 1;
    }
    if (sameExtension(ext, ".GIF")) return LoadGIF(list, fileName);
    return 0;
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
    else if (biSize == kInfoHeaderBytes && compression == kBiBitfields)
        offset += 12;
    dib->bits = h + offset;
    const int64_t width = int32_t(rdLE32(h + BI_WIDTH));
    const int32_t height = int32_t(rdLE32(h + BI_HEIGHT));
    dib->lineBytes = int32_t(rowBytes(width, bits));
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

int LoadBMP(MultiDIB* list, const char* fileName) {
    if (!list || !fileName) return 0;
    uint8_t* buf = nullptr;
    size_t size = 0;
    if (!(buf = ReadImageFile(fileName, kMaxFileBytes, &size))) return 0;
    BmpLayout L;
    if (!parseBmp(buf, size, &L)) {
        free(buf);
        return 0;
    }
    DIB dib;
    memset(&dib, 0, sizeof dib);
    int ok =
        L.bits <= 8 ? loadPalettePicture(list, &dib, buf, L) : loadDeepPicture(list, &dib, buf, L);
    free(buf);
    if (!ok) {
        free(dib.mem);
        return 0;
    }
    // Member access only: the list's slots need not be aligned.
    free(list->slot[1].mem);
    dib.rcPos = list->slot[1].rcPos;
    dib.rcActive = list->slot[1].rcActive;
    list->slot[1] = dib;
    return 1;
}

int decode_BMP_RLE(DIB* dib) {
    if (!dib || !dib->mem || dib->memSize < kInfoHeaderBytes) return 0;
    const uint8_t* old = dib->mem;
    const uint32_t biSize = rdLE32(old + BI_SIZE);
    const int bits = rdLE16(old + BI_BITCOUNT);
    const uint32_t compression = rdLE32(old + BI_COMPRESSION);
    const int64_t width = int32_t(rdLE32(old + BI_WIDTH));
    const int64_t height = int32_t(rdLE32(old + BI_HEIGHT));
    const uint32_t clrUsed = rdLE32(old + BI_CLRUSED);
    const int rle4 = compression == kBiRle4;
    if (!((compression == kBiRle8 && bits == 8) || (rle4 && bits == 4))) return 0;
    if (biSize < kInfoHeaderBytes || width <= 0 || height <= 0) return 0;
    if (width > kMaxSide || height > kMaxSide) return 0;
    const uint64_t entries = clrUsed ? clrUsed : (uint64_t(1) << bits);
    if (entries > (uint64_t(1) << bits)) return 0;
    const uint64_t head = biSize + 4 * entries;
    if (head > dib->memSize) return 0;
    // The stream ends at biSizeImage or at the end of the block, whichever
    // comes first; a stream without end code stops there.
    uint64_t streamLen = dib->memSize - head;
    const uint32_t declared = rdLE32(old + BI_SIZEIMAGE);
    if (declared != 0 && declared < streamLen) streamLen = declared;
    const uint64_t line = rowBytes(width, bits);
    const uint64_t area = line * uint64_t(height);
    if (area > kMaxPixelBytes) return 0;

    uint8_t* block = static_cast<uint8_t*>(calloc(1, size_t(head + area)));
    if (!block) return 0;
    memcpy(block, old, size_t(head));
    const uint8_t* s = old + head;
    uint8_t* out = block + head;

    int64_t x = 0, y = 0;
    uint64_t p = 0;
    // Pixels past the row's end or the picture's top are dropped.
    auto put = [&](int v) {
        if (x < width && y < height) {
            uint8_t* row = out + size_t(y) * size_t(line);
            if (rle4) {
                uint8_t* b = row + (x >> 1);
                *b = (x & 1) ? uint8_t((*b & 0xF0) | (v & 0x0F)) : uint8_t((*b & 0x0F) | (v << 4));
            } else {
                row[x] = uint8_t(v);
            }
        }
        ++x;
    };
    while (y < height && p + 2 <= streamLen) {
        const int n = s[p], c = s[p + 1];
        p += 2;
        if (n > 0) {
            for (int k = 0; k < n && x < width; ++k)
                put(rle4 ? ((k & 1) ? (c & 0x0F) : (c >> 4)) : c);
        } else if (c == 0) {
            x = 0;
            ++y;
        } else if (c == 1) {
            break;
        } else if (c == 2) {
            if (p + 2 > streamLen) break;
            x += s[p];
            y += s[p + 1];
            p += 2;
            if (x > width) x = width;
        } else {
            const uint64_t bytes = rle4 ? uint64_t(c + 1) / 2 : uint64_t(c);
            const int avail =
                p + bytes <= streamLen ? c : int(rle4 ? (streamLen - p) * 2 : streamLen - p);
            for (int k = 0; k < avail && x < width; ++k) {
                const uint8_t b = s[p + (rle4 ? uint64_t(k) / 2 : uint64_t(k))];
                put(rle4 ? ((k & 1) ? (b & 0x0F) : (b >> 4)) : b);
            }
            if (avail < c) break;
            p += bytes;
            if (bytes & 1) ++p; // runs are padded to 16 bits
        }
    }

    wrLE32(block + BI_COMPRESSION, kBiRgb);
    free(dib->mem);
    dib->mem = block;
    InitDIB(dib);
    return 1;
}

uint8_t* ReadImageFile(const char* fileName, uint64_t maxBytes, size_t* length) {
    WholeFile file;
    if (!ReadWholeFile(fileName, maxBytes, &file)) return nullptr;
    if (file.size == 0) {
        free(file.data);
        return nullptr;
    }
    *length = file.size;
    return file.data;
}
