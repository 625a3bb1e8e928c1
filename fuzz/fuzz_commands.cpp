// libFuzzer target for the command interpreter, the parser every command file
// goes through. The first byte picks the model and the touch variant, the
// second the orientation and whether a board is connected (a board that takes
// every byte, as vantorix-cli -b has); the rest is command text. It may hold
// inline bitmaps, and quoted names reach real pictures of every format in a
// folder that the target fills at start (see the seeds in fuzz/commands/).
// The checker reads the same text on the same panel afterwards.
//
// Build with clang (cmake -DCMAKE_CXX_COMPILER=clang++ ...; target fuzz_commands), then:
//   ./fuzz_commands -dict=fuzz/commands.dict -max_len=8192 corpus fuzz/commands
#include "command/check.h"
#include "command/sendfile.h"
#include "common/seam.h"
#include "headless/headless.h"
#include "job/sendjob.h"
#include "panel/models.h"
#include "panel/zr_tft.h"

#include "fuzz_board.h"
#include "fuzz_start.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <unistd.h>
#include <vector>

namespace {
namespace fs = std::filesystem;

fs::path& pictureFolder() {
    static fs::path folder;
    return folder;
}

void removePictureFolder() {
    std::error_code ignored;
    fs::remove_all(pictureFolder(), ignored);
}

// Short names for a few real pictures: BMP of several depths, RLE, PNG,
// JPEG, and GIF, some larger than the small panels.
void preparePictures() {
    const fs::path testdata = VANTORIX_TESTDATA_DIR, source = VANTORIX_SOURCE_DIR;
    const struct {
        fs::path from;
        const char* name;
    } pictures[] = {
        {source / "data/pictures/logo.bmp", "a.bmp"},
        {testdata / "bmpsuite/g/pal8rle.bmp", "b.bmp"},
        {testdata / "bmpsuite/g/rgb16-565.bmp", "c.bmp"},
        {testdata / "bmpsuite/g/pal1.bmp", "d.bmp"},
        {testdata / "pngsuite/png/basn2c08.png", "e.png"},
        {testdata / "pngsuite/png/basi3p08.png", "f.png"},
        {testdata / "bmpsuite/reference/rgb24.jpg", "g.jpg"},
        {source / "data/pictures/demo1_kp350.bmp", "h.bmp"},
    };
    pictureFolder() =
        fs::temp_directory_path() / ("vantorix_fuzz_commands_" + std::to_string(::getpid()));
    fs::create_directories(pictureFolder());
    std::atexit(removePictureFolder);
    for (const auto& picture : pictures) {
        std::error_code missing; // a corpus that is not there leaves its names dangling
        fs::copy_file(picture.from, pictureFolder() / picture.name, missing);
    }
    // A two-frame 2 x 2 GIF with a global palette, written here: the corpora hold none.
    static const uint8_t gif[] = {'G', 'I',  'F', '8',  '9',  'a', 2,    0,    2,    0,   0x80, 0,
                                  0,   0xFF, 0,   0,    0,    0,   0xFF, 0x21, 0xF9, 4,   0,    10,
                                  0,   0,    0,   0x2C, 0,    0,   0,    0,    2,    0,   2,    0,
                                  0,   2,    2,   0x44, 0x01, 0,   0x2C, 0,    0,    0,   0,    2,
                                  0,   2,    0,   0,    2,    2,   0x84, 0x51, 0,    0x3B};
    if (FILE* f = std::fopen((pictureFolder() / "i.gif").c_str(), "wb")) {
        std::fwrite(gif, 1, sizeof gif, f);
        std::fclose(f);
    }
}
// Reports keep the seam's promise: one line without a line end.
int checkReport(const char* message) {
    if (!message || !*message || std::strpbrk(message, "\r\n")) std::abort();
    return 1;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    preparePictures();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    static std::vector<uint8_t> boardBytes;
    boardBytes.clear();
    HeadlessOptions options;
    options.model = 1 + data[0] % 6;
    options.touch = (data[0] >> 3) & 1 && modelInfo(options.model)->hasTouchOption;
    options.angle = 90 * (data[1] & 3);
    fuzzStart(options);
    // The board's time is not real: closing it and waiting on it cost nothing.
    if (data[1] & 4) connectRecordingBoard(&boardBytes, fuzzboard::backend);
    WindowSeam quiet{};
    quiet.reportError = checkReport;
    installWindowSeam(quiet);
    std::snprintf(cmdDir, sizeof cmdDir, "%s/", pictureFolder().c_str());

    std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    TFTcommandOut(text.c_str(), text.size());

    // Whatever ran, the panel keeps its size and the frame memory its pixels.
    if (TFTwidth <= 0 || TFTheight <= 0 || !frameMem) std::abort();
    if (frameMemPixels < uint32_t(TFTwidth) * uint32_t(TFTheight)) std::abort();

    // Every finding names a place in the text and stays on one line.
    for (const CheckFinding& finding :
         checkCommandText(text.c_str(), text.size(), cmdDir, {options.model, options.angle}))
        if (finding.line < 1 || finding.column < 1 || !isCheckKind(finding.kind) ||
            finding.message.find('\n') != std::string::npos)
            std::abort();
    return 0;
}
