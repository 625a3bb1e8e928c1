// JPEG reader steps, visible to the tests.
#pragma once
#include <cstddef>
#include <cstdint>

int MulDiv32(int a, double multiplier, double divisor);
// The file as a 24-bit DIB block (header, rows bottom-up), or null.
uint8_t* LoadJPGfile(const char* fileName);
uint8_t* LoadJPGdata(const uint8_t* data, size_t size);
