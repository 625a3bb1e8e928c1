// The boot loader's drive, played by a folder: INFO_UF2.TXT appears in it, and
// a UF2 file copied there is judged as the boot loader would judge it.
#pragma once
#include <cstdint>
#include <map>
#include <string>

// A file that has not grown for this long is complete as far as it goes.
constexpr uint64_t bootFileSettleMs = 1000;
// Files beyond this size are not read (no firmware for these boards is that large).
constexpr uintmax_t bootFileMaxBytes = 32u << 20;

struct BootFileSeen {
    uintmax_t size = 0;
    uint64_t changedAtMs = 0;
};

struct BootDrive {
    std::string dir;
    std::string keepDir; // when set, taken files are moved here rather than removed
    int pico2 = 0;
    std::map<std::string, BootFileSeen> files;
};

// Shows the drive: writes DIR/INFO_UF2.TXT. Returns 1, or 0 with `error` set.
int bootDriveAppear(BootDrive& drive, const std::string& dir, int pico2, std::string& error);
// Looks at the UF2 files once. A refused file is removed (the boot loader keeps
// nothing of it); a taken one is removed with INFO_UF2.TXT, as the drive goes
// away, and its name is returned. Empty when nothing was taken.
std::string bootDrivePoll(BootDrive& drive, uint64_t nowMs);
// Removes INFO_UF2.TXT (the drive goes away without a new firmware).
void bootDriveVanish(BootDrive& drive);
