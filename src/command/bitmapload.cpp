// Image files: fitted to the panel, converted, drawn and sent.
#include "command/sendfile.h"

// Loading image files arrives with the image library.
void BitmapLoad(const char*, int, int, int) {}
