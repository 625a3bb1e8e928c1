// What the runner writes after its files: the panel PNG, the window PNG.
#pragma once
#include "cli/options.h"

#include <string>

// Writes the PNGs the options ask for, each as file/output.h writes outputs. Returns 1 when all
// were written; each failure is printed.
int writeRunnerOutputs(const CliOptions& options);
