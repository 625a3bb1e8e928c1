#pragma once
#include <string>

// Handles one file as the send-file worker does, by its extension.
// Returns an empty string on success, else a message naming the problem.
// Pictures are placed at (atX, atY) and kept inside the panel.
std::string runFile(const std::string& path, int atX = 0, int atY = 0);

// Loads a picture and writes its first frame as loaded, as a BMP file.
std::string decodeImageFile(const std::string& in, const std::string& out);
// Writes a picture exactly as a board receives it for the current panel.
std::string prepareImageFile(const std::string& in, const std::string& out);
