#include "module/modulefile.h"

#include "file/fsys.h"
#include "panel/models.h"
#include "panel/zr_tft.h"

#include <cstdio>
#include <cstring>

char moduleFile[256] = "";
uint64_t moduleFileTime = 0;
uint64_t shownFileTime = 0;
char moduleDir[256] = "";

namespace {
constexpr uint64_t low32 = 0xFFFFFFFFull;
}

int buildModuleFileName(char* out, size_t size, const char* folder, int model, int angle) {
    if (size == 0) return 0;
    out[0] = 0;
    const ModelInfo* info = modelInfo(model);
    if (!info) return 0;
    char name[32];
    std::snprintf(name, sizeof name, info->moduleFilePattern, angle);
    const int length = std::snprintf(out, size, "%s%s", folder, name);
    if (length < 0 || size_t(length) >= size) {
        out[0] = 0;
        return 0;
    }
    return 1;
}

void followModuleFileTime(int demo, int jobRunning) {
    if (demo || jobRunning) {
        shownFileTime = moduleFileTime;
    } else if ((shownFileTime & low32) == (moduleFileTime & low32)) {
        const uint64_t bumped = ((shownFileTime & low32) + 1) & low32;
        shownFileTime = (shownFileTime & ~low32) | bumped;
    }
}

void GetAktModuleFileTime() {
    PanelGuard guard(panelLock());
    moduleFileTime = moduleFile[0] ? fileWriteTime(moduleFile) : 0;
}

int moduleFileChanged(char* name) {
    PanelGuard guard(panelLock());
    GetAktModuleFileTime();
    if (!moduleFileTime || moduleFileTime == shownFileTime) return 0;
    shownFileTime = moduleFileTime;
    if (name) std::memcpy(name, moduleFile, sizeof moduleFile);
    return 1;
}
