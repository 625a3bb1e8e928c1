// A board for the fuzz targets: it sends what the target queues, takes every
// byte it is sent, and its time passes only when the code sleeps, so the
// link's waits (the settling after a close, polls for an answer) cost nothing.
#pragma once
#include "board/seriowin.h"

#include <cstdint>
#include <cstdio>
#include <deque>

namespace fuzzboard {
inline std::deque<uint8_t> sent; // what the board sends next
inline uint32_t nowMs = 0;

inline int openPort(int, int, intptr_t* handle) {
    *handle = 1;
    return 1;
}
inline void closePort(intptr_t) {}
inline int waiting(intptr_t) {
    return int(sent.size());
}
inline int readBytes(intptr_t, void* buffer, int count) {
    int n = 0;
    for (; n < count && !sent.empty(); ++n) {
        static_cast<uint8_t*>(buffer)[n] = sent.front();
        sent.pop_front();
    }
    return n;
}
inline int writeBytes(intptr_t, const void*, int count) {
    return count;
}
inline uint32_t milliseconds() {
    return nowMs;
}
inline void sleepMs(int ms) {
    nowMs += uint32_t(ms);
}
inline void portName(int port, char* out, int size) {
    std::snprintf(out, size_t(size), "COM%d", port);
}
inline const SerialBackend backend{openPort,   closePort,    waiting, readBytes,
                                   writeBytes, milliseconds, sleepMs, portName};
} // namespace fuzzboard
