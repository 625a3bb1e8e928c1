// GIF reader internals, visible to the tests that exercise the decoder directly.
#pragma once
#include <cstddef>
#include <cstdint>

#include "image/dib.h"

// The frames of a file share the one pixel limit (DIB_MAX_PIXELS): reading
// stops at the frame that would pass it, and the composed strip of an
// animation keeps only as many frames as fit into it.

struct GifAnimation {
    uint16_t count;
    uint16_t width, height;
    uint8_t background[3]; // blue, green, red
    DIB frame[255];
    uint16_t left[255], top[255];
    uint16_t delay[255];    // hundredths of a second
    uint16_t disposal[255]; // 0 when no graphic control extension
    int32_t transparent[255];
};

struct GifState {
    const uint8_t* data; // the whole file, owned by the caller
    size_t length;
    size_t pos;

    uint8_t globalTable[256 * 3]; // blue, green, red
    int globalCount;
    uint8_t localTable[256 * 3];
    int tableSize; // entries of the table the current image uses

    const uint8_t* block; // current data sub-block
    int blockLen;

    uint32_t bitBuffer; // bits not yet consumed, least significant first
    int bitCount;
    int bytesLeft; // in the current sub-block
    const uint8_t* readPtr;
    int codeSize;
    int terminatorSeen; // the image's data ended with its terminator (or the file)

    uint16_t prefix[4096];
    uint8_t suffix[4096];
    uint8_t stack[4097];

    int row, pass, interlaced;
    uint8_t* line;
    size_t lineSize;
};

extern GifState gif;

// Frees the decoder's buffers and clears its state.
void GifReset();
// Frees every frame block of an animation.
void GifAnimationFree(GifAnimation* anim);

int LoadGIFanimation(const uint8_t* data, size_t size, GifAnimation* anim);
int GetGIFimage(DIB* frame, uint8_t* line);
int GetNextCode();
int ReadSubBlock();
void LineOut(DIB* frame, const uint8_t* line, int n);
