#include "app/starters.h"

#include "file/fsys.h"
#include "file/wholefile.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {
// Module files are command files; the same limit keeps a stray huge file out.
bool copyOneFile(const std::string& from, const std::string& to) {
    WholeFile content{};
    if (!ReadWholeFile(from.c_str(), commandFileMaxBytes, &content)) return false;
    FileSink* sink = createNewFileSink(to.c_str());
    bool copied = false;
    if (sink) {
        const int written = writeFileSink(sink, content.data, content.size);
        copied = closeFileSink(sink) && written;
        if (!copied) std::remove(to.c_str()); // ours: it did not exist before
    }
    std::free(content.data);
    return copied;
}
} // namespace

int copyStarterFiles(const char* fromFolder, const char* toFolder) {
    std::vector<std::string> names;
    if (!listFolderFiles(fromFolder, names)) return 0;
    int copied = 0;
    for (const std::string& name : names) {
        if (copyOneFile(std::string(fromFolder) + name, std::string(toFolder) + name)) ++copied;
    }
    return copied;
}
