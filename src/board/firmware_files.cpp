#include "board/firmware.h"

#include "common/settings.h"
#include "file/fsys.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

int32_t fwVer2040 = 0;
char fwPath2040[256] = "";
int32_t fwVer2350 = 0;
char fwPath2350[256] = "";

namespace {
const char* const pattern2040 = "vantorix_Pico_V*.uf2";
const char* const pattern2350 = "vantorix_Pico2_V*.uf2";
// Versions above this do not fit the version code.
constexpr double largestVersion = 20000000.0;

bool sameCharIgnoringCase(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) ==
           std::tolower(static_cast<unsigned char>(b));
}

bool sameIgnoringCase(const char* a, const char* b, size_t length) {
    for (size_t i = 0; i < length; ++i) {
        if (!sameCharIgnoringCase(a[i], b[i])) return false;
    }
    return true;
}

// A pattern with one "*", matched without regard to case as Windows does.
bool matchesPattern(const std::string& name, const char* pattern) {
    const char* star = std::strchr(pattern, '*');
    size_t head = size_t(star - pattern), tail = std::strlen(star + 1);
    return name.size() >= head + tail && sameIgnoringCase(name.c_str(), pattern, head) &&
           sameIgnoringCase(name.c_str() + name.size() - tail, star + 1, tail);
}
} // namespace

int32_t firmwareVersionFromName(const char* name) {
    const char* lastV = std::strrchr(name, 'V');
    float version = 0;
    if (!lastV || std::sscanf(lastV, "V%f", &version) != 1) return 0;
    // "V%f" also reads "nan" and "inf"; such names are passed over like "Vx".
    if (!std::isfinite(version) || version < 0 || version > largestVersion) return 0;
    return int32_t((double(version) + 0.005) * 100);
}

void getFWfile(int type) {
    int32_t& best = type == 2 ? fwVer2350 : fwVer2040;
    char* bestPath = type == 2 ? fwPath2350 : fwPath2040;
    const char* pattern = type == 2 ? pattern2350 : pattern2040;
    best = 0;
    std::vector<std::string> names;
    listFolderFiles(appDir[0] ? appDir : ".", names);
    // Sorted, so that of two equal versions the same file wins on every system.
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
        if (!matchesPattern(name, pattern)) continue;
        int32_t version = firmwareVersionFromName(name.c_str());
        if (version <= best) continue;
        std::string path = std::string(appDir) + name;
        if (path.size() >= sizeof fwPath2040) continue; // would not fit the name buffer
        best = version;
        std::memcpy(bestPath, path.c_str(), path.size() + 1);
    }
}
