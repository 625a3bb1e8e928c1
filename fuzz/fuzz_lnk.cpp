// libFuzzer entry for the shortcut (.lnk) parser: the input is the link file.
#include "app/wm_user.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    MemoryLinkSource memory{data, size};
    LinkSource source = LinkSourceFromMemory(&memory);
    char name[kInstanceBufSize];
    memset(name, 0x55, sizeof name);
    name[0] = 0;
    if (ReadLinkTarget(&source, name) && strnlen(name, sizeof name) == sizeof name) abort();
    return 0;
}
