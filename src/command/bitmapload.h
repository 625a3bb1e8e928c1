// Image preparation: the program's image list and the bitmap stream.
#pragma once
#include "image/dib.h"

#include <cstdint>

// Pictures whose 16-bit pixel data would exceed this go to the board with 8 bits.
constexpr uint32_t bitmapTransferLimit = 230400;

// The image list that BitmapLoad fills and empties again.
extern MultiDIB imageList;

// The BMP file header that goes in front of the DIB's block.
void fillBMPfilehdr(const DIB* dib, uint8_t* header /* BMP_FILE_HEADER_SIZE bytes */);
// A BMP file image (file header + the DIB's block); the caller frees it.
uint8_t* addBMPfilehdr(const DIB* dib);
// Loads, fits to the panel and converts: the image exactly as the board
// receives it (without the position prefix), or null when it cannot be
// loaded. Reports its steps through printMessage. The caller frees it.
uint8_t* prepareBitmapImage(const char* fileName, uint32_t* imageSize);
// BitmapLoad with a result: 1 when the picture was shown (and sent).
int showImageFile(const char* fileName, int x, int y, int keepInside);
