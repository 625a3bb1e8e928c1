#include "module/newtft.h"

#include "common/jobstate.h"
#include "common/seam.h"
#include "common/settings.h"
#include "module/modulefile.h"
#include "panel/models.h"
#include "panel/zr_tft.h"

#include <cstdlib>
#include <mutex>

namespace {
// Unpacks the model's picture and makes it the module picture; 0 keeps the previous one.
int takeModulePicture() {
    ModulePicture picture;
    if (!modulePicture(Module, Touch, &picture)) return 0;
    uint8_t* image =
        AllocAndUncompress(picture.packed, picture.packedLength, picture.unpackedLength);
    if (!image) return 0;
    const int taken = InitBildBMP(image, picture.unpackedLength);
    std::free(image);
    return taken;
}

// The module file's name and time follow the settings.
void followModuleFile() {
    buildModuleFileName(moduleFile, sizeof moduleFile, moduleDir, Module, Angle);
    GetAktModuleFileTime();
    followModuleFileTime(Demo, jobRunning());
}

// Places the panel on the module picture just taken and shows the start screen.
void showModulePicture() {
    InitTFTBMP();
    TFTinit(int16_t(Module));
    setTFTangle(int16_t(Angle));
    if (demoScreen) {
        Screen(unsigned(demoScreen));
        RedrawAA();
    }
}
} // namespace

void NewTFT(int resize) {
    PanelGuard guard(panelLock());
    followModuleFile();
    if (takeModulePicture()) showModulePicture();
    if (resize) ResizeTFT();
}

void NewTFTFrom(const KeptModulePicture& kept) {
    PanelGuard guard(panelLock());
    followModuleFile();
    if (takeKeptModulePicture(kept) || takeModulePicture()) showModulePicture();
}

void FreeTFT() {
    resetWindowBitmaps();
}

std::vector<uint16_t> panelPixelsTopDown(int* width, int* height) {
    PanelGuard guard(panelLock());
    if (width) *width = TFTwidth;
    if (height) *height = TFTheight;
    std::vector<uint16_t> pixels;
    if (!frameMem || TFTwidth <= 0 || TFTheight <= 0) return pixels;
    pixels.reserve(size_t(TFTwidth) * TFTheight);
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(frameMem);
    for (int y = 0; y < TFTheight; ++y) {
        const uint8_t* row = bytes + size_t(TFTheight - 1 - y) * TFTwidth * 2;
        for (int x = 0; x < TFTwidth; ++x)
            pixels.push_back(uint16_t(row[2 * x] | (row[2 * x + 1] << 8)));
    }
    return pixels;
}
