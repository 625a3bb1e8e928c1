// Instance messages, program path and shortcut targets (portable part).
#include "app/wm_user.h"

#include <climits>
#include <cstdio>
#include <cstring>

char instBuf[kInstanceBufSize];

namespace {

// Where chunk byte i sits: in wParam (true) or lParam, and at which bit.
struct ChunkPlace {
    bool inWParam;
    int shift;
};
constexpr ChunkPlace kChunkPlaces[kInstanceMaxChunk] = {
    {true, 0}, {false, 0}, {true, 8}, {false, 8}, {false, 16}, {false, 24}, {true, 16}, {true, 24},
};

void copyBounded(char* dst, const char* src, size_t count, int capacity) {
    if (capacity <= 0) return;
    if (count > size_t(capacity - 1)) count = size_t(capacity - 1);
    memmove(dst, src, count);
    dst[count] = 0;
}

void appendBounded(char* dst, const char* src, size_t count, int capacity) {
    size_t used = strlen(dst);
    if (used >= size_t(capacity)) return;
    copyBounded(dst + used, src, count, capacity - int(used));
}

// A path beginning with a single backslash is relative to the current drive.
bool startsAtDriveRoot(const char* path) {
    return path[0] == '\\' && path[1] != '\\';
}

void cutAtFirstBackslash(char* text) {
    if (char* p = strchr(text, '\\')) *p = 0;
}

void cutAtLastBackslash(char* text) {
    if (char* p = strrchr(text, '\\')) *p = 0;
}

// Appends "\" and rest, without doubling a backslash the folder already ends
// with (the current folder of a drive's root is given as "C:\").
void appendSubPath(char* folder, const char* rest, int capacity) {
    size_t used = strlen(folder);
    if (used == 0 || folder[used - 1] != '\\') appendBounded(folder, "\\", 1, capacity);
    appendBounded(folder, rest, strlen(rest), capacity);
}

// Shell link layout.
constexpr size_t kLinkHeaderSize = 76;
constexpr size_t kLinkFlagsAt = 20;
constexpr uint32_t kLinkHasIdList = 1u << 0;
constexpr uint32_t kLinkHasLinkInfo = 1u << 1;
constexpr uint8_t kLinkClassId[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                      0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
constexpr size_t kLinkClassIdAt = 4;
// Link information: size, header size, flags, volume ID offset, local base path
// offset, network link offset, common path suffix offset.
constexpr size_t kInfoSizeAt = 0;
constexpr size_t kInfoHeaderSizeAt = 4;
constexpr size_t kInfoFlagsAt = 8;
constexpr size_t kInfoLocalBasePathAt = 16;
constexpr size_t kInfoPathSuffixAt = 24;
constexpr uint32_t kInfoMinHeaderSize = 28;
constexpr uint32_t kInfoHasLocalBasePath = 1u << 0;

uint32_t le16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
uint32_t le32(const uint8_t* p) {
    return le16(p) | le16(p + 2) << 16;
}

bool readExactly(const LinkSource* source, uint64_t offset, uint8_t* buf, size_t count) {
    if (offset > source->size || count > source->size - offset) return false;
    return source->readAt(source->context, offset, buf, count) == count;
}

// Reads the zero-terminated text at offset, which must end before limit and
// take at most capacity - 1 characters. Returns its length, or -1.
int readText(const LinkSource* source, uint64_t offset, uint64_t limit, char* out, int capacity) {
    if (offset >= limit) return -1;
    uint64_t available = limit - offset;
    size_t count = available < uint64_t(capacity) ? size_t(available) : size_t(capacity);
    uint8_t buf[kInstanceBufSize];
    if (count > sizeof buf || !readExactly(source, offset, buf, count)) return -1;
    const void* end = memchr(buf, 0, count);
    if (!end) return -1;
    size_t length = size_t(static_cast<const uint8_t*>(end) - buf);
    memcpy(out, buf, length + 1);
    return int(length);
}

size_t readFromMemory(void* context, uint64_t offset, uint8_t* buf, size_t count) {
    const MemoryLinkSource* memory = static_cast<const MemoryLinkSource*>(context);
    if (offset >= memory->size) return 0;
    size_t available = memory->size - size_t(offset);
    if (count > available) count = available;
    memcpy(buf, memory->data + offset, count);
    return count;
}

size_t readFromStdio(void* context, uint64_t offset, uint8_t* buf, size_t count) {
    FILE* file = static_cast<FILE*>(context);
    if (offset > uint64_t(LONG_MAX) || fseek(file, long(offset), SEEK_SET) != 0) return 0;
    return fread(buf, 1, count, file);
}

int openStdio(const char* name, LinkSource* source) {
    FILE* file = fopen(name, "rb");
    if (!file) return 0;
    long size = -1;
    if (fseek(file, 0, SEEK_END) == 0) size = ftell(file);
    if (size <= 0) {
        fclose(file);
        return 0;
    }
    *source = LinkSource{file, uint64_t(size), readFromStdio};
    return 1;
}

void closeStdio(LinkSource* source) {
    fclose(static_cast<FILE*>(source->context));
}

} // namespace

const LinkFileOps kStdioLinkFiles = {openStdio, closeStdio};

void wlParam2buf(char* buf, int n, uint32_t wParam, uint32_t lParam) {
    if (n >= 1 && n <= int(kInstanceMaxChunk)) {
        for (int i = 0; i < n; i++) {
            const ChunkPlace& place = kChunkPlaces[i];
            buf[i] = char((place.inWParam ? wParam : lParam) >> place.shift);
        }
    }
    if (n >= 0) buf[n] = 0;
}

void buf2wlParam(const char* chunk, int n, uint32_t* wParam, uint32_t* lParam) {
    *wParam = 0;
    *lParam = 0;
    for (int i = 0; i < n && i < int(kInstanceMaxChunk); i++) {
        const ChunkPlace& place = kChunkPlaces[i];
        uint32_t bits = uint32_t(uint8_t(chunk[i])) << place.shift;
        *(place.inWParam ? wParam : lParam) |= bits;
    }
}

int InstanceMessage(unsigned offset, uint32_t wParam, uint32_t lParam) {
    if (offset == kInstanceControl) {
        if (wParam == kInstanceStart) memset(instBuf, 0, sizeof instBuf);
        return wParam == kInstanceEnd;
    }
    if (offset > kInstanceControl && offset <= kInstanceControl + kInstanceMaxChunk) {
        char chunk[kInstanceMaxChunk + 1];
        int n = int(offset - kInstanceControl);
        wlParam2buf(chunk, n, wParam, lParam);
        // A zero inside the chunk ends what is appended; what does not fit goes.
        appendBounded(instBuf, chunk, strlen(chunk), kInstanceBufSize);
    }
    return 0;
}

int BuildInstanceMessages(const char* name, int chunkSize, InstanceMsg* out, int capacity) {
    size_t length = strlen(name);
    if (chunkSize < 1 || chunkSize > int(kInstanceMaxChunk) || length == 0 ||
        length >= size_t(kInstanceBufSize))
        return 0;
    size_t chunks = (length + size_t(chunkSize) - 1) / size_t(chunkSize);
    if (capacity < 0 || chunks + 2 > size_t(capacity)) return 0;
    int count = 0;
    out[count++] = {kInstanceControl, kInstanceStart, 0};
    for (size_t at = 0; at < length; at += size_t(chunkSize)) {
        int n = int(length - at < size_t(chunkSize) ? length - at : size_t(chunkSize));
        InstanceMsg& msg = out[count++];
        msg.offset = kInstanceControl + unsigned(n);
        buf2wlParam(name + at, n, &msg.wParam, &msg.lParam);
    }
    out[count++] = {kInstanceControl, kInstanceEnd, 0};
    return count;
}

void AppPathFromCommandLine(const char* commandLine, const char* currentDir, char* folder,
                            char* name, int capacity) {
    if (capacity <= 0) return;
    folder[0] = name[0] = 0;
    // The program path: quoted, or up to the first space.
    char path[kInstanceBufSize * 2];
    const int pathCapacity = capacity < int(sizeof path) ? capacity : int(sizeof path);
    const char* start = commandLine;
    const char* end;
    if (*start == '"') {
        start++;
        end = strchr(start, '"');
    } else {
        end = strchr(start, ' ');
    }
    copyBounded(path, start, end ? size_t(end - start) : strlen(start), pathCapacity);

    if (!strchr(path, ':') && strncmp(path, "\\\\", 2) != 0) {
        copyBounded(folder, currentDir, strlen(currentDir), capacity < 257 ? capacity : 257);
        const char* rest = path;
        if (startsAtDriveRoot(rest)) {
            cutAtFirstBackslash(folder);
            appendBounded(folder, rest, strlen(rest), capacity);
        } else {
            if (strncmp(rest, "..\\", 3) == 0) {
                for (; strncmp(rest, "..\\", 3) == 0; rest += 3) cutAtLastBackslash(folder);
            } else if (strncmp(rest, ".\\", 2) == 0) {
                rest += 2;
            }
            appendSubPath(folder, rest, capacity);
        }
    } else {
        copyBounded(folder, path, strlen(path), capacity);
    }

    char* lastBackslash = strrchr(folder, '\\');
    if (!lastBackslash) return;
    copyBounded(name, lastBackslash + 1, strlen(lastBackslash + 1), capacity);
    lastBackslash[1] = 0;
    if (char* dot = strrchr(name, '.')) *dot = 0;
}

LinkSource LinkSourceFromMemory(MemoryLinkSource* memory) {
    return LinkSource{memory, memory->size, readFromMemory};
}

void StripNameQuotes(char* name) {
    if (name[0] != '"') return;
    size_t i = 0;
    for (; name[i + 1] && name[i + 1] != '"'; i++) name[i] = name[i + 1];
    name[i] = 0;
}

int IsLinkName(const char* name) {
    const char* dot = strrchr(name, '.');
    if (!dot) return 0;
    const char* expected = ".lnk";
    for (int i = 0; i < 5; i++) {
        char c = dot[i];
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        if (c != expected[i]) return 0;
    }
    return 1;
}

int ReadLinkTarget(const LinkSource* source, char* target) {
    uint8_t header[kLinkHeaderSize];
    if (!readExactly(source, 0, header, sizeof header)) return 0;
    if (le32(header) != kLinkHeaderSize ||
        memcmp(header + kLinkClassIdAt, kLinkClassId, sizeof kLinkClassId) != 0)
        return 0;
    const uint32_t linkFlags = le32(header + kLinkFlagsAt);
    uint64_t at = kLinkHeaderSize;
    if (linkFlags & kLinkHasIdList) {
        uint8_t idListSize[2];
        if (!readExactly(source, at, idListSize, 2)) return 0;
        at += 2 + le16(idListSize);
    }
    // Without link information or a local base path (a network target) the
    // name stays as it is.
    if (!(linkFlags & kLinkHasLinkInfo)) return 0;
    uint8_t info[kInfoMinHeaderSize];
    if (!readExactly(source, at, info, sizeof info)) return 0;
    const uint32_t infoSize = le32(info + kInfoSizeAt);
    const uint32_t infoHeaderSize = le32(info + kInfoHeaderSizeAt);
    if (infoHeaderSize < kInfoMinHeaderSize || infoHeaderSize > infoSize ||
        infoSize > source->size - at)
        return 0;
    if (!(le32(info + kInfoFlagsAt) & kInfoHasLocalBasePath)) return 0;
    const uint64_t infoEnd = at + infoSize;
    const uint32_t basePathAt = le32(info + kInfoLocalBasePathAt);
    if (basePathAt < infoHeaderSize) return 0;
    char path[kInstanceBufSize];
    int length = readText(source, at + basePathAt, infoEnd, path, kInstanceBufSize);
    if (length <= 0) return 0;
    // The full target is the base path plus the common suffix, which is
    // usually empty; a suffix that cannot be read is left off.
    const uint32_t suffixAt = le32(info + kInfoPathSuffixAt);
    char suffix[kInstanceBufSize];
    if (suffixAt >= infoHeaderSize &&
        readText(source, at + suffixAt, infoEnd, suffix, kInstanceBufSize) > 0) {
        if (strlen(path) + strlen(suffix) >= size_t(kInstanceBufSize)) return 0;
        strcat(path, suffix);
    }
    memcpy(target, path, strlen(path) + 1);
    return 1;
}

int ResolveLinkName(char* name, const LinkFileOps* files) {
    StripNameQuotes(name);
    if (!IsLinkName(name)) return 0;
    LinkSource source;
    if (!files->open(name, &source)) return 0;
    int resolved = source.size > 0 && ReadLinkTarget(&source, name);
    files->close(&source);
    return resolved;
}
