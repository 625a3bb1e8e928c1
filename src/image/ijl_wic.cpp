// The JPEG decoding interface on the Windows Imaging Component, which every
// Windows since XP SP3 (and Wine) carries: the program needs no JPEG DLL.
// WIC gives size, colour format and pixels; the JFIF density it does not
// report in the file's own units, so that is read from the APP0 segment here.
#include "image/ijl.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <windows.h>
#include <wincodec.h>

namespace {

// JPEG markers walked to find the JFIF segment.
constexpr int kMarkerStart = 0xFF;
constexpr int kStartOfImage = 0xD8;
constexpr int kApp0 = 0xE0;
constexpr int kStartOfScan = 0xDA;
constexpr int kEndOfImage = 0xD9;
constexpr uint8_t kJfifId[5] = {'J', 'F', 'I', 'F', 0};
// Inside APP0 after the identifier: version (2), units (1), X and Y density (2 each, big-endian).
constexpr size_t kJfifUnitsAt = 7;
constexpr size_t kJfifXDensityAt = 8;
constexpr size_t kJfifYDensityAt = 10;
constexpr size_t kJfifMinLength = 12;

uint16_t be16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

bool isStandalone(int marker) {
    return (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01;
}

// Walks the segments before the first scan and reads the first JFIF APP0.
void readJfifDensity(const char* fileName, JPEG_PROPERTIES* jprops) {
    FILE* file = fopen(fileName, "rb");
    if (!file) return;
    uint8_t head[2];
    if (fread(head, 1, 2, file) != 2 || head[0] != kMarkerStart || head[1] != kStartOfImage) {
        fclose(file);
        return;
    }
    for (;;) {
        int c = fgetc(file);
        if (c != kMarkerStart) break;
        int marker;
        do marker = fgetc(file);
        while (marker == kMarkerStart);
        if (marker == EOF || marker == kStartOfScan || marker == kEndOfImage) break;
        if (isStandalone(marker)) continue;
        uint8_t lengthBytes[2];
        if (fread(lengthBytes, 1, 2, file) != 2) break;
        const uint16_t length = be16(lengthBytes);
        if (length < 2) break;
        if (marker == kApp0 && length - 2 >= int(kJfifMinLength)) {
            uint8_t app0[kJfifMinLength];
            if (fread(app0, 1, sizeof app0, file) != sizeof app0) break;
            if (memcmp(app0, kJfifId, sizeof kJfifId) == 0) {
                jprops->saw_JFIF = 1;
                jprops->jfif_app0_units = app0[kJfifUnitsAt];
                jprops->jfif_app0_Xdensity = be16(app0 + kJfifXDensityAt);
                jprops->jfif_app0_Ydensity = be16(app0 + kJfifYDensityAt);
                break;
            }
            if (fseek(file, long(length) - 2 - long(sizeof app0), SEEK_CUR) != 0) break;
        } else if (fseek(file, long(length) - 2, SEEK_CUR) != 0) {
            break;
        }
    }
    fclose(file);
}

template <typename T> void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// One decoding: COM for this thread, the factory and the first frame.
struct WicFrame {
    bool comStarted = false;
    IWICImagingFactory* factory = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    UINT width = 0, height = 0;
    WICPixelFormatGUID format{};
};

void closeFrame(WicFrame* f) {
    release(f->frame);
    release(f->decoder);
    release(f->factory);
    if (f->comStarted) CoUninitialize();
}

int openFrame(const char* fileName, WicFrame* f) {
    // A thread that already runs COM in another model keeps it; WIC works in both.
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    f->comStarted = SUCCEEDED(hr);
    if (FAILED(hr) && hr != RPC_E_CHANGED_MODE) return IJL_INVALID_ENCODER;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(&f->factory))))
        return IJL_INVALID_ENCODER;
    int wideLength = MultiByteToWideChar(CP_ACP, 0, fileName, -1, nullptr, 0);
    if (wideLength <= 0) return IJL_INVALID_FILENAME;
    WCHAR* wideName = static_cast<WCHAR*>(malloc(sizeof(WCHAR) * size_t(wideLength)));
    if (!wideName) return IJL_MEMORY_ERROR;
    MultiByteToWideChar(CP_ACP, 0, fileName, -1, wideName, wideLength);
    hr = f->factory->CreateDecoderFromFilename(wideName, nullptr, GENERIC_READ,
                                               WICDecodeMetadataCacheOnDemand, &f->decoder);
    free(wideName);
    if (FAILED(hr)) return IJL_INVALID_FILENAME;
    GUID container{};
    if (FAILED(f->decoder->GetContainerFormat(&container)) ||
        !IsEqualGUID(container, GUID_ContainerFormatJpeg))
        return IJL_ERR_DATA;
    if (FAILED(f->decoder->GetFrame(0, &f->frame)) ||
        FAILED(f->frame->GetSize(&f->width, &f->height)) ||
        FAILED(f->frame->GetPixelFormat(&f->format)))
        return IJL_ERR_DATA;
    if (f->width == 0 || f->height == 0 || f->width > 0x7FFFFFFF || f->height > 0x7FFFFFFF)
        return IJL_ERR_DATA;
    return IJL_OK;
}

