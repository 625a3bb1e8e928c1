#include "cli/checkrun.h"

#include "command/check.h"

#include <algorithm>
#include <cstdio>

namespace {
bool isQuiet(const CliOptions& options, const char* kind) {
    return std::any_of(options.quietKinds.begin(), options.quietKinds.end(),
                       [kind](const std::string& quiet) { return quiet.substr(3) == kind; });
}

void printFinding(const std::string& file, const CheckFinding& finding) {
    if (finding.line > 0)
        std::printf("%s:%d:%d: warning: %s [%s]\n", file.c_str(), finding.line, finding.column,
                    finding.message.c_str(), finding.kind);
    else
        std::printf("%s: warning: %s [%s]\n", file.c_str(), finding.message.c_str(), finding.kind);
}
} // namespace

int runCheck(const CliOptions& options) {
    int warnings = 0, filesWithWarnings = 0;
    for (const std::string& file : options.files) {
        int before = warnings;
        for (const CheckFinding& finding :
             checkFile(file.c_str(), {options.model, options.angle})) {
            if (isQuiet(options, finding.kind)) continue;
            printFinding(file, finding);
            ++warnings;
        }
        if (warnings > before) ++filesWithWarnings;
    }
    std::fflush(stdout);
    if (warnings == 0) return 0;
    std::fprintf(stderr, "%d warning%s in %d file%s\n", warnings, warnings == 1 ? "" : "s",
                 filesWithWarnings, filesWithWarnings == 1 ? "" : "s");
    return 1;
}
