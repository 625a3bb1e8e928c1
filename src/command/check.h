// The checker of command files: finds what the interpreter runs without a
// word although its writer hardly meant it (an unknown command, a missing
// number, a fill that draws nothing). It reads with the interpreter's own
// reader and command walk, so both agree on every command, number and text,
// and it runs and sends nothing. Pictures are checked by loading them, UF2
// firmware files by their blocks.
#pragma once
#include <cstddef>
#include <string>
#include <vector>

struct CheckFinding {
    int line;         // 1-based; 0 for a finding about the whole file
    int column;       // 1-based, in bytes
    const char* kind; // one of checkKinds
    std::string message;
};

// The short names of the findings, as the reports show them in brackets.
extern const char* const checkKinds[];
extern const int checkKindCount;
// 1 when name is one of checkKinds.
int isCheckKind(const char* name);

// The panel a check assumes at the start of a file: the model (1 to 6) and
// orientation (0, 90, 180, 270) a run would start with.
struct CheckPanel {
    int model;
    int angle;
};

// Checks one file by its extension: a command file (.txt), a picture (.bmp
// .png .jpg .gif) or a firmware file (.uf2). A file that cannot be read is
// a finding too.
std::vector<CheckFinding> checkFile(const char* path, CheckPanel panel);
// Checks the command text [text, text + length), text[length] being NUL.
// folder (with its final separator) is where the bitmap command looks for
// picture names that name no folder of their own.
std::vector<CheckFinding> checkCommandText(const char* text, size_t length,
                                           const std::string& folder, CheckPanel panel);
