// Shared body of the reader fuzzers: each input goes to LoadDIBmemory under a
// name whose extension picks the reader, so no file is ever written.
#pragma once
#include "image/dib.h"

#include <cstdint>
#include <cstdlib>

inline int fuzzLoad(const uint8_t* data, size_t size, const char* name) {
    static MultiDIB* list = static_cast<MultiDIB*>(calloc(1, sizeof(MultiDIB)));
    int r = LoadDIBmemory(list, data, size, name);
    if (r != 0 && r != 1) abort();
    if (!r && GetDIBError() == DIB_OK) abort(); // every refusal names its reason
    volatile uint32_t sum = 0;
    for (int k = 0; r && k < list->count; k++) {
        const DIB& d = list->slot[list->first + k];
        if (!d.mem) abort();
        // Reading every byte of the pixel area lets the sanitizer check its size.
        uint32_t n = uint32_t(d.lineBytes) * uint32_t(DIBHeight(&d));
        for (uint32_t i = 0; i < n; i++) sum = sum + d.bits[i];
    }
    MultiDibFree(list);
    return 0;
}
