// PNG reader internals, visible to the tests that exercise the steps one by one.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "image/dib.h"

struct PngState {
    const uint8_t* file; // the whole file, owned by the caller, or null when
    size_t fileLen;      // it is read from stream instead
    FILE* stream;
    size_t pos;
    uint8_t piece[65536]; // streamed: a chunk's data when it fits, or a piece of it

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

    int haveIdat;
    size_t idatFirst; // file offset of the first IDAT chunk
    size_t idatEnd;   // file offset behind IEND
    uint64_t idatLen; // bytes of image data in all IDAT chunks

    size_t rowBytes;
    int decoded;
};

extern PngState png;

// Clears the reader state.
void PngReset();

uint32_t rdUINT(const uint8_t* p);
int ReadChunk();
size_t png_linebytes(uint32_t width, int bitDepth, int colorType);
void png_filter_row(const uint8_t* prior, uint8_t* row, size_t n);
// Bytes of inflated data (filter bytes included) that the current header needs.
uint64_t png_inflated_size();
