// libFuzzer target for the BMP reader: every input is read from memory as a
// ".bmp"; whatever loads is turned once so that the rotation code sees the
// reader's blocks too. Built by fuzz/CMakeLists.txt when the compiler is clang.
//
// Build and run (clang only), from the repository root:
//   clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -Isrc \
//       fuzz/fuzz_bmp.cpp src/image/*.cpp src/file/*.cpp -lz -ljpeg -o fuzz_bmp
//   mkdir -p corpus && cp ../shared/testdata/bmpsuite/*/*.bmp corpus/
//   ./fuzz_bmp -max_len=65536 -max_total_time=300 corpus
#include "image/dib.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MultiDIB list;
    if (LoadDIBmemory(&list, data, size, "fuzz.bmp")) {
        DIB turned = {};
        if (CopyRotateDIB(&turned, &list.slot[1], 90)) FreeDIB(&turned);
    }
    MultiDibFree(&list);
    return 0;
}
