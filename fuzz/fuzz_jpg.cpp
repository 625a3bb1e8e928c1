// libFuzzer entry for the JPG reader.
#include "fuzz_load.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzLoad(data, size, "fuzz.jpg");
}
