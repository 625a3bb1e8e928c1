// The file-system calls of the board link: one small implementation per
// operating system (posix/, win32/), so that everything else stays portable.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Appends the names (without folder) of the plain files in a folder, in the
// order the system lists them. 0 when the folder cannot be read.
int listFolderFiles(const char* folder, std::vector<std::string>& names);

// 1 when path names a plain file (links followed): not a folder, device,
// pipe or socket. Nothing is opened, so a pipe cannot keep the caller waiting.
int isPlainFile(const char* path);

// Last-write time of an existing plain file, in 100 ns units since
// 1601-01-01 UTC (the Windows file time); 0 when there is no such file.
uint64_t fileWriteTime(const char* path);

// A file written piece by piece, each piece handed to the system at once.
struct FileSink;
// Creates (or empties) a plain file; null when that fails or when something
// else is in its place (a pipe or device is never opened).
FileSink* createFileSink(const char* path);
// Creates a file that is not there yet; null when anything (even a dangling
// link) has the name already, so nothing is ever replaced.
FileSink* createNewFileSink(const char* path);
// 1 when all bytes were handed to the system.
int writeFileSink(FileSink* sink, const void* data, size_t size);
// Waits until everything written has reached the device; 1 on success.
int syncFileSink(FileSink* sink);
// Closes and frees the sink; 1 when closing reported no error.
int closeFileSink(FileSink* sink);
