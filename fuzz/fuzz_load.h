// Shared body of the reader fuzzers: the readers take file names, so each input
// goes through a file of this process, named with the extension that picks the reader.
#pragma once
#include "image/dib.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

inline std::string& fuzzPathStore() {
    static std::string path;
    return path;
}

inline void fuzzRemoveFile() {
    remove(fuzzPathStore().c_str());
}

inline const std::string& fuzzPath(const char* extension) {
    std::string& path = fuzzPathStore();
    if (path.empty()) {
        const char* dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
        path = std::string(dir) + "/vantorix_fuzz_" + std::to_string(getpid()) + extension;
        atexit(fuzzRemoveFile);
    }
    return path;
}

inline int fuzzLoad(const uint8_t* data, size_t size, const char* extension) {
    const std::string& path = fuzzPath(extension);
    remove(path.c_str());
    FILE* f = fopen(path.c_str(), "wb");
    if (!f) return 0;
    if (size) fwrite(data, 1, size, f);
    fclose(f);
    static MultiDIB* list = static_cast<MultiDIB*>(calloc(1, sizeof(MultiDIB)));
    int r = LoadDIB(list, path.c_str());
    if (r != 0 && r != 1) abort();
    volatile uint32_t sum = 0;
    for (int k = 0; r && k < list->count; k++) {
        DIB d; // the list is packed: read its records through a copy
        memcpy(&d, &list->slot[list->first + k], sizeof d);
        if (!d.mem) abort();
        // Reading every byte of the pixel area lets the sanitizer check its size.
        uint32_t n = uint32_t(d.lineBytes) * rdLE32(d.bmih + BI_HEIGHT);
        for (uint32_t i = 0; i < n; i++) sum = sum + d.bits[i];
    }
    MultiDibFree(list);
    return 0;
}
