// The window's timer without a window: the runner's --watch.
#pragma once
#include "cli/options.h"

// Every 100 ms: board input; on every other tick the watched file (the one
// named, else the module file of the current model and orientation) runs
// again when its time stamp changed; without a board the demo steps through
// the start screens every 3 seconds. The PNGs are rewritten after each change.
// boardReaderRuns: the runner's board reader already reads the board every
// tick on its own thread, so the loop leaves the board input to it.
// Ends on SIGINT or SIGTERM. Returns the exit status.
int runWatch(const CliOptions& options, bool boardReaderRuns);
