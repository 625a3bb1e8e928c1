// The properties record's life, the same for every decoder behind ijlRead.
#include "image/ijl.h"

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