int componentCount(const WICPixelFormatGUID& format) {
    if (IsEqualGUID(format, GUID_WICPixelFormat8bppGray)) return 1;
    if (IsEqualGUID(format, GUID_WICPixelFormat32bppCMYK)) return 4;
    return 3;
}

int readPixels(WicFrame* f, JPEG_CORE_PROPERTIES* props) {
    const uint64_t width = f->width, height = f->height;
    if (!props->DIBBytes || uint64_t(props->DIBWidth) != width || props->DIBChannels != 3 ||
        props->DIBPadBytes < 0 ||
        (uint64_t(props->DIBHeight) != height && uint64_t(-int64_t(props->DIBHeight)) != height))
        return IJL_INVALID_JPEG_PROPERTIES;
    const uint64_t stride = width * 3 + uint64_t(props->DIBPadBytes);
    if (stride * height > 0xFFFFFFFFu) return IJL_MEMORY_ERROR;
    const bool grey = IsEqualGUID(f->format, GUID_WICPixelFormat8bppGray);
    HRESULT hr;
    if (grey) {
        // Grey comes as one byte a pixel at the start of each row and is spread
        // out in place (Wine's converter gives no grey to BGR).
        hr = f->frame->CopyPixels(nullptr, UINT(stride), UINT(stride * height), props->DIBBytes);
        for (uint64_t y = 0; SUCCEEDED(hr) && y < height; y++) {
            uint8_t* row = props->DIBBytes + y * stride;
            for (uint64_t x = width; x-- > 0;)
                row[3 * x] = row[3 * x + 1] = row[3 * x + 2] = row[x];
        }
    } else {
        IWICBitmapSource* bgr = nullptr;
        if (FAILED(WICConvertBitmapSource(GUID_WICPixelFormat24bppBGR, f->frame, &bgr)))
            return IJL_UNSUPPORTED;
        hr = bgr->CopyPixels(nullptr, UINT(stride), UINT(stride * height), props->DIBBytes);
        release(bgr);
    }
    if (FAILED(hr)) return IJL_ERR_DATA;
    // WIC delivers the top row first; a negative height asks for the bottom row first.
    if (props->DIBHeight < 0) {
        uint8_t* row = static_cast<uint8_t*>(malloc(size_t(stride)));
        if (!row) return IJL_MEMORY_ERROR;
        for (uint64_t top = 0, bottom = height - 1; top < bottom; top++, bottom--) {
            uint8_t* a = props->DIBBytes + top * stride;
            uint8_t* b = props->DIBBytes + bottom * stride;
            memcpy(row, a, size_t(stride));
            memcpy(a, b, size_t(stride));
            memcpy(b, row, size_t(stride));
        }
        free(row);
    }
    return IJL_OK;
}

} // namespace

int ijlInit(JPEG_CORE_PROPERTIES* props) {
    if (!props) return IJL_BAD_HANDLE;
    props->initialised = 1;
    return IJL_OK;
}

int ijlFree(JPEG_CORE_PROPERTIES* props) {
    if (!props) return IJL_BAD_HANDLE;
    props->initialised = 0;
    return IJL_OK;
}

int ijlRead(JPEG_CORE_PROPERTIES* props, int mode) {
    if (!props || !props->initialised) return IJL_BAD_HANDLE;
    if (mode != IJL_JFILE_READPARAMS && mode != IJL_JFILE_READWHOLEIMAGE) return IJL_UNSUPPORTED;
    if (!props->JPGFile) return IJL_INVALID_FILENAME;
    WicFrame frame;
    int status = openFrame(props->JPGFile, &frame);
    if (status == IJL_OK) {
        props->JPGWidth = int(frame.width);
        props->JPGHeight = int(frame.height);
        props->JPGChannels = componentCount(frame.format);
        memset(&props->jprops, 0, sizeof props->jprops);
        readJfifDensity(props->JPGFile, &props->jprops);
        if (mode == IJL_JFILE_READWHOLEIMAGE) status = readPixels(&frame, props);
    }
    closeFrame(&frame);
    return status;
}
