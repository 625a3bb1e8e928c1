#include "boardsim/bootdrive.h"

#include "boardsim/uf2.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {
constexpr char bootInfoName[] = "INFO_UF2.TXT";

bool hasUf2Extension(const std::string& name) {
    if (name.size() < 4) return false;
    std::string ext = name.substr(name.size() - 4);
    for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
    return ext == ".uf2";
}

bool readFile(const fs::path& path, std::vector<uint8_t>& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return true;
}

// The verdict on one file as it stands now.
Uf2Verdict judgeFile(BootDrive& drive, const fs::path& path, uintmax_t size, uint64_t nowMs) {
    std::string name = path.filename().string();
    auto [it, added] = drive.files.try_emplace(name, BootFileSeen{size, nowMs});
    if (!added && it->second.size != size) it->second = BootFileSeen{size, nowMs};
    bool growing = nowMs - it->second.changedAtMs < bootFileSettleMs;
    if (size > bootFileMaxBytes) return Uf2Verdict::Refused;
    std::vector<uint8_t> bytes;
    if (!readFile(path, bytes)) return Uf2Verdict::Incomplete;
    return judgeUf2(bytes.data(), bytes.size(), drive.pico2, growing);
}
// Moves a taken file aside, so that a test can compare what arrived without
// racing the boot loader for it. 1 when it is gone from the drive.
bool keepTakenFile(const BootDrive& drive, const fs::path& path) {
    if (drive.keepDir.empty()) return false;
    std::error_code ec;
    fs::path target = fs::path(drive.keepDir) / path.filename();
    fs::rename(path, target, ec);
    if (!ec) return true;
    fs::copy_file(path, target, fs::copy_options::overwrite_existing, ec);
    return false; // copied at best; the caller removes the original
}
} // namespace

int bootDriveAppear(BootDrive& drive, const std::string& dir, int pico2, std::string& error) {
    std::string keepDir = drive.keepDir;
    drive = BootDrive{};
    drive.dir = dir;
    drive.keepDir = keepDir;
    drive.pico2 = pico2;
    // Written aside and renamed, so that whoever finds the file finds it whole.
    fs::path target = fs::path(dir) / bootInfoName, partial = target;
    partial += ".partial";
    std::ofstream info(partial, std::ios::binary | std::ios::trunc);
    info << bootInfoText(pico2);
    info.close();
    std::error_code ec;
    if (!info || (fs::rename(partial, target, ec), ec)) {
        fs::remove(partial, ec);
        error = "cannot write " + target.string();
        return 0;
    }
    return 1;
}

std::string bootDrivePoll(BootDrive& drive, uint64_t nowMs) {
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator(drive.dir, ec)) {
        std::string name = entry.path().filename().string();
        std::error_code statError;
        if (!hasUf2Extension(name) || !entry.is_regular_file(statError)) continue;
        uintmax_t size = entry.file_size(statError);
        if (statError) continue;
        Uf2Verdict verdict = judgeFile(drive, entry.path(), size, nowMs);
        if (verdict == Uf2Verdict::Incomplete) continue;
        if (verdict != Uf2Verdict::Taken || !keepTakenFile(drive, entry.path()))
            fs::remove(entry.path(), statError);
        drive.files.erase(name);
        if (verdict == Uf2Verdict::Taken) {
            bootDriveVanish(drive);
            return name;
        }
        std::fprintf(stderr, "vantorix-board: %s is no firmware for this board; not taken\n",
                     name.c_str());
    }
    return {};
}

void bootDriveVanish(BootDrive& drive) {
    std::error_code ec;
    fs::remove(fs::path(drive.dir) / bootInfoName, ec);
    drive.files.clear();
}
