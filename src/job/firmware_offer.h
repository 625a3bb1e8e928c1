// The firmware offer of the window's timer (every 200 ms): an update for an
// older or foreign firmware, or the programming of an empty board, run as a
// send job when the user agrees.
#pragma once

// Asks the user; 1 = yes. systemModal: the empty-board question, which the
// window program shows system-modal.
using FirmwareQuestion = int (*)(const char* text, int systemModal);
enum FirmwareDecision {
    fwDecisionNothing = 0, // nothing offered, or the user said no
    fwDecisionModuleFile,  // nothing to offer: the caller checks the module file
    fwDecisionUploaded,    // the firmware job ran
};
// Offers an update to an older or foreign firmware, or the programming of an
// empty board, as FWupdate and ProgEmptyPico allow, and runs the job on yes.
int firmwareDecision(FirmwareQuestion ask);
