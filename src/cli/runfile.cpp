#include "cli/runfile.h"

#include "command/bitmapload.h"
#include "command/seam.h"
#include "command/sendfile.h"
#include "command/settings.h"
#include "file/wholefile.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace {
std::string upperExtension(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string ext = path.substr(dot);
    for (char& c : ext) c = char(std::toupper(static_cast<unsigned char>(c)));
    return ext;
}

void setCommandDirectory(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    std::string dir = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    std::snprintf(cmdDir, sizeof cmdDir, "%s", dir.c_str());
}

std::string baseName(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string runCommandFile(const std::string& path) {
    WholeFile file;
    if (!ReadWholeFile(path.c_str(), commandFileMaxBytes, &file)) {
        if (file.error == WHOLE_FILE_TOO_LARGE)
            return path + ": too large for a command file (the limit is " +
                   std::to_string(commandFileMaxBytes >> 20) + " MiB)";
        return path + ": " + WholeFileErrorText(file.error);
    }
    setCommandDirectory(path);
    printMessage("open command file %s\r\n", baseName(path).c_str());
    TFTcommandOut(reinterpret_cast<const char*>(file.data), file.size);
    std::free(file.data);
    return {};
}

bool isPictureExtension(const std::string& ext) {
    return ext == ".BMP" || ext == ".PNG" || ext == ".JPG" || ext == ".GIF";
}

const char* const unreadablePicture =
    ": cannot be read as a picture (missing, damaged or unsupported)";

std::string writeImage(const std::string& out, uint8_t* image, uint32_t size) {
    FILE* file = std::fopen(out.c_str(), "wb");
    bool ok = file && std::fwrite(image, 1, size, file) == size;
    if (file && std::fclose(file) != 0) ok = false;
    std::free(image);
    if (!ok) std::remove(out.c_str());
    return ok ? std::string() : out + ": cannot write";
}
} // namespace

std::string decodeImageFile(const std::string& in, const std::string& out) {
    if (!LoadDIB(&imageList, in.c_str())) return in + unreadablePicture;
    uint8_t* image = addBMPfilehdr(&imageList.slot[imageList.first]);
    MultiDibFree(&imageList);
    if (!image) return in + ": out of memory";
    return writeImage(out, image, rdLE32(image + 2));
}

std::string prepareImageFile(const std::string& in, const std::string& out) {
    uint32_t size = 0;
    uint8_t* image = prepareBitmapImage(in.c_str(), &size);
    if (!image) return in + unreadablePicture;
    return writeImage(out, image, size);
}

std::string runFile(const std::string& path, int atX, int atY) {
    std::string ext = upperExtension(path);
    if (ext == ".TXT") return runCommandFile(path);
    if (isPictureExtension(ext))
        return showImageFile(path.c_str(), atX, atY, 1) ? std::string() : path + unreadablePicture;
    if (ext == ".UF2") return path + ": firmware files are not supported yet";
    return path + ": not a command, image or firmware file (.txt, .bmp, .png, .jpg, .gif, .uf2)";
}
