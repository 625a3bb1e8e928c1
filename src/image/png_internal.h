// PNG reader internals, visible to the tests that exercise the steps one by one.
#pragma once
#include <cstddef>
#include <cstdint>

#include "image/dib.h"

struct PngState {
    const uint8_t* file; // the whole file, owned by the caller
    size_t fileLen;
    size_t pos;

    uint32_t chunkLen;
    uint8_t chunkType[4];
    const uint8_t* chunkData;

    uint32_t width, height;
    uint8_t bitDepth, colorType, compression, filterMethod, interlace;
    int haveHeader;

    uint8_t palette[256 * 3]; // red, green, blue
    int paletteCount;

    uint32_t trnsLen;
    uint8_t trnsGrey;
    uint8_t trnsRGB[3];
    uint8_t alpha[256];
    int alphaThreshold;

    const uint8_t* idat; // compressed stream: the one IDAT chunk, or idatCopy
    size_t idatLen;
    uint8_t* idatCopy; // owned, when several IDAT chunks are joined
    size_t idatCapacity;

    size_t rowBytes;
    uint8_t* inflated; // zero row, then (filter byte + row bytes) per row
    size_t inflatedLen;
    int decoded;

    uint8_t* image;      // owned de-interlaced image, or null when `rows` points into `inflated`
    const uint8_t* rows; // top row of the unfiltered picture
    size_t rowStride;
};

extern PngState png;

// Frees every buffer of the reader state and clears it.
void PngReset();

uint32_t rdUINT(const uint8_t* p);
int ReadChunk();
size_t png_linebytes(uint32_t width, int bitDepth, int colorType);
void png_filter_row(const uint8_t* prior, uint8_t* row, size_t n);
void png_filter_data(uint8_t* first, size_t n, size_t rows);
void CopyFilteredData();
int CopyFilteredInterlacedData();
void CopyRowPixel(uint8_t* target, uint32_t targetColumn, const uint8_t* source,
                  uint32_t sourceColumn);
int PNGdatToDIB(DIB* dib, uint16_t* hasTransparent, uint8_t* transparent);

// Bytes of inflated data (filter bytes included) that the current header needs.
uint64_t png_inflated_size();
