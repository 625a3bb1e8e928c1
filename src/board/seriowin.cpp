#include "board/seriowin.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {
constexpr int closeSettleMs = 50;
constexpr int pollSleepMs = 10;
// Between tick changes the wait would otherwise spin on the processor.
constexpr int pollYieldMs = 1;
constexpr int maxDevicePath = 255;
constexpr int firstPortWithLongName = 10;

uint32_t steadyMilliseconds() {
    using namespace std::chrono;
    return uint32_t(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}
void steadySleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
void numberedName(int port, char* out, int size) {
    std::snprintf(out, size_t(size), "COM%d", port);
}

// Without an operating system no port opens; time still runs.
int refuseOpen(int, int, intptr_t*) {
    return 0;
}
void closeNothing(intptr_t) {}
int noWaiting(intptr_t) {
    return -1;
}
int noRead(intptr_t, void*, int) {
    return -1;
}
int noWrite(intptr_t, const void*, int) {
    return 0;
}
const SerialBackend noSystem{refuseOpen, closeNothing,       noWaiting,   noRead,
                             noWrite,    steadyMilliseconds, steadySleep, numberedName};

int sinkOpen(int, int, intptr_t* handle) {
    *handle = 1;
    return 1;
}
int sinkWaiting(intptr_t) {
    return 0;
}
int sinkRead(intptr_t, void*, int) {
    return 0;
}
int sinkWrite(intptr_t, const void*, int count) {
    return count;
}
const SerialBackend sinkSystem{sinkOpen,  closeNothing,       sinkWaiting, sinkRead,
                               sinkWrite, steadyMilliseconds, steadySleep, numberedName};

const SerialBackend* os = &noSystem;
bool portOpen = false;
intptr_t portHandle = 0;
SerialCapture capture = nullptr;
void* captureContext = nullptr;
std::string devicePaths[maxRegisteredPorts];

// One unit of a time-out is used up each time the tick counter has moved
// since the last look; only then does the wait sleep its 10 ms.
struct TickWait {
    int remaining;
    uint32_t lastTick;
    explicit TickWait(int timeoutTicks) : remaining(timeoutTicks), lastTick(clockhs()) {}
    bool goOn() {
        if (remaining <= 0) return false;
        uint32_t now = clockhs();
        if (now == lastTick) {
            os->sleepMs(pollYieldMs);
            return true;
        }
        lastTick = now;
        --remaining;
        os->sleepMs(pollSleepMs);
        return remaining > 0;
    }
};
} // namespace

uint32_t clockhs() {
    return os->milliseconds() / 10;
}

int COMopen(int port, int baud) {
    // Callers close first; a handle still held here is let go rather than
    // leaked with the device kept busy.
    if (portOpen) os->close(portHandle);
    portOpen = false;
    portHandle = 0;
    if (port < 1) return 0;
    intptr_t handle = 0;
    if (!os->open(port, baud, &handle)) return 0;
    portHandle = handle;
    portOpen = true;
    return 1;
}

void COMclose() {
    os->sleepMs(closeSettleMs);
    if (!portOpen) return;
    os->close(portHandle);
    portOpen = false;
    portHandle = 0;
}

int COMinbufferanz() {
    if (!portOpen) return -1;
    return os->waiting(portHandle);
}

void COMbufclear() {
    int waiting = COMinbufferanz();
    for (int i = 0; i < waiting; ++i) COMread(0);
}

int COMread(int timeoutTicks) {
    if (!portOpen) return -1;
    TickWait wait(timeoutTicks);
    do {
        uint8_t byte;
        if (os->read(portHandle, &byte, 1) == 1) return byte;
    } while (wait.goOn());
    return -1;
}

int COMrdblk(void* buffer, int count, int timeoutTicks) {
    if (!portOpen) return -1;
    if (count <= 0) return 0;
    TickWait wait(timeoutTicks);
    do {
        // Fewer bytes than asked for stay queued for a later call.
        if (os->waiting(portHandle) >= count)
            return os->read(portHandle, buffer, count) == count ? count : 0;
    } while (wait.goOn());
    return 0;
}

int COMsendblk(const void* buffer, int count) {
    if (!portOpen || count < 0) return 0;
    if (count == 0) return 1;
    int written = os->write(portHandle, buffer, count);
    if (written > 0 && capture) capture(buffer, written, captureContext);
    return written == count ? 1 : 0;
}

int COMwrblk(const void* buffer, int count) {
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    for (int sent = 0; sent < count;) {
        int block = count - sent < COMblksize ? count - sent : COMblksize;
        if (!COMsendblk(bytes + sent, block)) return 0;
        sent += block;
    }
    return 1;
}

void COMpause(int milliseconds) {
    os->sleepMs(milliseconds);
}

void installSerialBackend(const SerialBackend& backend) {
    if (portOpen) COMclose();
    os = &backend;
}

void resetSerialLayer() {
    if (portOpen) COMclose();
    os = &noSystem;
    capture = nullptr;
    captureContext = nullptr;
}

const SerialBackend& sinkSerialBackend() {
    return sinkSystem;
}

void COMsetCapture(SerialCapture sink, void* context) {
    capture = sink;
    captureContext = context;
}

void COMportName(int port, char* out, int size) {
    if (size <= 0) return;
    out[0] = 0;
    os->portName(port, out, size);
}

void COMdeviceName(int port, char* out, int size) {
    if (size <= 0) return;
    if (port < firstPortWithLongName)
        std::snprintf(out, size_t(size), "COM%d", port);
    else
        std::snprintf(out, size_t(size), "\\\\.\\COM%d", port);
}

int COMregisterDevice(const char* path) {
    if (!path || !*path || std::strlen(path) > maxDevicePath) return 0;
    for (int i = 0; i < maxRegisteredPorts; ++i)
        if (devicePaths[i] == path) return i + 1;
    for (int i = 0; i < maxRegisteredPorts; ++i) {
        if (devicePaths[i].empty()) {
            devicePaths[i] = path;
            return i + 1;
        }
    }
    return 0;
}

const char* COMdevicePath(int port) {
    if (port < 1 || port > maxRegisteredPorts || devicePaths[port - 1].empty()) return nullptr;
    return devicePaths[port - 1].c_str();
}

void COMforgetDevices() {
    for (std::string& path : devicePaths) path.clear();
}
