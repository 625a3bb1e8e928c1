#include "job/firmware_offer.h"

#include "board/firmware.h"

#include "board/picolink.h"
#include "common/settings.h"
#include "job/sendjob.h"

#include <cstdio>
#include <cstring>

namespace {
// Board firmware versions from here on belong to the e-paper firmware.
constexpr int32_t foreignFirmwareVersion = 200;

int32_t newestVersionFor(int type) {
    return type == 1 ? fwVer2040 : type == 2 ? fwVer2350 : 0;
}

const char* newestPathFor(int type) {
    return type == 2 ? fwPath2350 : fwPath2040;
}

double shown(int32_t version) {
    return version / 100.0;
}

// The board as the questions name it.
const char* boardName(int type) {
    return type == 1 ? "RP2040 Pico" : "RP2350 Pico 2";
}

int askForeign(FirmwareQuestion ask, int32_t newest) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "found %s board with Talvoren V%4.2f firmware.\n"
                  "would you like to programm vantorix V%4.2f firmware ?",
                  boardName(picoType), shown(picoFW), shown(newest));
    return ask ? ask(text, 0) : 0;
}

int askUpdate(FirmwareQuestion ask, int32_t newest) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "found %s vantorix V%4.2f\nnew vantorix firmware V%4.2f available.\nUpdate Now ?",
                  boardName(picoType), shown(picoFW), shown(newest));
    return ask ? ask(text, 0) : 0;
}

int askEmptyBoard(FirmwareQuestion ask, int32_t newest) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "found empty %s board\nwould you like to program vantorix V%4.2f firmware ?",
                  boardName(picoType), shown(newest));
    return ask ? ask(text, 1) : 0;
}

int startFirmwareJob(int type) {
    char name[256];
    std::snprintf(name, sizeof name, "%s", newestPathFor(type));
    FileOrBild2buffer(name, 0, 0);
    return fwDecisionUploaded;
}

bool offersUpdate() {
    return fwCheck == 1 && picoFW > 0 && FWupdate > 0 &&
           (picoFW >= foreignFirmwareVersion || (picoType == 1 && picoFW < fwVer2040) ||
            (picoType == 2 && picoFW < fwVer2350));
}

int offerUpdate(FirmwareQuestion ask) {
    fwCheck = 2;
    int32_t newest = newestVersionFor(picoType);
    int yes = 0;
    // A foreign board is not offered a firmware file that is not there.
    if (newest <= 0)
        yes = 0;
    else if (picoFW >= foreignFirmwareVersion)
        yes = askForeign(ask, newest);
    else
        yes = FWupdate == 2 ? askUpdate(ask, newest) : FWupdate;
    int result = yes ? startFirmwareJob(picoType) : fwDecisionNothing;
    fwCheck = 0;
    return result;
}

int offerEmptyBoard(FirmwareQuestion ask) {
    int32_t drive = picoDrive;
    picoDrive = 0; // the question cannot come twice
    int32_t newest = newestVersionFor(picoType);
    if (newest <= 0) return fwDecisionNothing;
    int yes = ProgEmptyPico == 2 ? askEmptyBoard(ask, newest) : ProgEmptyPico;
    if (!yes) return fwDecisionNothing;
    picoDrive = drive;
    return startFirmwareJob(picoType);
}
} // namespace

int firmwareDecision(FirmwareQuestion ask) {
    if (offersUpdate()) return offerUpdate(ask);
    if (!picoDrive) return fwDecisionModuleFile;
    return offerEmptyBoard(ask);
}
