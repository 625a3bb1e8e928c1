#include "cli/datafolders.h"

#include "app/starters.h"
#include "cli/firmwarerun.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace {
constexpr char sharedDataBesideBin[] = "share/vantorix/";

bool isFolder(const std::string& path) {
    std::error_code error;
    return std::filesystem::is_directory(path, error);
}

std::string firstStarterFolder() {
    for (const std::string& folder : runnerDataFolders()) {
        const std::string starters = folder + starterFolderName + "/";
        if (isFolder(starters)) return starters;
    }
    return {};
}
} // namespace

std::vector<std::string> runnerDataFolders() {
    std::string own = runnerFolder();
    if (own.empty()) return {};
    // "/usr/bin/" gives "/usr/": the prefix the runner was installed under.
    std::string prefix = own.substr(0, own.find_last_of('/', own.size() - 2) + 1);
    return {own, prefix + sharedDataBesideBin};
}

std::string userModuleFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && dataHome[0] == '/') return std::string(dataHome) + "/vantorix/";
    const char* home = std::getenv("HOME");
    if (home && home[0]) return std::string(home) + "/.local/share/vantorix/";
    return "./";
}

int seedModuleFolder(const std::string& folder) {
    if (isFolder(folder)) return 0;
    const std::string starters = firstStarterFolder();
    if (starters.empty()) return 0;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) return 0;
    return copyStarterFiles(starters.c_str(), folder.c_str());
}
