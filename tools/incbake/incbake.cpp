// incbake: turns any file into a C include file (a length macro and a byte
// array in decimal). Used at build time to embed fonts and pictures, so it must
// be fast on big files and must never sit waiting for a key inside a build.
#ifndef _WIN32
#define _FILE_OFFSET_BITS 64
#endif

#include "incbake_core.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#include <conio.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace {

// ---- platform seams: everything that differs between Windows and Linux ----

#ifdef _WIN32
const char* const NL = "\r\n";
#else
const char* const NL = "\n";
#endif

// Umlauts of the messages: OEM bytes on a Windows console (code pages 437 and
// 850 agree on them), UTF-8 where the terminal expects UTF-8.
const char* UE = "\xC3\xBC";
const char* OE = "\xC3\xB6";
const char* AE = "\xC3\xA4";

void consoleInit() {
#ifdef _WIN32
    if (GetConsoleOutputCP() != CP_UTF8) {
        UE = "\x81";
        OE = "\x94";
        AE = "\x84";
    }
#endif
}

// Waits for one key without echo, but only when a person can see the prompt and
// answer it: with input or output redirected (a build, a script) it returns at once.
void waitKey() {
#ifdef _WIN32
    if (!_isatty(_fileno(stdin)) || !_isatty(_fileno(stdout))) return;
    _getch();
#else
    if (!isatty(STDIN_FILENO) || !isatty(STDOUT_FILENO)) return;
    termios saved;
    if (tcgetattr(STDIN_FILENO, &saved) != 0) return;
    termios raw = saved;
    // ISIG off too: Ctrl+C then counts as the key, as with _getch, and the
    // terminal is never left without echo.
    raw.c_lflag &= tcflag_t(~(ICANON | ECHO | ISIG));
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw) != 0) return;
    unsigned char c;
    ssize_t r;
    do r = read(STDIN_FILENO, &c, 1);
    while (r < 0 && errno == EINTR);
    tcsetattr(STDIN_FILENO, TCSANOW, &saved);
#endif
}

#ifndef _WIN32
// Where a shell found a program started by its bare name.
std::string searchPath(const char* name) {
    const char* path = getenv("PATH");
    if (!path) return std::string();
    for (const char* p = path;;) {
        const char* end = strchr(p, ':');
        std::string dir = end ? std::string(p, size_t(end - p)) : std::string(p);
        std::string cand = (dir.empty() ? std::string(".") : dir) + "/" + name;
        if (access(cand.c_str(), X_OK) == 0) return cand;
        if (!end) break;
        p = end + 1;
    }
    return std::string();
}
#endif

// The program's own folder with its final separator (empty: current folder).
// Returns 0 when it cannot be held in a name buffer.
int appFolder(const char* argv0, std::string& folder) {
#ifdef _WIN32
    (void)argv0;
    char cur[256];
    DWORD n = GetCurrentDirectoryA(sizeof cur, cur);
    if (n == 0 || n >= sizeof cur) return 0;
    return appFolderFromCommandLine(GetCommandLineA(), cur, folder);
#else
    std::string path;
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf);
    if (n > 0 && size_t(n) < sizeof buf)
        path.assign(buf, size_t(n));
    else if (argv0 && strchr(argv0, '/'))
        path = argv0;
    else if (argv0 && *argv0)
        path = searchPath(argv0);
    size_t slash = path.rfind('/');
    folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
    return folder.size() <= INCBAKE_NAME_MAX;
#endif
}

// Why a source was not read.
enum SourceProblem {
    SOURCE_OK,
    SOURCE_CANNOT_OPEN,
    SOURCE_NOT_A_FILE,
    SOURCE_TOO_LARGE,
    SOURCE_READ_FAILED
};

// The length macro is a 32-bit signed count.
const unsigned long long SOURCE_MAX_BYTES = 0x7FFFFFFF;

