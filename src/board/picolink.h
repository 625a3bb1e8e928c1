// The connection to the board: the shared connection state, the board search,
// and the chunked sender that the interpreter and the bitmap transfer use.
#pragma once
#include <cstdint>

// COM port number of the connected board; 0 = none. Every test whether a
// board is connected reads this.
extern int32_t picoPort;
extern int32_t picoFW;    // firmware version x 100 from the last status block; 0 = not known
extern int32_t picoType;  // 0 not known, 1 RP2040, 2 RP2350
extern int32_t picoDrive; // boot drive letter as a character code; 0 = none

// Sends count bytes in chunks of COMblksize with COMwrblk, reporting progress
// 0..1000 to the window. Returns count, or the bytes sent before a write
// failed; a failed write also ends the connection (boardLinkFailed).
uint32_t sendbuffer(const void* buffer, uint32_t count);

// Callers of COMwrblk come here when a write fails: the board stopped taking
// data or went away. Forwarding stops at once (picoPort = 0), the error
// output hears of it once, and the port waits for closePicoCOM on the thread
// that owns it. Returns 0 so callers can pass it on.
int boardLinkFailed();
// 1 once a write has failed since the last connection attempt.
int boardLinkLost();

// Back to no board: connection state cleared (the port itself is not touched).
void resetPicoLink();
