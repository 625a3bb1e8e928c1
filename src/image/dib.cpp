// Bitmap records, the image list and the BMP reader.
#include "image/dib.h"

int32_t alphaLimit = 128;

// Placeholders until the image library lands: every operation fails cleanly.
int LoadDIB(MultiDIB*, const char*) { return 0; }
void InitDIB(DIB*) {}
int CopyDIB(const DIB*, DIB*) { return 0; }
void MultiDibFree(MultiDIB*) {}
int LoadBMP(MultiDIB*, const char*) { return 0; }
int decode_BMP_RLE(DIB*) { return 0; }
