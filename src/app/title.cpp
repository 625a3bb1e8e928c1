#include "app/title.h"

#include "board/picolink.h"
#include "common/settings.h"
#include "panel/models.h"

#include <cstdio>

void makeWindowTitle(char* out, size_t size, const char* device) {
    if (!size) return;
    const ModelInfo* model = modelInfo(Module);
    const char* text = model ? model->title : "";
    const char* option = Touch == 1 ? "TC" : "NN";
    if (!picoPort)
        std::snprintf(out, size, "%s%s", text, option);
    else if (device && *device)
        std::snprintf(out, size, "%s%s (%s)", text, option, device);
    else
        std::snprintf(out, size, "%s%s (COM%d)", text, option, int(picoPort));
}
