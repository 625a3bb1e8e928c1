// Firmware files beside the program and the upload onto a board's boot drive.
// The offer that asks the user and starts the upload as a job is the job's
// (job/firmware_offer.h).
#pragma once
#include <cstdint>

// The newest firmware file of each board type: version x 100 (0 = none) and full name.
extern int32_t fwVer2040;
extern char fwPath2040[256];
extern int32_t fwVer2350;
extern char fwPath2350[256];

// The firmware question: 1 not yet asked, 2 while a question is open, 0 done.
extern int32_t fwCheck;

// Finds the newest firmware file of a board type (1 RP2040, 2 RP2350) in appDir.
void getFWfile(int type);
// Version x 100 read from a file name at its last capital "V"; 0 when none.
int32_t firmwareVersionFromName(const char* name);

// ---- the upload ----
constexpr int bootDriveLooks = 20;
constexpr int bootDriveLookMs = 200;
constexpr int uploadProgressEnd = 512;
constexpr int uploadPieceBytes = 512;
constexpr int programmingStepBytes = 17000;
constexpr int programmingStepMs = 100;
constexpr int bootDriveTargetSize = 128; // the target name's buffer, NUL included
// A UF2 file holds 256 bytes of flash in every 512; the largest flash of
// the boards, 16 MB, needs 32 MB.
constexpr uint64_t firmwareFileMaxBytes = uint64_t(64) << 20;

// How the last upload ended. The window program only shows its log; the
// runner reports these.
enum FirmwareUploadResult {
    fwUploadNotRun = 0,
    fwUploadNoBoard,      // neither a connected board nor a boot drive
    fwUploadUnreadable,   // the firmware file could not be read
    fwUploadNoDrive,      // the boot drive did not appear
    fwUploadNameTooLong,  // the target name does not fit its buffer
    fwUploadTargetFailed, // the target file could not be created
    fwUploadWriteFailed,  // writing to the boot drive failed
    fwUploadDone,
};
extern int fwUploadResult;
// A short text for a result other than fwUploadDone.
const char* firmwareUploadProblem(int result);

// Bytes of the next piece: a full piece while more than size / 512 bytes
// remain (and a full piece remains), then all the rest at once.
int firmwarePieceSize(int remaining, int size);

struct FirmwareHooks {
    void (*wait)(int milliseconds); // null sleeps for real
    // One look for the boot drive while the board restarts; sets picoDrive
    // when the drive is there. Null leaves it to another thread (the window
    // program's device notifications).
    void (*lookForBootDrive)();
};
void installFirmwareHooks(const FirmwareHooks& hooks);
// Forgets the firmware files, the hooks and the last result; fwCheck back to 1.
void resetFirmwareState();

// Copies a UF2 file onto the board: restarts a running board into its boot
// loader, waits for its drive, copies, waits while the board programs itself.
void PicoFirmwareUpload(const char* file);
