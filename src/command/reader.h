// Scanning primitives of the command language. Each works in place on the
// caller's scan pointer and never moves it past the terminating NUL.
#pragma once
#include <cstdint>

void nextline(const char** scan);
void nextchar(const char** scan);
int16_t getvalue(const char** scan);
int16_t getnextvalue(const char** scan);
// One piece of a text argument: a quoted text or a number.
struct TextPiece {
    const char* start; // the opening quote, or the number's first byte
    const char* end;   // behind the piece
    char quote;        // the opening quote character; 0 for a number
    bool closed;       // a quoted piece that ended on its own quote
    int16_t value;     // a number's value
};
// Reads the next piece of a text argument: 1 and the piece, or 0 at the
// argument's end (LF, ";" or NUL), where the scan then stands.
int nextTextPiece(const char** scan, TextPiece* piece);
// Collects quoted pieces and numbers up to the end of the argument into out
// (capacity bytes including the NUL; longer arguments are cut, the scan still
// consumes the whole argument). Returns the number of bytes stored.
int16_t getString(const char** scan, char* out, int capacity = 256);
