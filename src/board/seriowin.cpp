#include "board/seriowin.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
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

// The port's lifetime, owned by portLock: whether it is open, its handle,
// how many reads and writes use the handle right now, and a handle whose
// close waits for them. Reads and writes do not hold the lock while they
// work, so a write that blocks for seconds never holds up a read; a close
// only marks the port closed and the last user out lets the handle go, so no
// one uses a handle after it was closed and none is closed twice.
struct PortState {
    std::mutex lock;
    std::condition_variable usersGone;
    bool open = false;
    intptr_t handle = 0;
    int users = 0;
    bool closePending = false;
    intptr_t closingHandle = 0;
    SerialCapture capture = nullptr;
    void* captureContext = nullptr;
};
PortState portState;

std::mutex devicePathLock; // owns devicePaths
std::string devicePaths[maxRegisteredPorts];

// Caller holds portState.lock.
void letHandleGo() {
    if (!portState.open) return;
    portState.open = false;
    if (portState.users == 0) {
        os->close(portState.handle);
    } else {
        portState.closePending = true;
        portState.closingHandle = portState.handle;
    }
    portState.handle = 0;
}

// One read or write on the open port: holds the handle for its duration.
class PortUse {
  public:
    PortUse() {
        std::lock_guard<std::mutex> guard(portState.lock);
        if (!portState.open) return;
        ++portState.users;
        handle = portState.handle;
        capture = portState.capture;
        captureContext = portState.captureContext;
        held = true;
    }
    ~PortUse() {
        if (!held) return;
        std::lock_guard<std::mutex> guard(portState.lock);
        if (--portState.users == 0 && portState.closePending) {
            os->close(portState.closingHandle);
            portState.closePending = false;
            portState.closingHandle = 0;
            portState.usersGone.notify_all();
        }
    }
    PortUse(const PortUse&) = delete;
    PortUse& operator=(const PortUse&) = delete;
    explicit operator bool() const { return held; }

    intptr_t handle = 0;
    SerialCapture capture = nullptr;
    void* captureContext = nullptr;

  private:
    bool held = false;
};

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

int COMopen(int number, int baud) {
    std::unique_lock<std::mutex> guard(portState.lock);
    // Callers close first; a handle still held here is let go rather than
    // leaked with the device kept busy.
    letHandleGo();
    // The device opens again only once the old handle is really closed (the
    // boot loader request reopens the same port at another speed).
    portState.usersGone.wait(guard, [] { return !portState.closePending; });
    if (number < 1) return 0;
    intptr_t handle = 0;
    if (!os->open(number, baud, &handle)) return 0;
    portState.handle = handle;
    portState.open = true;
    return 1;
}

void COMclose() {
    os->sleepMs(closeSettleMs);
    std::lock_guard<std::mutex> guard(portState.lock);
    letHandleGo();
}

int COMinbufferanz() {
    PortUse use;
    if (!use) return -1;
    return os->waiting(use.handle);
}

void COMbufclear() {
    int waiting = COMinbufferanz();
    for (int i = 0; i < waiting; ++i) COMread(0);
}

int COMread(int timeoutTicks) {
    PortUse use;
    if (!use) return -1;
    TickWait wait(timeoutTicks);
    do {
        uint8_t byte;
        if (os->read(use.handle, &byte, 1) == 1) return byte;
    } while (wait.goOn());
    return -1;
}

int COMrdblk(void* buffer, int count, int timeoutTicks) {
    PortUse use;
    if (!use) return -1;
    if (count <= 0) return 0;
    TickWait wait(timeoutTicks);
    do {
        // Fewer bytes than asked for stay queued for a later call.
        if (os->waiting(use.handle) >= count)
            return os->read(use.handle, buffer, count) == count ? count : 0;
    } while (wait.goOn());
    return 0;
}

int COMsendblk(const void* buffer, int count) {
    PortUse use;
    if (!use || count < 0) return 0;
    if (count == 0) return 1;
    int written = os->write(use.handle, buffer, count);
    if (written > 0 && use.capture) use.capture(buffer, written, use.captureContext);
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
    if (COMisOpen()) COMclose();
    os = &backend;
}

void resetSerialLayer() {
    if (COMisOpen()) COMclose();
    os = &noSystem;
    COMsetCapture(nullptr, nullptr);
}

int COMisOpen() {
    std::lock_guard<std::mutex> guard(portState.lock);
    return portState.open ? 1 : 0;
}

const SerialBackend& sinkSerialBackend() {
    return sinkSystem;
}

void COMsetCapture(SerialCapture sink, void* context) {
    std::lock_guard<std::mutex> guard(portState.lock);
    portState.capture = sink;
    portState.captureContext = context;
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
    std::lock_guard<std::mutex> guard(devicePathLock);
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

const char* COMdevicePath(int number) {
    std::lock_guard<std::mutex> guard(devicePathLock);
    if (number < 1 || number > maxRegisteredPorts || devicePaths[number - 1].empty())
        return nullptr;
    // A registered path never changes until the table is forgotten.
    return devicePaths[number - 1].c_str();
}

void COMforgetDevices() {
    std::lock_guard<std::mutex> guard(devicePathLock);
    for (std::string& path : devicePaths) path.clear();
}
