// The runner's board: connecting as the options ask, reading the board's
// reports while the files run and after them, and the --status report.
#pragma once
#include "cli/options.h"

#include <string>

enum class BoardStart {
    none,      // no board asked for, or --port auto found none
    connected, // picoPort is set; the first status block was handled
    failed,    // the named device could not be opened or did not answer (message printed)
};

// Connects after headlessStart. Prints its warnings and errors.
BoardStart startBoard(const CliOptions& options);
// Reads the board's reports every tick on a thread of its own while files run.
void startBoardReader();
bool boardReaderRuns();
// Stops that thread and keeps the port (a firmware upload takes the port over).
void stopBoardReader();
// Stops the reader, handles the reports that still come (until the board has
// been quiet for a moment) and lets the board go.
void finishBoard();
// Sends the configuration message for the options' model, touch option and
// angle, prints what the board then reports and lets it go. Exit status: 0
// when the board took the configuration.
int configureBoard(BoardStart board, const CliOptions& options);
// What the connected board reported, one "name: value" line each; empty when
// its answer was not a status block.
std::string boardStatusText();
