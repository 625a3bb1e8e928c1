#include "board/firmware.h"

#include "board/picolink.h"
#include "board/seriowin.h"
#include "common/jobstate.h"
#include "common/seam.h"
#include "common/settings.h"
#include "file/fsys.h"
#include "file/wholefile.h"
#include "module/modulefile.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

int32_t fwCheck = 1;
int fwUploadResult = fwUploadNotRun;

namespace {
FirmwareHooks hooks{};

void waitMs(int milliseconds) {
    if (hooks.wait)
        hooks.wait(milliseconds);
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

const char* baseName(const char* path) {
    const char* name = path;
    for (const char* p = path; *p; ++p) {
        if (*p == '\\' || *p == '/') name = p + 1;
    }
    return name;
}

// The board restarts into its boot loader when its port is opened at 1200
// baud and closed; its drive then appears, seen by whoever watches devices.
void requestBootLoader() {
    printMessage("Set Picoboard in Programming mode\r\n");
    COMclose();
    COMopen(picoPort, bootRequestBaud);
    COMclose();
    for (int look = 0; look < bootDriveLooks && !picoDrive; ++look) {
        waitMs(bootDriveLookMs);
        if (hooks.lookForBootDrive) hooks.lookForBootDrive();
    }
}

// A board with half a firmware stays in its boot loader, so a failed write
// must not look like a finished upload: the copy stops and says so.
bool copyPieces(FileSink* target, const uint8_t* data, int size) {
    int done = 0, step = 0;
    while (done < size) {
        int piece = firmwarePieceSize(size - done, size);
        if (!writeFileSink(target, data + done, size_t(piece))) break;
        done += piece;
        setSendProgress(++step);
    }
    if (done == size && syncFileSink(target)) return true;
    printMessage("Write error on the boot drive after %d of %d Bytes\r\n", done, size);
    return false;
}

void waitWhileProgramming(int size) {
    printMessage("Programming... please wait\r\n");
    int steps = size / programmingStepBytes;
    for (int k = 1; k <= steps; ++k) {
        setSendProgress((k - 1) * uploadProgressEnd / steps);
        waitMs(programmingStepMs);
    }
    printMessage("Picoboard Reset...");
}

void copyToBootDrive(const char* file, const uint8_t* data, int size) {
    // "E:\\" on Windows; a mounted folder elsewhere, joined with "/".
    const char* root = picoDriveRoot;
    size_t rootLength = std::strlen(root);
    bool hasSeparator = rootLength && (root[rootLength - 1] == '\\' || root[rootLength - 1] == '/');
    const char* name = baseName(file);
    char target[bootDriveTargetSize];
    if (std::snprintf(target, sizeof target, "%s%s%s", root, hasSeparator ? "" : "/", name) >=
        int(sizeof target)) {
        printMessage("Firmware name too long for the boot drive: '%s'\r\n", name);
        fwUploadResult = fwUploadNameTooLong;
        return;
    }
    FileSink* sink = createFileSink(target);
    if (!sink) {
        fwUploadResult = fwUploadTargetFailed;
        return;
    }
    printMessage("Copy Firmware '%s' (%d Bytes)  -->  Picoboard '%s'\r\n", name, size, root);
    if (!copyPieces(sink, data, size)) {
        closeFileSink(sink);
        fwUploadResult = fwUploadWriteFailed;
        return;
    }
    waitWhileProgramming(size);
    fwUploadResult = closeFileSink(sink) ? fwUploadDone : fwUploadWriteFailed;
}
} // namespace

// A piece never reaches past the end of the data: below 256 KB the rule's
// bound (size / 512) is smaller than a piece.
int firmwarePieceSize(int remaining, int size) {
    bool fullPiece = remaining > size / uploadPieceBytes && remaining > uploadPieceBytes;
    return fullPiece ? uploadPieceBytes : remaining;
}

const char* firmwareUploadProblem(int result) {
    switch (result) {
    case fwUploadNoBoard:
        return "no board and no boot drive to program";
    case fwUploadUnreadable:
        return "the firmware file cannot be read";
    case fwUploadNoDrive:
        return "the board's boot drive did not appear";
    case fwUploadNameTooLong:
        return "the firmware file name is too long for the boot drive";
    case fwUploadTargetFailed:
        return "the firmware file cannot be created on the boot drive";
    case fwUploadWriteFailed:
        return "writing to the boot drive failed";
    default:
        return "";
    }
}

void installFirmwareHooks(const FirmwareHooks& newHooks) {
    hooks = newHooks;
}

void resetFirmwareState() {
    hooks = FirmwareHooks{};
    fwVer2040 = fwVer2350 = 0;
    fwPath2040[0] = fwPath2350[0] = 0;
    fwCheck = 1;
    fwUploadResult = fwUploadNotRun;
    moduleFile[0] = 0;
    moduleFileTime = 0;
}

void PicoFirmwareUpload(const char* file) {
    fwUploadResult = fwUploadNoBoard;
    if (!picoPort && !picoDrive) return;
    WholeFile data;
    if (!ReadWholeFile(file, firmwareFileMaxBytes, &data)) {
        fwUploadResult = fwUploadUnreadable;
        return;
    }
    showSendDialog();
    setSendProgressRange(0, uploadProgressEnd);
    if (!picoDrive) requestBootLoader();
    if (picoDrive) {
        copyToBootDrive(file, data.data, int(data.size));
        picoDrive = 0;
    } else {
        fwUploadResult = fwUploadNoDrive;
    }
    std::free(data.data);
    fwCheck = 0;
}
