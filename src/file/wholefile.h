// The one way the program reads a whole file into memory: command files,
// pictures by name and the files a job sends. Only regular files are read
// (a folder, device, pipe or socket could block or never end), always to
// their real end (files under /proc report 0 bytes), and never beyond the
// caller's limit.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>

// Command files larger than this are refused: the largest sensible one, a
// long run of full-panel inline bitmaps, stays far below it.
constexpr uint64_t commandFileMaxBytes = uint64_t(64) << 20;

// Why a whole file could not be read.
enum WholeFileError : int {
    WHOLE_FILE_OK = 0,
    WHOLE_FILE_MISSING,     // no such file
    WHOLE_FILE_DIRECTORY,   // a folder
    WHOLE_FILE_NOT_REGULAR, // a device, pipe or socket
    WHOLE_FILE_DENIED,      // no permission to read it
    WHOLE_FILE_TOO_LARGE,   // more bytes than the caller's limit
    WHOLE_FILE_READ_FAILED, // opening or reading failed otherwise
    WHOLE_FILE_NO_MEMORY,
};

struct WholeFile {
    uint8_t* data; // malloc'ed; one NUL byte follows the content; the caller frees it
    size_t size;   // bytes of content
    int error;     // WHOLE_FILE_OK, or why data is null
};

// 1 and the file's bytes (an empty file gives size 0 and a one-byte buffer),
// or 0, null data and the reason in file->error.
int ReadWholeFile(const char* fileName, uint64_t maxBytes, WholeFile* file);
// The file opened for reading piece by piece, after the checks ReadWholeFile
// makes before it reads (its kind, and the size the system reports against
// maxBytes); null and the reason in *error when it cannot be read.
FILE* OpenWholeFile(const char* fileName, uint64_t maxBytes, int* error);
// A short lower-case text for a reason, as messages show it after "name: ".
const char* WholeFileErrorText(int error);
