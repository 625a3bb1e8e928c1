// The serial layer's calls on Windows: "COM%d" devices through the Win32
// communication functions, and the multimedia timer for the tick count.
#include "board/seriowin.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdio>

namespace {
constexpr DWORD inputQueueBytes = 16384;
constexpr DWORD outputQueueBytes = 8192;
constexpr DWORD writeMsPerByte = 1;
constexpr DWORD writeMsPerCall = 1000;

bool applyLineSettings(HANDLE handle, int baud) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!BuildCommDCBA("96,n,8,1", &dcb)) return false;
    dcb.BaudRate = DWORD(baud);
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
    dcb.fDsrSensitivity = FALSE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fDtrControl = DTR_CONTROL_DISABLE; // raised by hand below, not handshake
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    return SetCommState(handle, &dcb) != 0;
}

bool applyTimeouts(HANDLE handle) {
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD; // a read returns at once with what has arrived
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = writeMsPerByte;
    timeouts.WriteTotalTimeoutConstant = writeMsPerCall;
    return SetCommTimeouts(handle, &timeouts) != 0;
}

int openPort(int port, int baud, intptr_t* out) {
    char name[32];
    COMdeviceName(port, name, sizeof name);
    HANDLE handle =
        CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return 0;
    if (!applyLineSettings(handle, baud) || !applyTimeouts(handle)) {
        CloseHandle(handle);
        return 0;
    }
    SetupComm(handle, inputQueueBytes, outputQueueBytes);
    EscapeCommFunction(handle, SETDTR);
    EscapeCommFunction(handle, SETRTS);
    *out = reinterpret_cast<intptr_t>(handle);
    return 1;
}

HANDLE asHandle(intptr_t handle) {
    return reinterpret_cast<HANDLE>(handle);
}

void closePort(intptr_t handle) {
    CloseHandle(asHandle(handle));
}

int waitingBytes(intptr_t handle) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(asHandle(handle), &errors, &status)) return -1;
    if (errors) return -int(errors);
    return int(status.cbInQue);
}

int readBytes(intptr_t handle, void* buffer, int count) {
    DWORD got = 0;
    if (!ReadFile(asHandle(handle), buffer, DWORD(count), &got, nullptr)) return -1;
    return int(got);
}

int writeBytes(intptr_t handle, const void* buffer, int count) {
    DWORD put = 0;
    if (!WriteFile(asHandle(handle), buffer, DWORD(count), &put, nullptr)) return int(put);
    return int(put);
}

uint32_t multimediaMs() {
    return uint32_t(timeGetTime());
}

void sleepMs(int ms) {
    Sleep(DWORD(ms));
}

void portName(int port, char* out, int size) {
    std::snprintf(out, size_t(size), "COM%d", port);
}

const SerialBackend win32System{openPort,   closePort,    waitingBytes, readBytes,
                                writeBytes, multimediaMs, sleepMs,      portName};
} // namespace

const SerialBackend& systemSerialBackend() {
    return win32System;
}
