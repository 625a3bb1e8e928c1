// The peers write what they decoded to OUT in one piece, as the runner's
// --decode writes its BMP, so that both sides of a pair do the same work.
#pragma once
#include <cstdio>

inline int writeDecoded(const char* path, const void* data, size_t size) {
    FILE* file = std::fopen(path, "wb");
    if (!file) return 0;
    const bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}
