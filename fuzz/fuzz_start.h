// The start of every input of the targets that run on the headless host.
#pragma once
#include "headless/headless.h"
#include "module/winbitmap.h"
#include "panel/models.h"

// Starts as headlessStart does. Each model, touch variant and angle is built
// once; later starts copy its module picture back instead of unpacking and
// turning it again, which took most of a short input's run, and leave the same
// state.
inline void fuzzStart(HeadlessOptions options) {
    static KeptModulePicture kept[modelCount][2][4];
    KeptModulePicture& picture = kept[options.model - 1][options.touch ? 1 : 0][options.angle / 90];
    options.keptPicture = &picture;
    headlessStart(options);
    if (!picture.picture.mem) keepModulePicture(&picture);
}
