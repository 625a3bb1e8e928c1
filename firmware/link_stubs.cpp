// What the shared interpreter reaches of the PC program but a board has no
// use for: the board is the end of the link, so nothing is forwarded, and
// picture files cannot be opened on it.
#include "board/picolink.h"
#include "board/seriowin.h"
#include "command/sendfile.h"

std::atomic<int32_t> picoPort{0};

uint32_t sendbuffer(const void* /*buffer*/, uint32_t count) {
    return count;
}

int COMwrblk(const void* /*buffer*/, int /*count*/) {
    return 1;
}

int boardLinkFailed() {
    return 0;
}

void BitmapLoad(const char* /*fileName*/, int /*x*/, int /*y*/, int /*keepInside*/) {}
