// JPEG reader.
#include "image/dib.h"

// Placeholder until the JPEG reader lands.
int LoadJPG(DIB*, const char*) { return 0; }
