// The serial port layer: the program's only access to the board. One port at
// a time, byte and block reads with time-outs counted in ticks (hundredths of
// a second, waited for by polling with 10 ms sleeps), and block writes.
//
// Results: 1 (or a count) for success, 0 for failure, -1 where no port is
// open. Every operation other than COMopen works on a closed port and then
// gives its no-port result.
//
// Threads: the port's handle and lifetime are owned by a lock inside the
// layer. One thread may read (the window's tick, the runner's reader) while
// another writes (the send-file worker); neither waits for the other, and a
// write that blocks for seconds holds up no one. Any thread may close the
// port: a read or write under way finishes on its handle, which is closed
// when it is done; COMopen waits for that before it opens the device again.
// The device path table has a lock of its own.
#pragma once
#include <cstdint>

// The write block size: COMwrblk splits larger writes into blocks of this
// size, and sendbuffer sends chunks of it.
constexpr int COMblksize = 1024;

uint32_t clockhs();
int COMopen(int port, int baud);
void COMclose();
// 1 while a port is open.
int COMisOpen();
int COMinbufferanz();
void COMbufclear();
int COMread(int timeoutTicks);
int COMrdblk(void* buffer, int count, int timeoutTicks);
int COMsendblk(const void* buffer, int count);
int COMwrblk(const void* buffer, int count);
// Sleeps on the layer's clock (the board link's fixed waits).
void COMpause(int milliseconds);

// Baud rates the program uses: talking to the board, and the request that
// restarts it into its boot loader.
constexpr int boardBaud = 115200;
constexpr int bootRequestBaud = 1200;

// ---- what the layer asks of the operating system ----
// One implementation per system (board/posix, board/win32); tests install
// fakes. Handles are the implementation's own.
struct SerialBackend {
    // Opens port n, applies the line settings (baud, 8 data bits, no parity,
    // one stop bit, no flow control), the time-outs and queue sizes, raises
    // DTR and RTS. 1 and a handle when the port is open and set up, else 0.
    int (*open)(int port, int baud, intptr_t* handle);
    void (*close)(intptr_t handle);
    // Bytes waiting; -1 when the query fails; the negated error mask when a
    // line error was pending (the query clears it).
    int (*waiting)(intptr_t handle);
    // Reads up to count bytes without waiting: bytes read (0 when none), -1
    // when the port failed.
    int (*read)(intptr_t handle, void* buffer, int count);
    // One write call, given up after 1 ms per byte plus 1000 ms: bytes
    // written (count when all went out).
    int (*write)(intptr_t handle, const void* buffer, int count);
    uint32_t (*milliseconds)(); // a monotonic millisecond count
    void (*sleepMs)(int milliseconds);
    // The port's name as messages show it ("COM5", "/dev/ttyACM0").
    void (*portName)(int port, char* out, int size);
};

void installSerialBackend(const SerialBackend& backend);
// Back to no operating system at all: no port opens. Closes an open port.
void resetSerialLayer();
// The calls of the system the program was built for (board/posix, board/win32).
const SerialBackend& systemSerialBackend();
// A port that takes every write and never has input: the runner uses it to
// record what a board would get when none is connected.
const SerialBackend& sinkSerialBackend();

// Every byte that a write puts on the wire is also handed to the capture
// (the runner's -b file). Null switches it off.
using SerialCapture = void (*)(const void* bytes, int count, void* context);
void COMsetCapture(SerialCapture capture, void* context);

// The port's name as messages show it.
void COMportName(int port, char* out, int size);
// The Windows device name of a COM port: "COM9", but "\\.\COM10" from 10 on.
void COMdeviceName(int port, char* out, int size);

// ---- port numbers on systems without COM numbers ----
// A small table from port numbers to device paths: discovery fills it, and a
// device given by the user is registered. A path keeps its number for the
// life of the process; numbers start at 1.
constexpr int maxRegisteredPorts = 128;
// The number for a device path (registering it when new), 0 when the table is full
// or the path is empty or too long.
int COMregisterDevice(const char* path);
// The path registered for a port number, or null.
const char* COMdevicePath(int port);
void COMforgetDevices();
