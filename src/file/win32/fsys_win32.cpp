#include "file/fsys.h"

#include <windows.h>

#include <string>

int listFolderFiles(const char* folder, std::vector<std::string>& names) {
    std::string pattern = folder;
    if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
    pattern += '*';
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND ? 1 : 0;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return 1;
}

int isPlainFile(const char* path) {
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
    return (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) ? 0 : 1;
}

uint64_t fileWriteTime(const char* path) {
    // Opened for querying only: no read or write access, not shared.
    HANDLE file = CreateFileA(path, 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    FILETIME written{};
    BOOL ok = GetFileTime(file, nullptr, nullptr, &written);
    CloseHandle(file);
    if (!ok) return 0;
    return (uint64_t(written.dwHighDateTime) << 32) | written.dwLowDateTime;
}

struct FileSink {
    HANDLE file;
};

namespace {
FileSink* openSink(const char* path, DWORD disposition) {
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    return new FileSink{file};
}
} // namespace

FileSink* createFileSink(const char* path) {
    return openSink(path, CREATE_ALWAYS);
}

FileSink* createNewFileSink(const char* path) {
    return openSink(path, CREATE_NEW);
}

int writeFileSink(FileSink* sink, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        DWORD piece = size > 0x40000000 ? 0x40000000 : DWORD(size);
        DWORD written = 0;
        if (!WriteFile(sink->file, bytes, piece, &written, nullptr) || written == 0) return 0;
        bytes += written;
        size -= written;
    }
    return 1;
}

int syncFileSink(FileSink* sink) {
    return FlushFileBuffers(sink->file) ? 1 : 0;
}

int closeFileSink(FileSink* sink) {
    int ok = CloseHandle(sink->file) ? 1 : 0;
    delete sink;
    return ok;
}
