#pragma once
#include <string>

// Handles one file as the send-file worker does, by its extension.
// Returns an empty string on success, else a message naming the problem.
std::string runFile(const std::string& path);
