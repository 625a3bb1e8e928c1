// JPEG reader: decoding goes through the ijl layer; we only size the bitmap,
// ask for blue-green-red rows bottom row first, and carry the JFIF density over.
#include "image/dib.h"
#include "image/ijl.h"
#include "image/jpg_internal.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

int MulDiv32(int a, double multiplier, double divisor) {
    return int(std::floor(double(a) * multiplier / divisor + 0.5));
}

namespace {

int32_t pelsPerMetre(int units, int density) {
    if (density == 0) density = 72;
    if (units == 1) return MulDiv32(density, 100, 2.54);
    if (units == 2) return density * 100;
    return MulDiv32(72, 100, 2.54);
}

} // namespace

uint8_t* LoadJPGfile(const char* fileName) {
    JPEG_CORE_PROPERTIES jcp;
    memset(&jcp, 0, sizeof jcp);
    if (ijlInit(&jcp) != IJL_OK) return nullptr;
    jcp.JPGFile = fileName;
    if (ijlRead(&jcp, IJL_JFILE_READPARAMS) != IJL_OK) {
        ijlFree(&jcp);
        return nullptr;
    }
    const int width = jcp.JPGWidth, height = jcp.JPGHeight, channels = jcp.JPGChannels;
    const int units = jcp.jprops.jfif_app0_units;
    const int xDensity = jcp.jprops.jfif_app0_Xdensity, yDensity = jcp.jprops.jfif_app0_Ydensity;
    const uint64_t rowBytes = (uint64_t(width) * 3 + 3) & ~uint64_t(3);
    const uint64_t pixelBytes = rowBytes * uint64_t(height);
    uint8_t* mem = nullptr;
    if (width > 0 && height > 0 && pixelBytes <= JPG_MAX_BYTES)
        mem = static_cast<uint8_t*>(calloc(size_t(pixelBytes) + 40, 1));
    if (!mem) {
        ijlFree(&jcp);
        return nullptr;
    }
    wrLE32(mem + BI_SIZE, 40);
    wrLE32(mem + BI_WIDTH, uint32_t(width));
    wrLE32(mem + BI_HEIGHT, uint32_t(height));
    wrLE16(mem + BI_PLANES, 1);
    wrLE16(mem + BI_BITCOUNT, 24);
    wrLE32(mem + BI_SIZEIMAGE, uint32_t(pixelBytes));

    jcp.DIBBytes = mem + 40;
    jcp.DIBWidth = width;
    jcp.DIBHeight = -height;
    jcp.DIBPadBytes = int(rowBytes - uint64_t(width) * 3);
    jcp.DIBChannels = 3;
    jcp.DIBColor = (channels == 1 || channels == 3) ? IJL_BGR : IJL_OTHER;
    jcp.JPGColor = channels == 1 ? IJL_G : channels == 3 ? IJL_YCBCR : IJL_OTHER;
    // A picture that breaks off keeps what was decoded; the rest stays black.
    ijlRead(&jcp, IJL_JFILE_READWHOLEIMAGE);
    ijlFree(&jcp);

    wrLE32(mem + BI_XPELS, uint32_t(pelsPerMetre(units, xDensity)));
    wrLE32(mem + BI_YPELS, uint32_t(pelsPerMetre(units, yDensity)));
    return mem;
}

int LoadJPG(DIB* dib, const char* fileName) {
    // The record may sit unaligned in a packed image list: work on a copy.
    DIB local;
    memset(&local, 0, sizeof local);
    local.mem = LoadJPGfile(fileName);
    if (local.mem) InitDIB(&local);
    memcpy(dib, &local, sizeof local);
    return local.mem != nullptr;
}
