// JPEG reader steps, visible to the tests.
#pragma once
#include <cstdint>

// Largest pixel area (bytes of 24-bit rows) the reader allocates for one picture.
constexpr uint64_t JPG_MAX_BYTES = 1ull << 30;

int MulDiv32(int a, double multiplier, double divisor);
// The file as a packed 24-bit DIB block (header, rows bottom-up), or null.
uint8_t* LoadJPGfile(const char* fileName);
