#include "cli/expect.h"

#include "file/output.h"
#include "headless/panelpng.h"
#include "headless/pngcompare.h"
#include "module/compose.h"
#include "module/newtft.h"
#include "module/winbitmap.h"
#include "panel/zr_tft.h"

#include <cstdio>
#include <filesystem>
#include <functional>
#include <system_error>

namespace {
struct Expectation {
    const char* what; // "the panel", "the window picture"
    const std::string& expectedPath;
    const std::string& diffPath;
    Rgb565Picture actual;
    std::function<std::string(const char*)> writeActual; // as --panel-png or --window-png would
};

int failed(const std::string& path, const std::string& message) {
    std::fprintf(stderr, "vantorix-cli: %s: %s\n", path.c_str(), message.c_str());
    return 0;
}

// A diff left from an earlier run belongs to a comparison that is over; only
// a file (or a link) is removed, never what else the name may stand for.
void removeOldDiff(const std::string& path) {
    namespace fs = std::filesystem;
    if (path.empty()) return;
    std::error_code error;
    const fs::file_status status = fs::symlink_status(path, error);
    if (fs::is_regular_file(status) || fs::is_symlink(status)) fs::remove(path, error);
}

int updateExpected(const Expectation& e) {
    std::string error = writeOutputFile(e.expectedPath, e.writeActual);
    if (!error.empty()) return failed(e.expectedPath, error);
    std::fprintf(stderr, "vantorix-cli: %s: written from %s\n", e.expectedPath.c_str(), e.what);
    removeOldDiff(e.diffPath);
    return 1;
}

int reportDifference(const Expectation& e, const Rgb565Picture& expected,
                     const PictureDifference& difference) {
    if (!difference.sameSize) {
        removeOldDiff(e.diffPath);
        char sizes[160];
        std::snprintf(sizes, sizeof sizes, "the expected picture is %dx%d, %s %dx%d",
                      expected.width, expected.height, e.what, e.actual.width, e.actual.height);
        return failed(e.expectedPath, sizes);
    }
    char box[160];
    std::snprintf(box, sizeof box, "%s differs in %ld pixel%s, within x %d..%d, y %d..%d", e.what,
                  difference.pixels, difference.pixels == 1 ? "" : "s", difference.left,
                  difference.right, difference.top, difference.bottom);
    failed(e.expectedPath, box);
    if (!e.diffPath.empty()) {
        std::string error = writeOutputFile(e.diffPath, [&](const char* path) {
            return writeDifferencePng(path, expected, e.actual);
        });
        if (!error.empty()) failed(e.diffPath, error);
    }
    return 0;
}

int compareWithExpected(const Expectation& e, bool update) {
    Rgb565Picture expected;
    std::string error = readRgb565Png(e.expectedPath.c_str(), &expected);
    if (!error.empty()) return update ? updateExpected(e) : failed(e.expectedPath, error);
    PictureDifference difference = comparePictures(expected, e.actual);
    if (difference.sameSize && difference.pixels == 0) {
        removeOldDiff(e.diffPath);
        return 1;
    }
    return update ? updateExpected(e) : reportDifference(e, expected, difference);
}

int checkPanel(const CliOptions& options) {
    const std::vector<uint16_t> pixels = panelPixelsTopDown();
    const int width = TFTwidth, height = TFTheight;
    Expectation e{"the panel", options.expectPanel, options.diffPanel,
                  panelPicture(pixels, width, height),
                  [&](const char* path) { return writePanelPng(path, pixels, width, height); }};
    return compareWithExpected(e, options.updateExpected);
}

int checkWindow(const CliOptions& options) {
    WindowImage image;
    ZoomWindow = options.zoom;
    if (!composeWindow(options.outline, &image))
        return failed(options.expectWindow, "there is no module picture");
    Expectation e{"the window picture", options.expectWindow, options.diffWindow,
                  windowPicture(image),
                  [&](const char* path) { return writeWindowPng(path, image, options.outline); }};
    return compareWithExpected(e, options.updateExpected);
}
} // namespace

int checkExpectedPictures(const CliOptions& options) {
    int ok = 1;
    if (!options.expectPanel.empty()) ok &= checkPanel(options);
    if (!options.expectWindow.empty()) ok &= checkWindow(options);
    return ok;
}
