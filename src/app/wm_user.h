// File names handed over by other programs, the program's own folder and name,
// and shortcut (.lnk) targets: the portable logic behind the window's handlers.
#pragma once
#include <cstddef>
#include <cstdint>

// Offsets above WM_USER of the instance messages: the control message and the
// first of the eight chunk messages (chunk length n uses kInstanceControl + n).
constexpr unsigned kInstanceControl = 10;
constexpr unsigned kInstanceMaxChunk = 8;
constexpr uint32_t kInstanceStart = 0; // control wParam: clear instBuf
constexpr uint32_t kInstanceEnd = 2;   // control wParam: open the name in instBuf
constexpr int kInstanceBufSize = 256;

// The name being received; owned by the main window, starts as zeros.
extern char instBuf[kInstanceBufSize];

// Unpacks chunk bytes 0 .. n-1 from the two message parameters into buf and
// ends them with a zero at buf[n]; other n write only that zero. buf holds
// at least n + 1 bytes (9 for any chunk).
void wlParam2buf(char* buf, int n, uint32_t wParam, uint32_t lParam);

// The inverse, for senders: packs n (1 to 8) bytes of chunk into the parameters.
void buf2wlParam(const char* chunk, int n, uint32_t* wParam, uint32_t* lParam);

// Handles message WM_USER + offset. Returns 1 when the name in instBuf is
// complete and should be opened, 0 otherwise. Text that would take instBuf
// past 255 characters is dropped.
int InstanceMessage(unsigned offset, uint32_t wParam, uint32_t lParam);

// One message of a sender's sequence.
struct InstanceMsg {
    unsigned offset; // above WM_USER
    uint32_t wParam;
    uint32_t lParam;
};
// Most messages one name can take: start, 255 one-character chunks, end.
constexpr int kInstanceMaxMessages = kInstanceBufSize + 1;

// The sequence that hands name over in chunks of chunkSize (1 to 8; the last
// may be shorter). Returns the number of messages written, or 0 when the
// chunk size is out of range, the name is empty or longer than 255 characters,
// or capacity is too small.
int BuildInstanceMessages(const char* name, int chunkSize, InstanceMsg* out, int capacity);

// Folder (with its trailing backslash) and base name (without extension) of
// the program, from its command line as the system gives it and the current
// folder, which completes a relative program path. Both outputs hold
// capacity bytes and are always zero-terminated.
void AppPathFromCommandLine(const char* commandLine, const char* currentDir, char* folder,
                            char* name, int capacity);

// Random access to the bytes of a shortcut file.
struct LinkSource {
    void* context;
    uint64_t size;
    // Reads up to count bytes at offset into buf; returns the bytes read.
    size_t (*readAt)(void* context, uint64_t offset, uint8_t* buf, size_t count);
};

// A source over bytes in memory (the caller keeps them alive).
struct MemoryLinkSource {
    const uint8_t* data;
    size_t size;
};
LinkSource LinkSourceFromMemory(MemoryLinkSource* memory);

// Opening and closing shortcut files: open fills the source and returns 1.
struct LinkFileOps {
    int (*open)(const char* name, LinkSource* source);
    void (*close)(LinkSource* source);
};
// Files through the C library (tests, tools and the fuzz target).
extern const LinkFileOps kStdioLinkFiles;

// The work of RecolveLinkFilename with the given file access: strips quotes
// from name (256 bytes) and, when it names a readable shortcut with a local
// target, replaces it by the target's path. Returns 1 when replaced.
int ResolveLinkName(char* name, const LinkFileOps* files);

// Takes the surrounding double quotes off name (256 bytes) in place.
void StripNameQuotes(char* name);
// 1 when name ends in ".lnk" (any case).
int IsLinkName(const char* name);
// Reads the local path of a shortcut's target into target (256 bytes).
// Returns 1 on success; 0 (target untouched) when the file is no shell link,
// has no local base path, or any size or offset points outside the file.
int ReadLinkTarget(const LinkSource* source, char* target);
