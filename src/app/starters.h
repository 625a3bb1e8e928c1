// The starter module files: an installed program carries one per model and
// orientation in a "starter" folder, and they are copied to where the user's
// module files live, never over a file that is there, so a newer install
// never replaces a file the user has edited.
#pragma once

// The starter folder's name, beside the program or in the shared data folder.
constexpr char starterFolderName[] = "starter";

// Copies each plain file of fromFolder into toFolder (both named with their
// final separator) where toFolder has nothing of that name yet. A copy that
// fails halfway is removed. Returns how many files were copied.
int copyStarterFiles(const char* fromFolder, const char* toFolder);
