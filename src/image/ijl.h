// The JPEG decoding interface the image library relies on: the calls and the
// properties record of the Intel JPEG Library, reduced to what our reader uses.
// ijl_libjpeg.cpp implements it on libjpeg-turbo (ijl_wic.cpp on Windows); a build without libjpeg gets
// an implementation whose every read fails with IJL_UNSUPPORTED.
#pragma once
#include <cstdint>

enum IJLERR : int {
    IJL_OK = 0,
    IJL_INVALID_ENCODER = -1,
    IJL_UNSUPPORTED_SUBSAMPLING = -2,
    IJL_ERR_FILECLOSE = -3,
    IJL_BAD_HANDLE = -4,
    IJL_INVALID_JPEG_PROPERTIES = -5,
    IJL_MEMORY_ERROR = -6,
    IJL_INVALID_FILENAME = -7,
    IJL_ERR_DATA = -8,
    IJL_UNSUPPORTED = -9,
};

enum IJLIOTYPE : int {
    IJL_JFILE_READPARAMS = 0,
    IJL_JBUFF_READPARAMS = 1,
    IJL_JFILE_READWHOLEIMAGE = 2,
    IJL_JBUFF_READWHOLEIMAGE = 3,
};

enum IJL_COLOR : int {
    IJL_RGB = 1,
    IJL_BGR = 2,
    IJL_YCBCR = 3,
    IJL_G = 4,
    IJL_OTHER = 255,
};

struct JPEG_PROPERTIES {
    uint8_t jfif_app0_units; // 0 none, 1 dots per inch, 2 dots per centimetre
    uint16_t jfif_app0_Xdensity;
    uint16_t jfif_app0_Ydensity;
    int saw_JFIF;
    int saw_Adobe;
    int adobe_transform;
};

struct JPEG_CORE_PROPERTIES {
    // Bitmap side (in for the whole-image read).
    uint8_t* DIBBytes;
    int DIBWidth;
    int DIBHeight; // negative: deliver the bottom row first
    int DIBPadBytes;
    int DIBChannels;
    int DIBColor;

    // File side: a file name (JFILE modes) or bytes in memory (JBUFF modes).
    const char* JPGFile;
    const uint8_t* JPGBytes;
    uint32_t JPGSizeBytes;
    int JPGWidth, JPGHeight, JPGChannels; // out (parameter read)
    int JPGColor;                         // in: colour space the caller expects

    JPEG_PROPERTIES jprops;
    int initialised;
};

int ijlInit(JPEG_CORE_PROPERTIES* props);
int ijlRead(JPEG_CORE_PROPERTIES* props, int mode);
int ijlFree(JPEG_CORE_PROPERTIES* props);
