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

std::string writeImage(const std::string& out, const uint8_t* head, size_t headSize,
                       const uint8_t* body, size_t bodySize) {
    const std::string error = writeOutputParts(out, head, headSize, body, bodySize);
    return error.empty() ? error : out + ": " + error;
}
} // namespace

std::string decodeImageFile(const std::string& in, const std::string& out) {
    if (!LoadDIB(&imageList, in.c_str())) return unreadablePicture(in);
    // The file header, then the block as it is: the picture is not copied.
    const DIB* frame = &imageList.slot[imageList.first];
    uint8_t header[BMP_FILE_HEADER_SIZE];
    fillBMPfilehdr(frame, header);
    std::string error = writeImage(out, header, sizeof header, frame->mem, frame->memSize);
    MultiDibFree(&imageList);
    return error;
}

std::string prepareImageFile(const std::string& in, const std::string& out) {
    uint32_t size = 0;
    uint8_t* image = prepareBitmapImage(in.c_str(), &size);
    if (!image) return unreadablePicture(in);
    std::string error = writeImage(out, image, size, nullptr, 0);
    std::free(image);
    return error;
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
