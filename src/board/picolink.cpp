#include "board/picolink.h"

#include "board/seriowin.h"
#include "command/seam.h"

#include <atomic>

int32_t picoPort = 0;
int32_t picoFW = 0;
int32_t picoType = 0;
int32_t picoDrive = 0;

namespace {
constexpr int progressScale = 1000;
std::atomic<int> linkLost{0};
} // namespace

int boardLinkFailed() {
    int port = picoPort;
    picoPort = 0;
    if (linkLost.exchange(1) == 0) {
        char name[256];
        COMportName(port, name, sizeof name);
        reportError("the board on %s stopped taking data; the rest runs on the panel alone", name);
    }
    return 0;
}

int boardLinkLost() {
    return linkLost.load();
}

uint32_t sendbuffer(const void* buffer, uint32_t count) {
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    transferStart(count);
    uint32_t sent = 0;
    int lastPosition = 0;
    while (sent < count) {
        uint32_t chunk = count - sent < uint32_t(COMblksize) ? count - sent : uint32_t(COMblksize);
        if (!COMwrblk(bytes + sent, int(chunk))) {
            boardLinkFailed();
            return sent;
        }
        sent += chunk;
        int position = int(float(progressScale) * float(sent) / float(count));
        if (position != lastPosition) {
            lastPosition = position;
            transferProgress(position);
        }
    }
    return count;
}

void resetPicoLink() {
    picoPort = picoFW = picoType = picoDrive = 0;
    linkLost = 0;
}
