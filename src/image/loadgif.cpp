// GIF reader.
#include "image/dib.h"

// Placeholder until the GIF reader lands.
int LoadGIF(MultiDIB*, const char*) { return 0; }
