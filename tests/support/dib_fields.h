// Header fields of a loaded bitmap record, for tests.
#pragma once
#include "image/dib.h"

namespace dibtest {
inline int width(const DIB& d) {
    return int32_t(rdLE32(d.bmih + BI_WIDTH));
}
inline int height(const DIB& d) {
    return int32_t(rdLE32(d.bmih + BI_HEIGHT));
}
inline int depth(const DIB& d) {
    return rdLE16(d.bmih + BI_BITCOUNT);
}
} // namespace dibtest
