// A serial port played in memory, with a clock that moves only when the layer
// sleeps: the layer's splitting, waiting and counting can be watched exactly.
#pragma once
#include "board/seriowin.h"

#include <cstdio>
#include <cstring>
#include <deque>
#include <vector>

namespace fakeserial {

struct Port {
    std::deque<uint8_t> input;                // what the board has sent, not yet read
    std::vector<std::vector<uint8_t>> writes; // one entry per write call
    std::vector<int> openedPorts;
    int closes = 0;
    int readAttempts = 0;
    int writeLimit = -1; // bytes the board takes in total before it stops reading; -1 = all
    bool refuseOpen = false;
    uint32_t nowMs = 0;
    int pendingErrors = 0; // negated on the next waiting query
    // Called on every write, so a test can play a board that answers.
    void (*onWrite)(Port& port, const std::vector<uint8_t>& bytes) = nullptr;

    std::vector<uint8_t> written() const {
        std::vector<uint8_t> all;
        for (const auto& w : writes) all.insert(all.end(), w.begin(), w.end());
        return all;
    }
    void send(std::initializer_list<uint8_t> bytes) { input.insert(input.end(), bytes); }
};

inline Port& port() {
    static Port instance;
    return instance;
}

inline int open(int number, int, intptr_t* handle) {
    if (port().refuseOpen) return 0;
    port().openedPorts.push_back(number);
    *handle = number;
    return 1;
}
inline void close(intptr_t) {
    ++port().closes;
}
inline int waiting(intptr_t) {
    if (port().pendingErrors) {
        int errors = port().pendingErrors;
        port().pendingErrors = 0;
        return -errors;
    }
    return int(port().input.size());
}
inline int read(intptr_t, void* buffer, int count) {
    ++port().readAttempts;
    int n = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (n < count && !port().input.empty()) {
        out[n++] = port().input.front();
        port().input.pop_front();
    }
    return n;
}
inline int write(intptr_t, const void* buffer, int count) {
    Port& p = port();
    int taken = count;
    if (p.writeLimit >= 0) {
        taken = count < p.writeLimit ? count : p.writeLimit;
        p.writeLimit -= taken;
        p.nowMs += uint32_t(1000 + count) * (taken < count); // the write time-out runs out
    }
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    p.writes.emplace_back(bytes, bytes + taken);
    if (p.onWrite) p.onWrite(p, p.writes.back());
    return taken;
}
inline uint32_t milliseconds() {
    return port().nowMs;
}
inline void sleepMs(int ms) {
    port().nowMs += uint32_t(ms);
}
inline void portName(int number, char* out, int size) {
    std::snprintf(out, size_t(size), "COM%d", number);
}

inline const SerialBackend backend{open,  close,        waiting, read,
                                   write, milliseconds, sleepMs, portName};

// A fresh port, installed as the layer's system.
inline Port& install() {
    resetSerialLayer();
    port() = Port{};
    installSerialBackend(backend);
    return port();
}

} // namespace fakeserial
