// Runs the built vantorix-cli and reads the PNGs it writes (with libpng).
#pragma once
#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace clitest {
namespace fs = std::filesystem;

struct PngImage {
    int width = 0, height = 0;
    std::vector<uint8_t> rgb; // top row first
    uint16_t rgb565At(int x, int y) const {
        const uint8_t* p = &rgb[(size_t(y) * width + x) * 3];
        return uint16_t(((p[0] >> 3) << 11) | ((p[1] >> 2) << 5) | (p[2] >> 3));
    }
};

// Reads a PNG with libpng's simplified API (an independent decoder).
inline bool readPng(const std::string& path, PngImage& out) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return false;
    bool isRgb8 = (image.format & PNG_FORMAT_FLAG_COLOR) && !(image.format & PNG_FORMAT_FLAG_ALPHA);
    image.format = PNG_FORMAT_RGB;
    out.width = int(image.width);
    out.height = int(image.height);
    out.rgb.resize(PNG_IMAGE_SIZE(image));
    bool ok = png_image_finish_read(&image, nullptr, out.rgb.data(), 0, nullptr) != 0;
    return ok && isRgb8;
}

struct CliRun {
    int status;
    std::string err;
    std::string out;
};

inline std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Every run is bounded: a runner that hangs is killed and fails the test.
// shellPrefix runs first in the same shell (limits, for example).
// runProgram runs another copy of the runner (one moved elsewhere, say).
inline CliRun runProgram(const std::string& program, const std::string& args,
                         const std::string& shellPrefix = "") {
    std::string stem = "vantorix_cli_" + std::to_string(::getpid());
    fs::path errFile = fs::temp_directory_path() / (stem + "_err");
    fs::path outFile = fs::temp_directory_path() / (stem + "_out");
    std::string command = shellPrefix + "timeout -s KILL 60 " + program + " " + args + " >" +
                          outFile.string() + " 2>" + errFile.string();
    int raw = std::system(command.c_str());
    CliRun run{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(errFile), slurp(outFile)};
    fs::remove(errFile);
    fs::remove(outFile);
    return run;
}

inline CliRun runCli(const std::string& args, const std::string& shellPrefix = "") {
    return runProgram(VANTORIX_CLI_PATH, args, shellPrefix);
}

// The reading end of a new pipe at path, opened without waiting before the
// writer comes: a writer needs no partner then, and one that replaces the
// pipe instead of writing into it leaves it empty rather than hanging.
inline int openPipeReader(const std::string& path) {
    if (::mkfifo(path.c_str(), 0600) != 0) return -1;
    return ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
}
// What the pipe holds (up to 64 KiB, what it takes without a reader), then closes it.
inline std::string drainPipe(int fd) {
    std::string bytes(65536, '\0');
    ssize_t got = ::read(fd, bytes.data(), bytes.size());
    ::close(fd);
    bytes.resize(got > 0 ? size_t(got) : 0);
    return bytes;
}

struct TempDir {
    fs::path path;
    TempDir() {
        path = fs::temp_directory_path() /
               ("vantorix_cli_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
        fs::create_directories(path);
    }
    ~TempDir() { fs::remove_all(path); }
    std::string write(const std::string& name, const std::string& content) const {
        std::ofstream(path / name, std::ios::binary) << content;
        return (path / name).string();
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
    static inline int counter = 0;
};
} // namespace clitest
