// The program's path from its command line, and shortcut files read with the
// Win32 file calls; the parsing itself is portable (core/wm_user.cpp).
#include "win/wm_user.h"

#include <windows.h>

namespace {

size_t readFromHandle(void* context, uint64_t offset, uint8_t* buf, size_t count) {
    HANDLE file = static_cast<HANDLE>(context);
    // Shortcut files are small: GetFileSize reported their size in 32 bits.
    if (offset > 0xFFFFFFFFu || count > 0xFFFFFFFFu) return 0;
    if (SetFilePointer(file, LONG(offset), nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER)
        return 0;
    DWORD got = 0;
    if (!ReadFile(file, buf, DWORD(count), &got, nullptr)) return 0;
    return got;
}

int openLinkFile(const char* name, LinkSource* source) {
    HANDLE file = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    if (size == INVALID_FILE_SIZE || high != 0 || size == 0) {
        CloseHandle(file);
        return 0;
    }
    *source = LinkSource{file, size, readFromHandle};
    return 1;
}

void closeLinkFile(LinkSource* source) {
    CloseHandle(static_cast<HANDLE>(source->context));
}

const LinkFileOps kWin32LinkFiles = {openLinkFile, closeLinkFile};

} // namespace

void GetAppPathName(char* folder, char* name, int capacity) {
    char current[MAX_PATH + 1];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length == 0 || length >= sizeof current) current[0] = 0;
    AppPathFromCommandLine(GetCommandLineA(), current, folder, name, capacity);
}

void RecolveLinkFilename(char* name) {
    ResolveLinkName(name, &kWin32LinkFiles);
}
