#include "file/output.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {
namespace fs = std::filesystem;

// The kernel gives up after as many links in a row.
constexpr int maxLinksFollowed = 40;
constexpr const char* temporarySuffix = ".tmp";

// The file at the end of a chain of links: the one to replace. A link that
// leads nowhere gives the name of the file it would lead to.
std::string followLinks(fs::path& path) {
    for (int followed = 0; followed < maxLinksFollowed; ++followed) {
        std::error_code code;
        if (!fs::is_symlink(fs::symlink_status(path, code))) return {};
        fs::path target = fs::read_symlink(path, code);
        if (code) return "cannot follow the link: " + code.message();
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    return "too many levels of symbolic links";
}

// A temporary file left by an earlier run is ours to replace, and so is a
// link in its place (writing through it would reach another file); anything
// else there is not.
std::string clearTemporary(const std::string& temporary) {
    std::error_code code;
    fs::file_type type = fs::symlink_status(temporary, code).type();
    if (type == fs::file_type::not_found) return {};
    if (type != fs::file_type::regular && type != fs::file_type::symlink)
        return temporary + " is in the way";
    if (!fs::remove(temporary, code)) return "cannot remove " + temporary;
    return {};
}

std::string replaceWhole(const fs::path& target, bool existed, const OutputWriter& write) {
    const std::string temporary = target.string() + temporarySuffix;
    std::string error = clearTemporary(temporary);
    if (!error.empty()) return error;
    error = write(temporary.c_str());
    std::error_code code;
    // The new content keeps who may read the old (a private file stays private).
    if (error.empty() && existed)
        fs::permissions(temporary, fs::status(target, code).permissions(), code);
    if (error.empty()) {
        fs::rename(temporary, target, code);
        if (code) error = "cannot replace: " + code.message();
    }
    if (!error.empty()) fs::remove(temporary, code);
    return error;
}
} // namespace

std::string writeOutputFile(const std::string& path, const OutputWriter& write) {
    if (path.empty()) return "no file name";
    std::error_code code;
    const fs::file_type type = fs::status(path, code).type();
    if (type == fs::file_type::directory) return "is a directory";
    if (type != fs::file_type::not_found) {
        if (code) return "cannot look at it: " + code.message();
        // Devices, pipes and sockets are what they are: only their content
        // is ours to give.
        if (type != fs::file_type::regular) return write(path.c_str());
    }
    fs::path target = path;
    std::string error = followLinks(target);
    if (!error.empty()) return error;
    return replaceWhole(target, type == fs::file_type::regular, write);
}

std::string writeOutputBytes(const std::string& path, const void* bytes, size_t size) {
    return writeOutputParts(path, bytes, size, nullptr, 0);
}

std::string writeOutputParts(const std::string& path, const void* head, size_t headSize,
                             const void* body, size_t bodySize) {
    return writeOutputFile(path, [&](const char* at) -> std::string {
        FILE* file = std::fopen(at, "wb");
        if (!file) return std::string("cannot create: ") + std::strerror(errno);
        // An empty part has no data pointer to hand to fwrite.
        bool ok = (headSize == 0 || std::fwrite(head, 1, headSize, file) == headSize) &&
                  (bodySize == 0 || std::fwrite(body, 1, bodySize, file) == bodySize);
        if (std::fclose(file) != 0) ok = false;
        return ok ? std::string() : "write error";
    });
}
