#include "file/fsys.h"

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// Seconds from 1601-01-01 to 1970-01-01, and 100 ns units per second.
constexpr int64_t epochDifference = 11644473600;
constexpr int64_t unitsPerSecond = 10000000;
} // namespace

int isPlainFile(const char* path) {
    struct stat info {};
    return ::stat(path, &info) == 0 && S_ISREG(info.st_mode) ? 1 : 0;
}

int listFolderFiles(const char* folder, std::vector<std::string>& names) {
    DIR* dir = ::opendir(folder);
    if (!dir) return 0;
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    while (dirent* entry = ::readdir(dir)) {
        // The folder already tells most entries' kind; only links (followed)
        // and file systems that do not say are asked. A program folder such
        // as /usr/bin has thousands of entries.
        const bool plain =
            entry->d_type == DT_REG || ((entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) &&
                                        isPlainFile((prefix + entry->d_name).c_str()));
        if (plain) names.push_back(entry->d_name);
    }
    ::closedir(dir);
    return 1;
}

uint64_t fileWriteTime(const char* path) {
    struct stat info {};
    if (::stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return 0;
    int64_t seconds = int64_t(info.st_mtim.tv_sec);
    // Times outside what a Windows file time can hold read as "no time".
    if (seconds < -epochDifference || seconds > INT64_MAX / unitsPerSecond - epochDifference)
        return 0;
    return uint64_t((seconds + epochDifference) * unitsPerSecond + info.st_mtim.tv_nsec / 100);
}

struct FileSink {
    int fd;
};

namespace {
// Only plain files are written. Opened without waiting, in case a pipe took
// the file's place since the look: opening it for writing would wait for a
// reader.
FileSink* openSink(const char* path, int how) {
    struct stat info {};
    if (::stat(path, &info) == 0 && !S_ISREG(info.st_mode)) return nullptr;
    int fd = ::open(path, O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | how, 0644);
    if (fd < 0) return nullptr;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return new FileSink{fd};
}
} // namespace

FileSink* createFileSink(const char* path) {
    return openSink(path, O_TRUNC);
}

FileSink* createNewFileSink(const char* path) {
    return openSink(path, O_EXCL);
}

int writeFileSink(FileSink* sink, const void* data, size_t size) {
    const char* bytes = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t written = ::write(sink->fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return 0;
        bytes += written;
        size -= size_t(written);
    }
    return 1;
}

int syncFileSink(FileSink* sink) {
    return ::fsync(sink->fd) == 0 ? 1 : 0;
}

int closeFileSink(FileSink* sink) {
    int ok = ::close(sink->fd) == 0 ? 1 : 0;
    delete sink;
    return ok;
}
