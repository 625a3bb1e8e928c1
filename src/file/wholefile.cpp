#include "file/wholefile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {
namespace fs = std::filesystem;

constexpr size_t readChunk = 65536;

int fail(WholeFile* file, int error) {
    std::free(file->data);
    file->data = nullptr;
    file->size = 0;
    file->error = error;
    return 0;
}

int errorFromCode(const std::error_code& code) {
    if (code == std::errc::no_such_file_or_directory || code == std::errc::not_a_directory)
        return WHOLE_FILE_MISSING;
    if (code == std::errc::permission_denied) return WHOLE_FILE_DENIED;
    return WHOLE_FILE_READ_FAILED;
}

// The kind of file behind the name (links followed), before it is opened:
// opening a pipe already waits for a writer.
int checkKind(const char* fileName) {
    std::error_code code;
    fs::file_status status = fs::status(fileName, code);
    if (status.type() == fs::file_type::not_found) return WHOLE_FILE_MISSING;
    if (code) return errorFromCode(code);
    if (status.type() == fs::file_type::directory) return WHOLE_FILE_DIRECTORY;
    if (status.type() != fs::file_type::regular) return WHOLE_FILE_NOT_REGULAR;
    return WHOLE_FILE_OK;
}

// The size the system reports, 0 when it reports none. Files under /proc
// report 0 and still have content, so a small size proves nothing; a size
// beyond the limit is refused without reading a byte.
uintmax_t reportedSize(const char* fileName) {
    std::error_code code;
    uintmax_t reported = fs::file_size(fileName, code);
    return code ? 0 : reported;
}

int readToEnd(FILE* stream, uint64_t maxBytes, size_t capacity, WholeFile* file) {
    for (;;) {
        if (file->size + 1 >= capacity) {
            // Full as the size foretold: one byte more tells whether the file
            // goes on, before the buffer grows for nothing.
            const int next = std::fgetc(stream);
            if (next == EOF) break;
            size_t grown = capacity + capacity / 2 + readChunk;
            void* bigger = std::realloc(file->data, grown);
            if (!bigger) return fail(file, WHOLE_FILE_NO_MEMORY);
            file->data = static_cast<uint8_t*>(bigger);
            capacity = grown;
            file->data[file->size++] = uint8_t(next);
            if (file->size > maxBytes) return fail(file, WHOLE_FILE_TOO_LARGE);
        }
        // Never more than one byte beyond the limit: enough to tell it was passed.
        size_t room = capacity - 1 - file->size;
        uint64_t left = maxBytes - file->size;
        if (left < room) room = size_t(left) + 1;
        size_t got = std::fread(file->data + file->size, 1, room, stream);
        file->size += got;
        if (file->size > maxBytes) return fail(file, WHOLE_FILE_TOO_LARGE);
        if (got < room) break;
    }
    if (std::ferror(stream)) return fail(file, WHOLE_FILE_READ_FAILED);
    file->data[file->size] = 0;
    return 1;
}

// The checks before a file is opened: WHOLE_FILE_OK and its reported size,
// or why it cannot be read.
int checkBeforeOpening(const char* fileName, uint64_t maxBytes, uintmax_t* reported) {
    if (!fileName || !*fileName) return WHOLE_FILE_MISSING;
    int kind = checkKind(fileName);
    if (kind != WHOLE_FILE_OK) return kind;
    *reported = reportedSize(fileName);
    return *reported > maxBytes ? WHOLE_FILE_TOO_LARGE : WHOLE_FILE_OK;
}

FILE* openForReading(const char* fileName, int* error) {
    errno = 0;
    FILE* stream = std::fopen(fileName, "rb");
    if (!stream)
        *error = errno == EACCES   ? WHOLE_FILE_DENIED
                 : errno == ENOENT ? WHOLE_FILE_MISSING
                                   : WHOLE_FILE_READ_FAILED;
    return stream;
}
} // namespace

int ReadWholeFile(const char* fileName, uint64_t maxBytes, WholeFile* file) {
    file->data = nullptr;
    file->size = 0;
    file->error = WHOLE_FILE_OK;
    uintmax_t reported = 0;
    int error = checkBeforeOpening(fileName, maxBytes, &reported);
    if (error != WHOLE_FILE_OK) return fail(file, error);
    // Room for the reported size and the NUL saves reallocations; the reading
    // does not rely on it.
    size_t capacity = size_t(reported) + 1 < readChunk ? readChunk : size_t(reported) + 1;
    file->data = static_cast<uint8_t*>(std::malloc(capacity));
    if (!file->data) return fail(file, WHOLE_FILE_NO_MEMORY);
    FILE* stream = openForReading(fileName, &error);
    if (!stream) return fail(file, error);
    int ok = readToEnd(stream, maxBytes, capacity, file);
    std::fclose(stream);
    return ok;
}

FILE* OpenWholeFile(const char* fileName, uint64_t maxBytes, int* error) {
    uintmax_t reported = 0;
    *error = checkBeforeOpening(fileName, maxBytes, &reported);
    return *error == WHOLE_FILE_OK ? openForReading(fileName, error) : nullptr;
}

const char* WholeFileErrorText(int error) {
    switch (error) {
    case WHOLE_FILE_OK:
        return "read";
    case WHOLE_FILE_MISSING:
        return "no such file";
    case WHOLE_FILE_DIRECTORY:
        return "is a directory";
    case WHOLE_FILE_NOT_REGULAR:
        return "is not a regular file (a device, pipe or socket)";
    case WHOLE_FILE_DENIED:
        return "permission denied";
    case WHOLE_FILE_TOO_LARGE:
        return "too large";
    case WHOLE_FILE_READ_FAILED:
        return "read error";
    case WHOLE_FILE_NO_MEMORY:
        return "out of memory";
    }
    return "cannot be read";
}
