// vantorix-send: hands a file name to the running Vantorix window, which opens
// it as if it had been named on its command line. For users' scripts:
//   vantorix-send [--chunk N] [--class CLASS] FILE
// The name travels in window messages of 1 to 8 characters (8 unless --chunk
// says otherwise); a relative name is made full first, since the window's
// current folder is not the sender's.
#include "app/wm_user.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <windows.h>

namespace {

constexpr const char* kDefaultClass = "Vantorix";

int usage() {
    fprintf(stderr, "usage: vantorix-send [--chunk 1..8] [--class CLASS] FILE\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    int chunk = int(kInstanceMaxChunk);
    const char* className = kDefaultClass;
    int arg = 1;
    for (; arg + 1 < argc && strncmp(argv[arg], "--", 2) == 0; arg += 2) {
        if (strcmp(argv[arg], "--chunk") == 0) {
            char* end = nullptr;
            long value = strtol(argv[arg + 1], &end, 10);
            if (*end || value < 1 || value > long(kInstanceMaxChunk)) return usage();
            chunk = int(value);
        } else if (strcmp(argv[arg], "--class") == 0) {
            className = argv[arg + 1];
        } else {
            return usage();
        }
    }
    if (arg >= argc) return usage();
    // The rest of the command line is one name, as the window takes its own.
    std::string name = argv[arg];
    for (int i = arg + 1; i < argc; i++) name += std::string(" ") + argv[i];

    char full[MAX_PATH * 2];
    DWORD length = GetFullPathNameA(name.c_str(), sizeof full, full, nullptr);
    if (length == 0 || length >= sizeof full) {
        fprintf(stderr, "vantorix-send: cannot make a full path of %s\n", name.c_str());
        return 1;
    }
    InstanceMsg msgs[kInstanceMaxMessages];
    int count = BuildInstanceMessages(full, chunk, msgs, kInstanceMaxMessages);
    if (count == 0) {
        fprintf(stderr, "vantorix-send: the name is longer than %d characters: %s\n",
                kInstanceBufSize - 1, full);
        return 1;
    }
    HWND window = FindWindowA(className, nullptr);
    if (!window) {
        fprintf(stderr, "vantorix-send: no window of class %s is open\n", className);
        return 1;
    }
    for (int i = 0; i < count; i++) {
        if (!PostMessageA(window, WM_USER + msgs[i].offset, WPARAM(msgs[i].wParam),
                          LPARAM(msgs[i].lParam))) {
            fprintf(stderr, "vantorix-send: the window took no message (error %lu)\n",
                    GetLastError());
            return 1;
        }
    }
    return 0;
}
