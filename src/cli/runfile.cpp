#include "cli/runfile.h"

#include "command/bitmapload.h"
#include "command/sendfile.h"
#include "common/seam.h"
#include "common/settings.h"
#include "file/output.h"
#include "job/sendjob.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {
// Why the image library refused the picture it was last given.
std::string unreadablePicture(const std::string& path) {
    return path + ": " + DIBErrorText(GetDIBError());
}

std::string writeImage(const std::string& out, uint8_t* image, uint32_t size) {
    const std::string error = writeOutputBytes(out, image, size);
    std::free(image);
    return error.empty() ? error : out + ": " + error;
}
} // namespace

std::string decodeImageFile(const std::string& in, const std::string& out) {
    if (!LoadDIB(&imageList, in.c_str())) return unreadablePicture(in);
    uint8_t* image = addBMPfilehdr(&imageList.slot[imageList.first]);
    MultiDibFree(&imageList);
    if (!image) return in + ": out of memory";
    return writeImage(out, image, rdLE32(image + 2));
}

std::string prepareImageFile(const std::string& in, const std::string& out) {
    uint32_t size = 0;
    uint8_t* image = prepareBitmapImage(in.c_str(), &size);
    if (!image) return unreadablePicture(in);
    return writeImage(out, image, size);
}

std::string runFile(const std::string& path, int atX, int atY) {
    char name[sizeof sendJob.jobPath];
    if (path.size() >= sizeof name) return path + ": name too long";
    std::memcpy(name, path.c_str(), path.size() + 1);
    // The job takes quotes around a name off, as the window's command line
    // needs; a file whose own name starts or ends with one runs as named.
    std::error_code code;
    if (std::filesystem::exists(path, code))
        sendFileAsNamed(name, atX, atY);
    else
        FileOrBild2buffer(name, atX, atY);
    switch (sendJobOutcome) {
    case jobDone:
        return {};
    case jobNothingDone:
        return path +
               ": not a command, image or firmware file (.txt, .bmp, .png, .jpg, .gif, .uf2)";
    default:
        return path + ": " + sendJobError;
    }
}
