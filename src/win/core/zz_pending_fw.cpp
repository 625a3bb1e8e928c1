// Stand-ins until the firmware-file and send-job modules land on main; they
// then define these and this file goes.
#include "win/core/modulefile.h"

#include <chrono>
#include <filesystem>
#include <system_error>

char moduleFile[256] = "";
uint64_t moduleFileTime = 0;
void* sendDlg = nullptr;

void GetAktModuleFileTime() {
    moduleFileTime = 0;
    if (!moduleFile[0]) return;
    std::error_code error;
    const auto stamp = std::filesystem::last_write_time(moduleFile, error);
    if (error) return;
    using namespace std::chrono;
    const auto since1970 = duration_cast<nanoseconds>(file_clock::to_sys(stamp).time_since_epoch());
    constexpr uint64_t from1601To1970 = 116444736000000000ull;
    moduleFileTime = uint64_t(since1970.count() / 100) + from1601To1970;
}
