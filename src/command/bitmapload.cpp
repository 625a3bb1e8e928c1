// Image files: fitted to the panel, converted to what the module takes,
// drawn on the emulated panel and sent to the board as a bitmap stream.
#include "command/bitmapload.h"

#include "board/picolink.h"
#include "board/seriowin.h"
#include "command/sendfile.h"
#include "common/seam.h"
#include "panel/zr_tft.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

MultiDIB imageList;

namespace {
// The name as the log shows it: the part after the last folder separator.
const char* displayName(const char* fileName) {
    const char* name = fileName;
    for (const char* p = fileName; *p; ++p)
        if (*p == '\\' || *p == '/') name = p + 1;
    return name;
}

int keptInside(int position, int size, int limit) {
    if (position + size > limit) {
        position = limit - size;
        if (position < 0) position = 0;
    }
    return position;
}

// The board reads "-" as a separator, so a negative position goes out in the
// 16-bit hexadecimal form that it reads back as the same negative number.
int formatCoordinate(char* out, size_t size, int value) {
    if (value < 0) return std::snprintf(out, size, "$%04X", unsigned(value) & 0xFFFF);
    return std::snprintf(out, size, "%d", value);
}

bool sendPositionPrefix(int x, int y) {
    char xText[16], yText[16], prefix[40];
    formatCoordinate(xText, sizeof xText, x);
    formatCoordinate(yText, sizeof yText, y);
    int length = std::snprintf(prefix, sizeof prefix, "#BM%s,%s,", xText, yText);
    return COMwrblk(prefix, length) || boardLinkFailed();
}
} // namespace

void fillBMPfilehdr(const DIB* dib, uint8_t* header) {
    uint32_t fileSize = dib->memSize + BMP_FILE_HEADER_SIZE;
    uint32_t sizeImage = rdLE32(dib->bmih + BI_SIZEIMAGE);
    header[0] = 'B';
    header[1] = 'M';
    wrLE32(header + 2, fileSize);
    wrLE16(header + 6, 0);
    wrLE16(header + 8, 0);
    wrLE32(header + 10, fileSize - sizeImage);
}

uint8_t* addBMPfilehdr(const DIB* dib) {
    if (!dib || !dib->mem) return nullptr;
    uint8_t* image = static_cast<uint8_t*>(std::malloc(dib->memSize + BMP_FILE_HEADER_SIZE));
    if (!image) return nullptr;
    fillBMPfilehdr(dib, image);
    std::memcpy(image + BMP_FILE_HEADER_SIZE, dib->mem, dib->memSize);
    return image;
}

uint8_t* prepareBitmapImage(const char* fileName, uint32_t* imageSize) {
    *imageSize = 0;
    if (!LoadDIB(&imageList, fileName)) return nullptr;
    DIB* frame = &imageList.slot[imageList.first];
    int32_t w0 = DIBWidth(frame), h0 = DIBHeight(frame);
    int d0 = DIBBitCount(frame);
    printMessage("Open image '%s'\r\n", displayName(fileName));
    int panelWidth = 0, panelHeight = 0;
    panelSize(&panelWidth, &panelHeight);
    if (w0 > panelWidth || h0 > panelHeight) {
        NewResizeDIB(frame, panelWidth, panelHeight, 1);
        printMessage("Resize %dx%d -> %dx%d\r\n", int(w0), int(h0), int(DIBWidth(frame)),
                     int(DIBHeight(frame)));
    }
    if (d0 > 16) ChangeDIBto16Bit(frame, 1);
    if (rdLE32(frame->bmih + BI_SIZEIMAGE) > bitmapTransferLimit) ChangeDIBto8Bit(frame, 16);
    if (DIBBitCount(frame) != d0)
        printMessage("Change colordepth %d bit -> %d bit\r\n", d0, DIBBitCount(frame));
    uint8_t* image = addBMPfilehdr(frame);
    if (image) *imageSize = rdLE32(image + 2);
    if (!image) SetDIBError(DIB_ERR_NO_MEMORY);
    MultiDibFree(&imageList);
    return image;
}

int showImageFile(const char* fileName, int x, int y, int keepInside) {
    uint32_t total = 0;
    uint8_t* image = prepareBitmapImage(fileName, &total);
    if (!image) return 0;
    int32_t width = int32_t(rdLE32(image + 18)), height = int32_t(rdLE32(image + 22));
    if (keepInside) {
        int panelWidth = 0, panelHeight = 0;
        panelSize(&panelWidth, &panelHeight);
        x = keptInside(x, width, panelWidth);
        y = keptInside(y, height, panelHeight);
    }
    TFTbitmap(int16_t(x), int16_t(y), image, 0, 0);
    RedrawAA();
    if (picoPort) {
        printMessage("Send bitmap with %d bytes\r\n", int(total));
        // Without a prefix the board draws at 0,0; a negative position needs one too.
        if ((x == 0 && y == 0) || sendPositionPrefix(x, y)) sendbuffer(image, total);
    }
    std::free(image);
    return 1;
}

// The interpreter goes on silently, as the module would; whoever shows the
// job still hears about the picture through the seam.
void BitmapLoad(const char* fileName, int x, int y, int keepInside) {
    if (!showImageFile(fileName, x, y, keepInside))
        reportError("%s: %s", fileName, DIBErrorText(GetDIBError()));
}
