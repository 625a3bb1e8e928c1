// PNG reader.
#include "image/dib.h"

// Placeholder until the PNG reader lands.
int LoadPNG(MultiDIB*, const char*) { return 0; }
int LoadPNGfile(DIB*, uint16_t*, uint8_t*, int, int, const char*) { return 0; }
