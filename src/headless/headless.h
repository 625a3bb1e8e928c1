// The headless host: a frame memory for the emulated panel, and the window
// side filled the way a window would fill it, without a window.
#pragma once
#include "board/seriowin.h"
#include "module/newtft.h"

#include <cstdint>
#include <string>
#include <vector>

struct HeadlessOptions {
    int model = 1;
    int touch = 0;
    int angle = 0;
    bool verbose = false;  // job log lines to stderr
    std::string moduleDir; // folder of the module files, with its final separator
    // When set, a board that takes every byte is connected, and what it
    // receives is appended here.
    std::vector<uint8_t>* boardBytes = nullptr;
    // When set, the module picture is copied from here (NewTFTFrom).
    const KeptModulePicture* keptPicture = nullptr;
};

// Builds the module as a new one starts: all pixels black, the given angle.
// Resets the window side, the serial layer and the connection state.
void headlessStart(const HeadlessOptions& options);
// Connects a board that takes every byte and appends them to bytes; a host
// may give the serial backend it stands on.
void connectRecordingBoard(std::vector<uint8_t>* bytes,
                           const SerialBackend& backend = sinkSerialBackend());
// Appends every byte that goes on the wire to bytes (null stops it).
void captureBoardBytes(std::vector<uint8_t>* bytes);
// 1 when the panel was redrawn or the module rebuilt since the last call.
int headlessTakeChanges();
// The errors the job steps reported since headlessStart, one per line.
const std::vector<std::string>& headlessErrors();
