// Image library: the bitmap record, the image list and every operation on them.
// A DIB's block is a Windows DIB without its file header (info header, masks
// or palette, rows bottom-up). All operations return 1 on success and 0 on
// failure, change the record in place, and keep the old block when they fail.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

struct Rect {
    int32_t left, top, right, bottom; // right and bottom inclusive
};

struct DIB {
    uint8_t* mem;      // the block, owned; null when empty
    uint32_t memSize;  // header + palette/masks + biSizeImage
    int32_t numColors; // biClrUsed, or 2^biBitCount (16777216 for 32 bits)
    int32_t lineBytes; // ((biWidth * biBitCount + 31) / 32) * 4
    uint8_t* bmih;     // == mem
    uint8_t* palette;  // bmih + biSize
    uint8_t* bits;     // first stored (bottom) row
    Rect rcPos;        // front end only
    Rect rcActive;     // front end only
};

// The small fields pack without gaps; the slots keep their natural alignment.
struct MultiDIB {
    uint16_t current;
    uint16_t delay;
    uint16_t count;
    uint16_t first;
    uint16_t hasTransparent;
    uint8_t transparent[3]; // blue, green, red
    uint8_t unused1;
    uint8_t fileTransparent[3];
    uint8_t unused2;
    DIB slot[256];
    uint8_t frameDelay[256];
};

// Pixels whose alpha is below this are transparent (front end sets 128).
extern int32_t alphaLimit;

// Little-endian field access inside blocks; never cast unaligned pointers.
inline uint16_t rdLE16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t rdLE32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void wrLE16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void wrLE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

// Info header field offsets (BITMAPINFOHEADER).
enum BmihField : int {
    BI_SIZE = 0,
    BI_WIDTH = 4,
    BI_HEIGHT = 8,
    BI_PLANES = 12,
    BI_BITCOUNT = 14,
    BI_COMPRESSION = 16,
    BI_SIZEIMAGE = 20,
    BI_XPELS = 24,
    BI_YPELS = 28,
    BI_CLRUSED = 32,
    BI_CLRIMPORTANT = 36,
};

// Compression codes of the info header.
enum BmpCompression : uint32_t {
    BMP_RGB = 0,
    BMP_RLE8 = 1,
    BMP_RLE4 = 2,
    BMP_BITFIELDS = 3,
    BMP_ALPHABITFIELDS = 6,
};

// The BMP file header in front of a block ("BM", file size, pixel offset).
constexpr uint32_t BMP_FILE_HEADER_SIZE = 14;
// The info header that every block made here starts with.
constexpr uint32_t BMP_INFO_HEADER_SIZE = 40;
// Resolution of the blocks made here, in pixels per metre (about 63.5 dpi).
constexpr uint32_t DIB_DEFAULT_RESOLUTION = 2500;
// The most pixels (width x height) a picture may have. Every reader refuses a
// larger one before allocating anything for it: a few hundred bytes of deflate
// or LZW can declare gigabytes. 16 megapixels (4096 x 4096, or a 4000 x 3000
// photo) keep a reader and the preparation for the board below 400 MB.
constexpr uint64_t DIB_MAX_PIXELS = uint64_t(1) << 24;
// Picture files larger than this are refused unread.
constexpr uint64_t DIB_MAX_FILE_BYTES = uint64_t(256) << 20;
// Blocks stay below 2 GiB so that lineBytes (i32) and memSize (u32) hold them.
constexpr uint64_t DIB_MAX_BLOCK = 0x7FFFFFFFu;

// Stored bytes of one row: whole 32-bit words.
inline uint64_t DIBRowBytes(int64_t width, int bitCount) {
    return uint64_t((width * bitCount + 31) / 32) * 4;
}
inline int32_t DIBWidth(const DIB* dib) {
    return int32_t(rdLE32(dib->bmih + BI_WIDTH));
}
inline int32_t DIBHeight(const DIB* dib) {
    return int32_t(rdLE32(dib->bmih + BI_HEIGHT));
}
inline int DIBBitCount(const DIB* dib) {
    return rdLE16(dib->bmih + BI_BITCOUNT);
}
inline int DIBTooManyPixels(uint64_t width, uint64_t height) {
    // Each side alone first, so that the product cannot wrap around.
    return width > DIB_MAX_PIXELS || height > DIB_MAX_PIXELS || width * height > DIB_MAX_PIXELS;
}

// The one way to make a block: a 40-byte header, zeroed palette entries
// (clrUsed of them, or 2^bitCount when clrUsed is 0; none above 8 bits), the
// three RGB565 masks for 16 bits with BMP_BITFIELDS, and zeroed rows. clrUsed
// is also written as the important colours; the resolution is copied from the
// header `resolutionFrom` when given. 1 and the laid-out record, or 0 and an
// empty record when the block would reach 2 GiB or memory runs out.
int MakeDIBBlock(DIB* dib, int32_t width, int32_t height, int bitCount, uint32_t compression,
                 uint32_t clrUsed, const uint8_t* resolutionFrom);

// Why the last reading of a picture failed.
enum DIBError : int {
    DIB_OK = 0,
    DIB_ERR_MISSING,        // no such file
    DIB_ERR_DIRECTORY,      // a folder
    DIB_ERR_NOT_FILE,       // a device, pipe or socket
    DIB_ERR_DENIED,         // no permission to read it
    DIB_ERR_READ,           // reading failed
    DIB_ERR_FILE_TOO_LARGE, // more than DIB_MAX_FILE_BYTES
    DIB_ERR_UNSUPPORTED,    // not one of the formats, or a variant we do not read
    DIB_ERR_DAMAGED,        // broken or truncated
    DIB_ERR_TOO_LARGE,      // more than DIB_MAX_PIXELS pixels
    DIB_ERR_NO_MEMORY,
};
// The reason of the last failed LoadDIB (DIB_OK after a success); the readers
// set it where they give up.
int GetDIBError();
void SetDIBError(int error);
// Records why reading failed and returns 0, for `return DIBFailure(...)`.
int DIBFailure(int error);
// A short text for a reason, as messages show it after the file's name.
const char* DIBErrorText(int error);

