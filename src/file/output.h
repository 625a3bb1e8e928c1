// The files a user names as outputs (the panel and window pictures, the
// board bytes, converted pictures) are written so that they never destroy
// what the name points at:
// - a regular file, or none yet, is replaced whole: the content goes to the
//   name plus ".tmp" beside it, which is then renamed over it, so a reader
//   never sees half a file and a failed write leaves the old one as it was;
// - a symbolic link is followed: the file it leads to is replaced that way,
//   and the link stays;
// - a device, pipe or socket is written in place (a pipe waits for its
//   reader, as any writer does);
// - a folder is refused.
#pragma once
#include <cstddef>
#include <functional>
#include <string>

// Writes one whole file at the path it is handed: "" when done, else what
// went wrong. What it leaves behind on failure is removed when it was a
// temporary file.
using OutputWriter = std::function<std::string(const char* path)>;

// "" when the output was written, else what went wrong (without the name).
std::string writeOutputFile(const std::string& path, const OutputWriter& write);
// Writes size bytes as the whole output.
std::string writeOutputBytes(const std::string& path, const void* bytes, size_t size);
// Writes head and then body as the whole output (either may be empty).
std::string writeOutputParts(const std::string& path, const void* head, size_t headSize,
                             const void* body, size_t bodySize);
