#include "cli/outputs.h"

#include "file/output.h"
#include "headless/panelpng.h"
#include "module/compose.h"
#include "module/newtft.h"
#include "panel/zr_tft.h"

#include <cstdio>

namespace {
int reportWrite(const std::string& path, const std::string& error) {
    if (error.empty()) return 1;
    std::fprintf(stderr, "vantorix-cli: %s: %s\n", path.c_str(), error.c_str());
    return 0;
}
} // namespace

int writeRunnerOutputs(const CliOptions& options) {
    int ok = 1;
    if (!options.panelPng.empty()) {
        int width = 0, height = 0;
        const std::vector<uint16_t> pixels = panelPixelsTopDown(&width, &height);
        ok &=
            reportWrite(options.panelPng, writeOutputFile(options.panelPng, [&](const char* path) {
                            return writePanelPng(path, pixels, width, height);
                        }));
    }
    if (!options.windowPng.empty()) {
        WindowImage image;
        ZoomWindow = options.zoom;
        if (!composeWindow(options.outline, &image))
            return reportWrite(options.windowPng, "there is no module picture");
        ok &= reportWrite(options.windowPng,
                          writeOutputFile(options.windowPng, [&](const char* path) {
                              return writeWindowPng(path, image, options.outline);
                          }));
    }
    return ok;
}
