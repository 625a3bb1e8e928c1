// Resizing.
#include "image/dib.h"

// Placeholders until resizing lands.
int NewResizeDIB(DIB*, int, int, int) { return 0; }
int ResizeDIB(DIB*, int, int, int) { return 0; }
int HalftoneResizeDIB(DIB*, int, int, int) { return 0; }
