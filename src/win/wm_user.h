// The program's folder and name, and shortcut targets, on Windows.
#pragma once
#include "app/wm_user.h"

// Folder (with trailing backslash) and base name of the running program.
void GetAppPathName(char* folder, char* name, int capacity);
// Unquotes name (256 bytes) and replaces a shortcut by its target's local path.
void RecolveLinkFilename(char* name);
