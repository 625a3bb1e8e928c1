// The JPEG decoding interface on the Windows Imaging Component, which every
// Windows since XP SP3 (and Wine) carries: the program needs no JPEG DLL.
// WIC gives size, colour format and pixels; the JFIF density it does not
// report in the file's own units, so that is read from the APP0 segment here.
#include "image/ijl.h"

#include "file/wholefile.h"
#include "image/dib.h"

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
void readJfifDensity(const uint8_t* bytes, size_t size, JPEG_PROPERTIES* jprops) {
    if (size < 2 || bytes[0] != kMarkerStart || bytes[1] != kStartOfImage) return;
    size_t at = 2;
    while (at < size && bytes[at] == kMarkerStart) {
        while (at < size && bytes[at] == kMarkerStart) at++;
        if (at >= size) return;
        const int marker = bytes[at++];
        if (marker == kStartOfScan || marker == kEndOfImage) return;
        if (isStandalone(marker)) continue;
        if (size - at < 2) return;
        const uint16_t length = be16(bytes + at);
        if (length < 2 || size - at < length) return;
        const uint8_t* body = bytes + at + 2;
        if (marker == kApp0 && length - 2 >= int(kJfifMinLength) &&
            memcmp(body, kJfifId, sizeof kJfifId) == 0) {
            jprops->saw_JFIF = 1;
            jprops->jfif_app0_units = body[kJfifUnitsAt];
            jprops->jfif_app0_Xdensity = be16(body + kJfifXDensityAt);
            jprops->jfif_app0_Ydensity = be16(body + kJfifYDensityAt);
            return;
        }
        at += length;
    }
}

template <typename T> void release(T*& p) {
    if (p) p->Release();
    p = nullptr;
}

// One decoding: COM for this thread, the factory and the first frame.
struct WicFrame {
    bool comStarted = false;
    IWICImagingFactory* factory = nullptr;
    IWICStream* stream = nullptr;
    IWICBitmapDecoder* decoder = nullptr;
    IWICBitmapFrameDecode* frame = nullptr;
    UINT width = 0, height = 0;
    WICPixelFormatGUID format{};
};

void closeFrame(WicFrame* f) {
    release(f->frame);
    release(f->decoder);
    release(f->stream);
    release(f->factory);
    if (f->comStarted) CoUninitialize();
}

// The bytes must stay in place until the frame is closed: WIC reads them lazily.
int openFrame(const uint8_t* bytes, uint32_t size, WicFrame* f) {
    // A thread that already runs COM in another model keeps it; WIC works in both.
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    f->comStarted = SUCCEEDED(hr);
    if (FAILED(hr) && hr != RPC_E_CHANGED_MODE) return IJL_INVALID_ENCODER;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(&f->factory))))
        return IJL_INVALID_ENCODER;
    if (FAILED(f->factory->CreateStream(&f->stream)) ||
        FAILED(f->stream->InitializeFromMemory(const_cast<BYTE*>(bytes), size)))
        return IJL_MEMORY_ERROR;
    hr = f->factory->CreateDecoderFromStream(f->stream, nullptr, WICDecodeMetadataCacheOnDemand,
                                             &f->decoder);
    if (FAILED(hr)) return IJL_ERR_DATA;
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

int ijlRead(JPEG_CORE_PROPERTIES* props, int mode) {
    if (!props || !props->initialised) return IJL_BAD_HANDLE;
    if (mode < IJL_JFILE_READPARAMS || mode > IJL_JBUFF_READWHOLEIMAGE) return IJL_UNSUPPORTED;
    const bool fromBuffer = mode == IJL_JBUFF_READPARAMS || mode == IJL_JBUFF_READWHOLEIMAGE;
    const bool wholeImage = mode == IJL_JFILE_READWHOLEIMAGE || mode == IJL_JBUFF_READWHOLEIMAGE;
    // A file is read whole and decoded like bytes handed over in memory.
    WholeFile file{};
    const uint8_t* bytes = props->JPGBytes;
    uint64_t size = props->JPGSizeBytes;
    if (!fromBuffer) {
        if (!props->JPGFile) return IJL_INVALID_FILENAME;
        if (!ReadWholeFile(props->JPGFile, DIB_MAX_FILE_BYTES, &file)) return IJL_INVALID_FILENAME;
        bytes = file.data;
        size = file.size;
    }
    int status = IJL_INVALID_FILENAME;
    if (bytes && size > 0) {
        WicFrame frame;
        status = openFrame(bytes, uint32_t(size), &frame);
        if (status == IJL_OK) {
            props->JPGWidth = int(frame.width);
            props->JPGHeight = int(frame.height);
            props->JPGChannels = componentCount(frame.format);
            memset(&props->jprops, 0, sizeof props->jprops);
            readJfifDensity(bytes, size_t(size), &props->jprops);
            if (wholeImage) status = readPixels(&frame, props);
        }
        closeFrame(&frame);
    }
    free(file.data);
    return status;
}
