#include "cli/runfile.h"

#include "command/seam.h"
#include "command/sendfile.h"
#include "command/settings.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {
std::string upperExtension(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
    return ext;
}

bool readWholeFile(const std::string& path, std::vector<char>& text, std::string& error) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) {
        error = std::strerror(errno);
        return false;
    }
    char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.insert(text.end(), chunk, chunk + got);
    bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed) error = "read error";
    return !failed;
}

void setCommandDirectory(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::snprintf(cmdDir, sizeof cmdDir, "%s", dir.c_str());
}

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string runCommandFile(const std::string& path) {
    std::vector<char> text;
    std::string error;
    if (!readWholeFile(path, text, error)) return path + ": " + error;
    size_t length = text.size();
    text.push_back(0);
    setCommandDirectory(path);
    printMessage("open command file %s\r\n", baseName(path).c_str());
    TFTcommandOut(text.data(), length);
    return {};
}
} // namespace

std::string runFile(const std::string& path) {
    std::string ext = upperExtension(path);
    if (ext == ".TXT") return runCommandFile(path);
    if (ext == ".BMP" || ext == ".PNG" || ext == ".JPG" || ext == ".GIF" || ext == ".UF2")
        return path + ": " + ext.substr(1) + " files are not supported yet";
    return path + ": not a command, image or firmware file (.txt, .bmp, .png, .jpg, .gif, .uf2)";
}
