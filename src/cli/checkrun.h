// --check: reports the findings of every FILE, one line each, in the form
// compilers use, and a summary on stderr.
#pragma once
#include "cli/options.h"

// 0 when no file had a finding that was not silenced, else 1.
int runCheck(const CliOptions& options);
