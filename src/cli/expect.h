// --expect and --expect-window: after all files, the panel and the window
// picture compared with pictures known to be right.
#pragma once
#include "cli/options.h"

// Compares (or with --update-expected writes) what the options name; draws
// or removes the --diff pictures. Returns 1 when every picture matched or
// was written; each difference and failure is printed.
int checkExpectedPictures(const CliOptions& options);
