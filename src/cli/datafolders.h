// Where the runner finds what is installed with it (firmware files, starter
// module files) and where the user's own module files live.
#pragma once
#include <string>
#include <vector>

// The folders of the runner's installed data, in the order they are looked
// in, each with its final "/": the runner's own folder (a build folder, or a
// copy beside its files), then share/vantorix beside its bin folder, so that
// an install works wherever its prefix is.
std::vector<std::string> runnerDataFolders();
// The user's module files by default: $XDG_DATA_HOME/vantorix/ (an absolute
// XDG_DATA_HOME only), else $HOME/.local/share/vantorix/; the current folder
// when neither is known.
std::string userModuleFolder();
// The first use of the user's module folder, when it does not exist yet:
// makes it and copies the starter module files into it from the first data
// folder that has them. Returns how many were copied (0 when the folder was
// there already or no starter files were found; then nothing is made).
int seedModuleFolder(const std::string& folder);
