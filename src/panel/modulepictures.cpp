// The eleven module pictures embedded in the program (data/modules, drawn by
// tools/modgen), and their unpacking.
#include "panel/models.h"
#include "panel/modulerecord.h"

#include <zlib.h>

#include <cstdlib>

#if __has_include("module_kp096_nn.h")
#include "module_kp096_nn.h"
#include "module_kp096_tc.h"
#include "module_kp150_nn.h"
#include "module_kp150_tc.h"
#include "module_kp200_nn.h"
#include "module_kp200_tc.h"
#include "module_kp280_nn.h"
#include "module_kp280_tc.h"
#include "module_kp350_nn.h"
#include "module_kp350_tc.h"
#include "module_kp240.h"
#define VX_HAVE_MODULE_PICTURES 1
#endif

namespace {
struct StoredRecord {
    const unsigned char* bytes;
    unsigned length;
};

#ifdef VX_HAVE_MODULE_PICTURES
// Per model: without touch panel, with touch panel.
const StoredRecord stored[modelCount][2] = {
    {{module_kp096_nn, module_kp096_nn_LEN}, {module_kp096_tc, module_kp096_tc_LEN}},
    {{module_kp150_nn, module_kp150_nn_LEN}, {module_kp150_tc, module_kp150_tc_LEN}},
    {{module_kp200_nn, module_kp200_nn_LEN}, {module_kp200_tc, module_kp200_tc_LEN}},
    {{module_kp280_nn, module_kp280_nn_LEN}, {module_kp280_tc, module_kp280_tc_LEN}},
    {{module_kp350_nn, module_kp350_nn_LEN}, {module_kp350_tc, module_kp350_tc_LEN}},
    {{module_kp240, module_kp240_LEN}, {module_kp240, module_kp240_LEN}},
};
#else
const StoredRecord stored[modelCount][2] = {};
#endif

uint32_t readLE32(const unsigned char* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
} // namespace

int modulePicture(int model, int touch, ModulePicture* picture) {
    if (model < 1 || model > modelCount) return 0;
    const StoredRecord& record = stored[model - 1][touch ? 1 : 0];
    if (!record.bytes || record.length < unsigned(moduleRecordHeaderBytes)) return 0;
    picture->packed = record.bytes + moduleRecordHeaderBytes;
    picture->packedLength = readLE32(record.bytes + moduleRecordPackedField);
    picture->unpackedLength = readLE32(record.bytes + moduleRecordUnpackedField);
    // A record whose stream does not fill the rest exactly is not used.
    return picture->packedLength == record.length - moduleRecordHeaderBytes;
}

uint8_t* AllocAndUncompress(const uint8_t* packed, uint32_t packedLength, uint32_t unpackedLength) {
    if (!packed || unpackedLength == 0) return nullptr;
    uint8_t* block = static_cast<uint8_t*>(std::malloc(unpackedLength));
    if (!block) return nullptr;
    uLongf length = unpackedLength;
    if (uncompress(block, &length, packed, packedLength) != Z_OK || length != unpackedLength) {
        std::free(block);
        return nullptr;
    }
    return block;
}
