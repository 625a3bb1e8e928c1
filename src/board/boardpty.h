// The operating-system side of the board simulator: a pseudo-terminal that
// plays the board's USB serial port, the symlink that names it, the stop and
// snapshot signals, and the clock.
#pragma once
#include <cstdint>
#include <string>

struct BoardPty {
    int master = -1;
    std::string slavePath;
};

// Opens a new pty in raw mode at 115200 baud, with nobody connected yet.
// Returns 1, or 0 with `error` set.
int boardPtyOpen(BoardPty& pty, std::string& error);
void boardPtyClose(BoardPty& pty);
// Waits up to ms for bytes from the PC (just sleeps while nobody is connected).
void boardPtyWait(BoardPty& pty, int ms);
// 1 while some process has the port open.
int boardPtyPeerOpen(BoardPty& pty);
// Reads what the PC sent: a count (0 when nothing waits), or -1 when nobody
// has the port open.
int boardPtyRead(BoardPty& pty, uint8_t* buffer, int capacity);
// Writes without blocking; returns the bytes taken (0 when the PC reads nothing).
int boardPtyWrite(BoardPty& pty, const uint8_t* data, int length);
// The baud rate the PC set on its side of the port.
int boardPtyBaud(BoardPty& pty);

// Points `link` at `target`, replacing an old link in one step; anything at
// `link` that is not a symbolic link is refused. 1 or 0.
int boardLinkSet(const std::string& link, const std::string& target, std::string& error);
// Removes `link` while it still points at `target`.
void boardLinkRemove(const std::string& link, const std::string& target);

// SIGINT and SIGTERM ask to stop, SIGUSR1 for a panel snapshot.
void boardSignalsInstall();
bool boardStopRequested();
bool boardTakeSnapshotRequest();

uint64_t boardClockMs();
void boardSleepMs(int ms);