// Image list and BMP reader. The readers decode from bytes in memory; the
// functions that take a file name read the whole file and hand it over. The
// format follows the name's extension (".bmp", ".rle", ".png", ".jpg", ".gif").
int LoadDIB(MultiDIB* list, const char* fileName);
int LoadDIBmemory(MultiDIB* list, const uint8_t* data, size_t size, const char* fileName);
int LoadBMPmemory(MultiDIB* list, const uint8_t* data, size_t size);
// LoadBMPmemory for a malloc'ed buffer that it takes over (and frees): a
// plain picture keeps its pixels where the file's bytes were read.
int LoadBMPtaking(MultiDIB* list, uint8_t* data, size_t size);
void InitDIB(DIB* dib);
int CopyDIB(const DIB* source, DIB* destination);
void MultiDibFree(MultiDIB* list);
int LoadBMP(MultiDIB* list, const char* fileName);
// The record's block holds header, palette and the compressed stream; the
// stream ends at biSizeImage or at memSize (the block's real length).
int decode_BMP_RLE(DIB* dib);

// Readers of the other formats.
int LoadPNG(MultiDIB* list, const char* fileName);
int LoadPNGfile(DIB* dib, uint16_t* hasTransparent, uint8_t* transparent, int alphaThreshold,
                int gamma, const char* fileName);
int LoadPNGmemory(MultiDIB* list, const uint8_t* data, size_t size);
int LoadPNGdata(DIB* dib, uint16_t* hasTransparent, uint8_t* transparent, int alphaThreshold,
                const uint8_t* data, size_t size);
int LoadGIF(MultiDIB* list, const char* fileName);
int LoadGIFmemory(MultiDIB* list, const uint8_t* data, size_t size);
int LoadJPG(DIB* dib, const char* fileName);
int LoadJPGmemory(DIB* dib, const uint8_t* data, size_t size);

// Colour depth, palettes and dithering.
int ChangeDIBto24Bit(DIB* dib);
int ChangeDIBto16Bit(DIB* dib, int dither);
int ChangeDIBto8Bit(DIB* dib, int precision);
void FloydSteinbergDithering(const DIB* source, DIB* destination);
uint8_t GetByteValue(int value);
int MakeBestPalette(const DIB* source, DIB* destination, int n, int precision);
int ChangeDIBtoMinPalette(DIB* dib);
int CountColors(const DIB* dib, uint8_t* palette256, int stop);
int GetUnusedColor(const DIB* dib, uint8_t* blueGreenRed);
// The RGB565 values a picture uses, a byte each (nonzero when used): marking
// a pixel is one store, cheap enough for a reader to do while a row is at hand.
struct UsedColors {
    uint8_t used[65536];
};
// The colour GetUnusedColor picks for a picture that uses the set's colours.
int PickUnusedColor(const UsedColors* set, uint8_t* blueGreenRed);
void SortColorValues(uint32_t* values, int first, int last, uint32_t* parallel);
int NearestPaletteColor(const uint8_t* palette, int red, int green, int blue, int entries);
// Fills the palette entries a picture leaves free: 256 colours as red, green, blue.
extern const uint8_t StandardPalette[256][3];

// Geometry of a record's block as its header describes it, checked against
// memSize, so that operations on records read from files stay inside the
// block and inside every row.
struct DIBLayout {
    int32_t width;           // > 0
    int32_t height;          // > 0 (bottom-up rows only)
    int32_t bitCount;        // 1, 4, 8, 16, 24 or 32
    uint32_t compression;    // biCompression
    uint32_t headerSize;     // biSize, >= 40
    uint32_t pixelOffset;    // bits - mem
    uint32_t lineBytes;      // stored row length
    uint32_t paletteEntries; // palette entries in the block (bit depths up to 8), else 0
};
// 1 and the layout when the record is usable, 0 otherwise.
int GetDIBLayout(const DIB* dib, DIBLayout* layout);
// A whole file in a fresh heap buffer, or null when it is missing, empty,
// larger than maxBytes or cannot be read (the reason as GetDIBError tells).
uint8_t* ReadImageFile(const char* fileName, uint64_t maxBytes, size_t* length);
// The file opened to be read piece by piece, or null when it is missing,
// larger than maxBytes or cannot be read (the reason as GetDIBError tells).
FILE* OpenImageFile(const char* fileName, uint64_t maxBytes);
// Frees the record's block and takes over the fresh one; the rectangles stay.
void ReplaceDIBBlock(DIB* dib, const DIB* fresh);

// Resizing.
int NewResizeDIB(DIB* dib, int width, int height, int keepAspect);
int ResizeDIB(DIB* dib, int width, int height, int keepAspect);
int HalftoneResizeDIB(DIB* dib, int width, int height, int keepAspect);

// Creation, freeing and rotation.
int NewDIB(DIB* dib, int32_t width, int32_t height, int32_t bitsPerPixel, const DIB* model);
void FreeDIB(DIB* dib);
int RotateDIB(DIB* dib, int32_t angle);
int CopyRotateDIB(DIB* destination, const DIB* source, int32_t angle);
int CopyRotate90DIB(DIB* destination, const DIB* source, int32_t angle);