// Opens a source for binary reading, but only a regular file: a pipe or a
// device could keep the build waiting or never end. On Linux the file is
// opened without waiting (a pipe would wait for a writer) and checked before
// a byte is read.
FILE* openSource(const char* name, SourceProblem* problem) {
    *problem = SOURCE_CANNOT_OPEN;
#ifdef _WIN32
    FILE* f = fopen(name, "rb");
    if (!f) return nullptr;
    // Consoles ("CON"), pipes and other devices are not disk files.
    HANDLE handle = HANDLE(_get_osfhandle(_fileno(f)));
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        fclose(f);
        *problem = SOURCE_NOT_A_FILE;
        return nullptr;
    }
    LARGE_INTEGER size;
    if (GetFileSizeEx(handle, &size) && (unsigned long long)size.QuadPart > SOURCE_MAX_BYTES) {
        fclose(f);
        *problem = SOURCE_TOO_LARGE;
        return nullptr;
    }
#else
    int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return nullptr;
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        // A folder is a file that cannot be opened, as on Windows.
        bool folder = fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
        close(fd);
        *problem = folder ? SOURCE_CANNOT_OPEN : SOURCE_NOT_A_FILE;
        return nullptr;
    }
    if ((unsigned long long)st.st_size > SOURCE_MAX_BYTES) {
        close(fd);
        *problem = SOURCE_TOO_LARGE;
        return nullptr;
    }
    FILE* f = fdopen(fd, "rb");
    if (!f) {
        close(fd);
        return nullptr;
    }
#endif
    *problem = SOURCE_OK;
    return f;
}

// Reads the source to its real end: files under /proc report 0 bytes, and a
// file may change between asking its size and reading it.
SourceProblem readSource(FILE* f, std::vector<unsigned char>& bytes) {
    bytes.clear();
    const size_t block = 256 * 1024;
    for (;;) {
        size_t had = bytes.size();
        bytes.resize(had + block);
        size_t got = fread(bytes.data() + had, 1, block, f);
        bytes.resize(had + got);
        if (bytes.size() > SOURCE_MAX_BYTES) return SOURCE_TOO_LARGE;
        if (got < block) break;
    }
    return ferror(f) ? SOURCE_READ_FAILED : SOURCE_OK;
}

// True when writing outName would truncate the open source itself ("x.h").
bool sameFile(FILE* src, const char* srcName, const char* outName) {
#ifdef _WIN32
    (void)src;
    return _stricmp(srcName, outName) == 0;
#else
    (void)srcName;
    struct stat a, b;
    if (fstat(fileno(src), &a) != 0 || stat(outName, &b) != 0) return false;
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
#endif
}

// ---- the tool ----

int failAfterKey() {
    printf("\n Beliebige Taste dr%scken...\n", UE);
    fflush(stdout);
    waitKey();
    return 0;
}

int refuseName(const char* name) {
    printf("\n Der Name '%s' ist zu lang (mehr als %d Zeichen)\n", name, INCBAKE_NAME_MAX);
    return failAfterKey();
}

int refuseSource(const char* src, SourceProblem problem) {
    if (problem == SOURCE_NOT_A_FILE)
        printf("\n Die Datei '%s' ist keine gew%shnliche Datei (ein Ger%st, eine Pipe)\n", src, OE,
               AE);
    else if (problem == SOURCE_TOO_LARGE)
        printf("\n Die Datei '%s' hat mehr als %llu Bytes\n", src, SOURCE_MAX_BYTES);
    else if (problem == SOURCE_READ_FAILED)
        printf("\n Kann die Datei '%s' nicht lesen\n", src);
    else
        printf("\n Kann die Datei '%s' nicht %sffnen\n", src, OE);
    return failAfterKey();
}

// Reused for every file: the whole source, and room for one block's formatted text.
const size_t CHUNK = 256 * 1024;
std::vector<unsigned char> inBuf;
std::vector<char> outBuf;

bool writeAll(FILE* f, const char* p, size_t n) {
    return fwrite(p, 1, n, f) == n;
}

