// Creation, freeing and rotation of single bitmaps.
#include "image/dib.h"

// Placeholders until bitmap creation lands.
int NewDIB(DIB*, int32_t, int32_t, int32_t, const DIB*) { return 0; }
void FreeDIB(DIB*) {}
int RotateDIB(DIB*, int32_t) { return 0; }
int CopyRotateDIB(DIB*, const DIB*, int32_t) { return 0; }
int CopyRotate90DIB(DIB*, const DIB*, int32_t) { return 0; }
