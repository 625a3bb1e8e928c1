// The connection to the board: the shared connection state, the board search,
// the boot drive, and the chunked sender that the interpreter and the bitmap
// transfer use.
//
// Threads: openPicoCOM, closePicoCOM and getPicoDrive run on the thread that
// owns the port (the window thread, the runner's main thread). sendbuffer
// runs on the thread that sends a job.
#pragma once
#include <atomic>
#include <cstdint>

// The connection state. Each value is atomic, read by any thread: the thread
// that owns the port writes them (connecting, status blocks, the boot drive
// search), the worker clears picoPort when a write fails (boardLinkFailed)
// and sets picoDrive during an upload.
//
// COM port number of the connected board; 0 = none. Every test whether a
// board is connected reads this.
extern std::atomic<int32_t> picoPort;
extern std::atomic<int32_t>
    picoFW; // firmware version x 100 from the last status block; 0 = not known
extern std::atomic<int32_t> picoType;  // 0 not known, 1 RP2040, 2 RP2350
extern std::atomic<int32_t> picoDrive; // boot drive letter as a character code; 0 = none

// A boot drive without a letter (a mounted folder) has this as its picoDrive.
constexpr int32_t bootFolderDrive = '/';
// The boot drive's root as a path ("E:\\" or a mounted folder), set with picoDrive.
extern char picoDriveRoot[256];

struct PicoEntry {
    int32_t port;
    char name[128];
    uint16_t vid;
    uint16_t pid;
};
constexpr int picoListSize = 100;
constexpr uint16_t picoVendorId = 0x2E8A;
constexpr uint16_t picoProductId = 0x000A;
extern PicoEntry picoList[picoListSize];
extern int32_t picoCount;
extern int32_t picoIndex;

// The registry key that lists the usbser driver's devices, and the kind of
// list SearchRegKey reads there.
extern const char* const usbserEnumKey;
constexpr int usbSerialList = 2;

int GetCOMnames();
void SearchRegKey(const char* key, int kind);
// Connects to the first listed board that answers the query.
void openPicoCOM();
// Connects to one port the same way (a device the user named): 1 when
// connected, 0 when it did not answer, -1 when it could not be opened.
int openPicoPort(int port);
void closePicoCOM();
// The boot drive of a board in its boot loader: its letter (or bootFolderDrive),
// or 0. The board type seen is stored through type when given.
int getPicoDrive(int32_t* type);
// A folder to take as the boot drive when it holds INFO_UF2.TXT (null: none).
// Its label and file system are not looked at.
void setBootFolder(const char* folder);

// Sends count bytes in chunks of COMblksize with COMwrblk, reporting progress
// 0..1000 to the window. Returns count, or the bytes sent before a write
// failed; a failed write also ends the connection (boardLinkFailed).
uint32_t sendbuffer(const void* buffer, uint32_t count);

// Callers of COMwrblk come here when a write fails: the board stopped taking
// data or went away. Forwarding stops at once (picoPort = 0), the error
// output hears of it once, and the port waits for closePicoCOM on the thread
// that owns it. Returns 0 so callers can pass it on.
int boardLinkFailed();
// 1 once a write has failed since the last connection attempt, until the
// port is let go (closePicoCOM).
int boardLinkLost();

// Back to no board: connection state and lists cleared (the port itself is not touched).
void resetPicoLink();