// Converts one file. Returns 1 on success; 0 after the error message and the
// key prompt, when the run must end.
int convertFile(const char* src, const char* varType) {
    printf("\n Konvertiere Datei '%s'", src);
    fflush(stdout);
    if (strlen(src) > INCBAKE_NAME_MAX) return refuseName(src);
    std::string outName, varName;
    if (!makeOutName(src, outName)) {
        std::string full = src;
        return refuseName((full + ".h").c_str());
    }
    if (!makeVarName(outName.c_str(), varName)) return refuseName(outName.c_str());

    SourceProblem problem;
    FILE* in = openSource(src, &problem);
    if (in) {
        problem = readSource(in, inBuf);
        // Opening "x.h" for writing would wipe the source: checked while it is open.
        if (problem == SOURCE_OK && sameFile(in, src, outName.c_str())) {
            fclose(in);
            printf("\n Kann die Datei %s nicht schreiben\n", outName.c_str());
            return failAfterKey();
        }
        fclose(in);
    }
    if (problem != SOURCE_OK) return refuseSource(src, problem);
    FILE* out = fopen(outName.c_str(), "wb");
    if (!out) {
        printf("\n Kann die Datei %s nicht schreiben\n", outName.c_str());
        return failAfterKey();
    }

    long long size = (long long)inBuf.size();
    std::string head = formatHead(src, varName.c_str(), varType, size, NL);
    bool writeOk = writeAll(out, head.data(), head.size());
    for (size_t done = 0; writeOk && done < inBuf.size(); done += CHUNK) {
        size_t n = inBuf.size() - done < CHUNK ? inBuf.size() - done : CHUNK;
        size_t chars = formatBytes(inBuf.data() + done, n, done, NL, outBuf.data());
        writeOk = writeAll(out, outBuf.data(), chars);
    }
    if (writeOk) {
        std::string tail = formatTail(NL);
        writeOk = writeAll(out, tail.data(), tail.size());
    }
    if (fclose(out) != 0) writeOk = false;
    if (!writeOk) {
        // A half-written header must not be mistaken for a good one by the next build.
        remove(outName.c_str());
        printf("\n Kann die Datei %s nicht schreiben\n", outName.c_str());
        return failAfterKey();
    }
    printf("\n  %lld Bytes geschrieben.\n", size);
    return 1;
}

int run(int argc, char** argv) {
    consoleInit();
    if (argc < 2) {
        printf("Diese Programm konvertiert beliebige Dateien als C-Includedateien *.h\n");
        printf("\nAufruf mit Komandozeilenparametern:\n");
        printf("   incbake [-vartyp] quelldatei [quelldatei2]...\n");
        failAfterKey();
        return -1;
    }

    std::string folder;
    std::string iniPath;
    if (appFolder(argv[0], folder)) iniPath = folder + "incbake.ini";
    if (iniPath.empty() || iniPath.size() > INCBAKE_NAME_MAX) {
        printf("\n Der Pfad der Datei incbake.ini ist zu lang (mehr als %d Zeichen)\n",
               INCBAKE_NAME_MAX);
        failAfterKey();
        return -1;
    }
    std::string varType;
    std::string iniText;
    if (FILE* f = fopen(iniPath.c_str(), "rb")) {
        char block[4096];
        size_t n;
        while ((n = fread(block, 1, sizeof block, f)) > 0) iniText.append(block, n);
        fclose(f);
    }
    iniGetString(iniText.data(), iniText.size(), "Incbake", "vartyp", "unsigned char", varType);
    if (varType.size() > INCBAKE_NAME_MAX) {
        printf("\n Der Variablentyp '%s' ist zu lang (mehr als %d Zeichen)\n", varType.c_str(),
               INCBAKE_NAME_MAX);
        failAfterKey();
        return -1;
    }

    outBuf.resize(formatBytesBound(CHUNK, strlen(NL)));
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] == '-') {
            if (strlen(arg + 1) > INCBAKE_NAME_MAX) {
                printf("\n Der Variablentyp '%s' ist zu lang (mehr als %d Zeichen)\n", arg + 1,
                       INCBAKE_NAME_MAX);
                failAfterKey();
                return -1;
            }
            varType = arg + 1;
        } else if (!convertFile(arg, varType.c_str())) {
            return -1;
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    return run(argc, argv);
}
