// The JPEG decoding interface on libjpeg-turbo. Errors inside libjpeg come back
// here through longjmp and become a status; nothing in it may end the program.
#include "image/ijl.h"

#include <cstdlib>
#include <cstring>

#if defined(VANTORIX_HAVE_JPEG) && VANTORIX_HAVE_JPEG

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace {

// Memory libjpeg may take for one picture (coefficient buffers of progressive
// files are the large part); beyond it the read fails instead of swapping.
constexpr long kMaxDecoderMemory = 512L * 1024 * 1024;
// A progressive file can repeat scans without end; real files use a few dozen.
constexpr int kMaxScans = 1000;

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
};

void onError(j_common_ptr cinfo) {
    longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

void onMessage(j_common_ptr) {}

void onProgress(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    if (reinterpret_cast<j_decompress_ptr>(cinfo)->input_scan_number > kMaxScans)
        longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

uint8_t clampByte(int v) {
    return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v);
}

// One decoded scanline of a colour space libjpeg does not turn into RGB itself.
void convertRow(const JSAMPLE* src, uint8_t* dst, int width, int components, J_COLOR_SPACE space,
                bool adobeInverted) {
    if (space == JCS_CMYK) {
        for (int x = 0; x < width; x++, src += 4, dst += 3) {
            // Adobe writes CMYK inverted: the stored byte is 255 - ink.
            int c = src[0], m = src[1], y = src[2], k = src[3];
            if (!adobeInverted) {
                c = 255 - c;
                m = 255 - m;
                y = 255 - y;
                k = 255 - k;
            }
            dst[0] = clampByte((y * k + 127) / 255);
            dst[1] = clampByte((m * k + 127) / 255);
            dst[2] = clampByte((c * k + 127) / 255);
        }
    } else if (components >= 3) {
        for (int x = 0; x < width; x++, src += components, dst += 3) {
            dst[0] = src[2];
            dst[1] = src[1];
            dst[2] = src[0];
        }
    } else {
        for (int x = 0; x < width; x++, src += components, dst += 3)
            dst[0] = dst[1] = dst[2] = src[0];
    }
}

struct Decoder {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    jpeg_progress_mgr progress;
    FILE* file;
    JSAMPLE* row;
    bool created;
};

void closeDecoder(Decoder* d) {
    if (d->created) jpeg_destroy_decompress(&d->cinfo);
    if (d->file) fclose(d->file);
    free(d->row);
    free(d);
}

int isBufferMode(int mode) {
    return mode == IJL_JBUFF_READPARAMS || mode == IJL_JBUFF_READWHOLEIMAGE;
}

int isParamsMode(int mode) {
    return mode == IJL_JFILE_READPARAMS || mode == IJL_JBUFF_READPARAMS;
}

int hasSource(const JPEG_CORE_PROPERTIES* props, int mode) {
    return isBufferMode(mode) ? props->JPGBytes && props->JPGSizeBytes : props->JPGFile != nullptr;
}

// Opens the named file (the bytes in memory need nothing) and routes
// libjpeg's errors to the jump.
int prepareDecoder(Decoder* d, const JPEG_CORE_PROPERTIES* props, int mode) {
    if (!isBufferMode(mode)) {
        d->file = fopen(props->JPGFile, "rb");
        if (!d->file) return IJL_INVALID_FILENAME;
    }
    d->cinfo.err = jpeg_std_error(&d->err.pub);
    d->err.pub.error_exit = onError;
    d->err.pub.output_message = onMessage;
    return IJL_OK;
}

// Runs inside ijlRead's setjmp: libjpeg may jump out of it.
void startDecoder(Decoder* d, const JPEG_CORE_PROPERTIES* props, int mode) {
    jpeg_create_decompress(&d->cinfo);
    d->created = true;
    d->cinfo.mem->max_memory_to_use = kMaxDecoderMemory;
    d->progress.progress_monitor = onProgress;
    d->cinfo.progress = &d->progress;
    if (isBufferMode(mode))
        jpeg_mem_src(&d->cinfo, props->JPGBytes, props->JPGSizeBytes);
    else
        jpeg_stdio_src(&d->cinfo, d->file);
    jpeg_read_header(&d->cinfo, TRUE);
}

void reportParams(JPEG_CORE_PROPERTIES* props, const jpeg_decompress_struct& ci) {
    props->JPGWidth = int(ci.image_width);
    props->JPGHeight = int(ci.image_height);
    props->JPGChannels = ci.num_components;
    props->jprops.saw_JFIF = ci.saw_JFIF_marker;
    props->jprops.saw_Adobe = ci.saw_Adobe_marker;
    props->jprops.adobe_transform = ci.Adobe_transform;
    props->jprops.jfif_app0_units = ci.saw_JFIF_marker ? ci.density_unit : 0;
    props->jprops.jfif_app0_Xdensity = ci.saw_JFIF_marker ? ci.X_density : 0;
    props->jprops.jfif_app0_Ydensity = ci.saw_JFIF_marker ? ci.Y_density : 0;
}

int bitmapMatches(const JPEG_CORE_PROPERTIES* props, int width, int height) {
    return props->DIBBytes && props->DIBWidth == width && props->DIBChannels == 3 &&
           props->DIBPadBytes >= 0 && (props->DIBHeight == height || props->DIBHeight == -height);
}

// Whatever the caller names as colour, the bitmap gets blue, green, red:
// grey is repeated, CMYK and YCCK are turned into RGB, anything else unknown
// shows its first three components (or its first one as grey). true when
// libjpeg delivers the bitmap's bytes itself.
bool chooseOutputSpace(jpeg_decompress_struct& ci) {
    switch (ci.jpeg_color_space) {
    case JCS_GRAYSCALE:
    case JCS_YCbCr:
    case JCS_RGB:
        ci.out_color_space = JCS_EXT_BGR;
        return true;
    case JCS_CMYK:
    case JCS_YCCK:
        ci.out_color_space = JCS_CMYK;
        return false;
    default:
        ci.out_color_space = ci.jpeg_color_space;
        return false;
    }
}

// Runs inside ijlRead's setjmp. A picture that breaks off keeps its rows so far.
int readRows(Decoder* d, const JPEG_CORE_PROPERTIES* props, bool direct) {
    jpeg_decompress_struct& ci = d->cinfo;
    const int width = int(ci.image_width), height = int(ci.image_height);
    jpeg_start_decompress(&ci);
    const size_t stride = size_t(width) * 3 + size_t(props->DIBPadBytes);
    const bool bottomUp = props->DIBHeight < 0;
    if (!direct) {
        d->row = static_cast<JSAMPLE*>(malloc(size_t(width) * ci.output_components));
        if (!d->row) return IJL_MEMORY_ERROR;
    }
    while (ci.output_scanline < ci.output_height) {
        size_t y = ci.output_scanline;
        uint8_t* target = props->DIBBytes + (bottomUp ? size_t(height) - 1 - y : y) * stride;
        JSAMPROW rowPtr = direct ? target : d->row;
        if (jpeg_read_scanlines(&ci, &rowPtr, 1) != 1) break;
        if (!direct)
            convertRow(d->row, target, width, ci.output_components, ci.out_color_space,
                       ci.saw_Adobe_marker);
    }
    jpeg_finish_decompress(&ci);
    return IJL_OK;
}

// Runs inside ijlRead's setjmp: libjpeg may jump out of it.
int decode(Decoder* d, JPEG_CORE_PROPERTIES* props, int mode) {
    startDecoder(d, props, mode);
    reportParams(props, d->cinfo);
    if (isParamsMode(mode)) return IJL_OK;
    if (!bitmapMatches(props, int(d->cinfo.image_width), int(d->cinfo.image_height)))
        return IJL_INVALID_JPEG_PROPERTIES;
    return readRows(d, props, chooseOutputSpace(d->cinfo));
}

// libjpeg reports errors by jumping back here; the decoder lives on the heap,
// so nothing of this frame is needed after the jump.
int guardedDecode(Decoder* d, JPEG_CORE_PROPERTIES* props, int mode) {
    if (setjmp(d->err.jump)) return IJL_ERR_DATA;
    return decode(d, props, mode);
}

} // namespace

int ijlRead(JPEG_CORE_PROPERTIES* props, int mode) {
    if (!props || !props->initialised) return IJL_BAD_HANDLE;
    if (mode < IJL_JFILE_READPARAMS || mode > IJL_JBUFF_READWHOLEIMAGE) return IJL_UNSUPPORTED;
    if (!hasSource(props, mode)) return IJL_INVALID_FILENAME;
    Decoder* d = static_cast<Decoder*>(calloc(1, sizeof(Decoder)));
    if (!d) return IJL_MEMORY_ERROR;
    int status = prepareDecoder(d, props, mode);
    if (status == IJL_OK) status = guardedDecode(d, props, mode);
    closeDecoder(d);
    return status;
}

#else

// Built without libjpeg: every read reports that JPEG decoding is unavailable.
int ijlRead(JPEG_CORE_PROPERTIES* props, int) {
    if (!props || !props->initialised) return IJL_BAD_HANDLE;
    return IJL_UNSUPPORTED;
}

#endif
