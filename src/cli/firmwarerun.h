// The runner's part in firmware jobs: where the firmware files are, who
// answers the firmware questions, where the upload's progress goes, and how
// the runner finds a board's boot drive.
#pragma once
#include "cli/options.h"

#include <string>

// After headlessStart: finds the newest firmware files and installs the job
// host (a progress bar when stderr is a terminal) and the boot-drive look.
void firmwareRunnerStart(const CliOptions& options);
// True when the run asks for firmware work: --update, --ask or a .uf2 file.
bool hasFirmwareJob(const CliOptions& options);
bool isFirmwareFile(const std::string& name);
// One look for a boot drive; sets picoDrive and picoType and returns 1 when
// one is there (the board in its boot loader has no serial port then).
int lookForBootDrive();
// What the program does at start-up: offers the newest firmware to an older,
// foreign or empty board, answered by --update or --ask. Empty when that went
// well or there was nothing to do, else what failed.
std::string runFirmwareOffer();
// The runner's own folder, with its final "/" (empty when unknown).
std::string runnerFolder();
