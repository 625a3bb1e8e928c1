// Scanning primitives of the command language. Each works in place on the
// caller's scan pointer and never moves it past the terminating NUL.
#pragma once
#include <cstdint>

void nextline(const char** scan);
void nextchar(const char** scan);
int16_t getvalue(const char** scan);
int16_t getnextvalue(const char** scan);
// Collects quoted pieces and numbers up to the end of the argument into out
// (capacity bytes including the NUL; longer arguments are cut, the scan still
// consumes the whole argument). Returns the number of bytes stored.
int16_t getString(const char** scan, char* out, int capacity = 256);
