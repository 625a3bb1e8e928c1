// JPEG reader: decoding goes through the ijl layer; we only size the bitmap,
// ask for blue-green-red rows bottom row first, and carry the JFIF density over.
#include "image/dib.h"
#include "image/ijl.h"
#include "image/jpg_internal.h"

#include <cmath>
#include <cstdint>
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

namespace {

// Width, height and density of the picture; 0 when it cannot be a JPEG we read.
int readParams(JPEG_CORE_PROPERTIES* jcp) {
    const int status = ijlRead(jcp, IJL_JBUFF_READPARAMS);
    if (status == IJL_UNSUPPORTED) return DIBFailure(DIB_ERR_UNSUPPORTED);
    if (status != IJL_OK || jcp->JPGWidth <= 0 || jcp->JPGHeight <= 0)
        return DIBFailure(DIB_ERR_DAMAGED);
    if (DIBTooManyPixels(uint64_t(jcp->JPGWidth), uint64_t(jcp->JPGHeight)))
        return DIBFailure(DIB_ERR_TOO_LARGE);
    return 1;
}

} // namespace

uint8_t* LoadJPGdata(const uint8_t* data, size_t size) {
    JPEG_CORE_PROPERTIES jcp;
    memset(&jcp, 0, sizeof jcp);
    if (!data || size == 0 || size > UINT32_MAX) {
        DIBFailure(DIB_ERR_DAMAGED);
        return nullptr;
    }
    if (ijlInit(&jcp) != IJL_OK) return nullptr;
    jcp.JPGBytes = data;
    jcp.JPGSizeBytes = uint32_t(size);
    DIB dib;
    if (!readParams(&jcp) ||
        !MakeDIBBlock(&dib, jcp.JPGWidth, jcp.JPGHeight, 24, BMP_RGB, 0, nullptr)) {
        ijlFree(&jcp);
        return nullptr;
    }
    const int width = jcp.JPGWidth, height = jcp.JPGHeight, channels = jcp.JPGChannels;
    jcp.DIBBytes = dib.bits;
    jcp.DIBWidth = width;
    jcp.DIBHeight = -height;
    jcp.DIBPadBytes = int(uint64_t(dib.lineBytes) - uint64_t(width) * 3);
    jcp.DIBChannels = 3;
    jcp.DIBColor = (channels == 1 || channels == 3) ? IJL_BGR : IJL_OTHER;
    jcp.JPGColor = channels == 1 ? IJL_G : channels == 3 ? IJL_YCBCR : IJL_OTHER;
    // A picture that breaks off keeps what was decoded; the rest stays black.
    ijlRead(&jcp, IJL_JBUFF_READWHOLEIMAGE);
    ijlFree(&jcp);
    wrLE32(dib.bmih + BI_XPELS,
           uint32_t(pelsPerMetre(jcp.jprops.jfif_app0_units, jcp.jprops.jfif_app0_Xdensity)));
    wrLE32(dib.bmih + BI_YPELS,
           uint32_t(pelsPerMetre(jcp.jprops.jfif_app0_units, jcp.jprops.jfif_app0_Ydensity)));
    return dib.mem;
}

uint8_t* LoadJPGfile(const char* fileName) {
    size_t size = 0;
    uint8_t* data = ReadImageFile(fileName, DIB_MAX_FILE_BYTES, &size);
    if (!data) return nullptr;
    uint8_t* block = LoadJPGdata(data, size);
    free(data);
    return block;
}

int LoadJPGmemory(DIB* dib, const uint8_t* data, size_t size) {
    memset(dib, 0, sizeof *dib);
    dib->mem = LoadJPGdata(data, size);
    if (dib->mem) InitDIB(dib);
    return dib->mem != nullptr;
}

int LoadJPG(DIB* dib, const char* fileName) {
    memset(dib, 0, sizeof *dib);
    dib->mem = LoadJPGfile(fileName);
    if (dib->mem) InitDIB(dib);
    return dib->mem != nullptr;
}
