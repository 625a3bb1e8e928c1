// Runs the real incbake binary the build uses, in a scratch folder, with no
// keyboard behind it (stdin from /dev/null), and checks files and console text.
#ifndef _WIN32
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const std::string kBinary = VANTORIX_INCBAKE_PATH;
const std::string kPrompt = "\n Beliebige Taste dr\xC3\xBC"
                            "cken...\n";

struct TempDir {
    std::string path;
    TempDir() {
        char tmpl[] = "/tmp/incbake_test_XXXXXX";
        const char* made = mkdtemp(tmpl);
        path = made ? made : "";
    }
    ~TempDir() {
        std::error_code ec;
        if (!path.empty()) fs::remove_all(path, ec);
    }
    std::string operator/(const std::string& name) const { return path + "/" + name; }
};

std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

void writeFile(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
}

std::string readFile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

struct RunResult {
    int code;
    std::string console;
};

// shellPrefix runs first in the same shell (limits, for example).
RunResult runIncbake(const std::string& dir, const std::vector<std::string>& args,
                     const std::string& binary = kBinary, const std::string& shellPrefix = "") {
    std::string consoleFile = dir + ".console";
    std::string cmd = shellPrefix + "cd " + quote(dir) + " && " + quote(binary);
    for (const std::string& a : args) {
        cmd += ' ';
        cmd += quote(a);
    }
    cmd += " </dev/null >" + quote(consoleFile) + " 2>&1";
    int status = system(cmd.c_str());
    RunResult r{WIFEXITED(status) ? WEXITSTATUS(status) : -1000, readFile(consoleFile)};
    unlink(consoleFile.c_str());
    return r;
}

std::string converted(const std::string& name, long long n) {
    return "\n Konvertiere Datei '" + name + "'\n  " + std::to_string(n) + " Bytes geschrieben.\n";
}

} // namespace

TEST(IncbakeTool, SmallFilesExactLayout) {
    TempDir d;
    ASSERT_FALSE(d.path.empty());
    writeFile(d / "x.bin", "abc");
    std::string twentyOne;
    for (int i = 0; i < 21; ++i) twentyOne += char(i * 12);
    writeFile(d / "t.bin", twentyOne);
    writeFile(d / "e.bin", "");

    RunResult r = runIncbake(d.path, {"x.bin", "t.bin", "e.bin"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.console, converted("x.bin", 3) + converted("t.bin", 21) + converted("e.bin", 0));

    EXPECT_EQ(readFile(d / "x.h"), "/* Datei x.bin als Include */\n"
                                   "\n"
                                   "#define x_LEN  3\n"
                                   "\n"
                                   "unsigned char x[x_LEN] =\n"
                                   "{\n"
                                   " 97, 98, 99\n"
                                   "};\n");
    EXPECT_EQ(readFile(d / "t.h"),
              "/* Datei t.bin als Include */\n\n#define t_LEN  21\n\nunsigned char t[t_LEN] =\n{\n"
              "  0, 12, 24, 36, 48, 60, 72, 84, 96,108,120,132,144,156,168,180,192,204,216,228,\n"
              "240\n};\n");
    EXPECT_EQ(
        readFile(d / "e.h"),
        "/* Datei e.bin als Include */\n\n#define e_LEN  0\n\nunsigned char e[e_LEN] =\n{\n};\n");
}

TEST(IncbakeTool, ReadsToTheRealEndOfFilesThatReportNoSize) {
    TempDir d;
    fs::create_symlink("/proc/self/status", d / "status.bin");
    RunResult r = runIncbake(d.path, {"status.bin"});
    EXPECT_EQ(r.code, 0) << r.console;
    std::string header = readFile(d / "status.h");
    EXPECT_EQ(header.find("#define status_LEN  0\n"), std::string::npos) << header;
    // "Name:" begins the file.
    EXPECT_NE(header.find("{\n 78, 97,109,101, 58,"), std::string::npos) << header;
}

TEST(IncbakeTool, NamesWithBlanksFoldersAndOptionsPerFile) {
    TempDir d;
    writeFile(d / "my data.bin", std::string("\x07\xFF", 2));
    writeFile(d / "a.bin", "A");
    writeFile(d / "b.bin", "B");
    writeFile(d / "c.bin", "C");
    fs::create_directory(d / "d.v2");
    writeFile(d / "d.v2/raw", "R");

    RunResult r = runIncbake(d.path, {"my data.bin", "-int", "a.bin", "-char", "b.bin",
                                      "-const unsigned char", "c.bin", "d.v2/raw", "-long"});
    EXPECT_EQ(r.code, 0) << r.console;
    EXPECT_EQ(readFile(d / "my data.h"), "/* Datei my data.bin als Include */\n\n"
                                         "#define my_data_LEN  2\n\n"
                                         "unsigned char my_data[my_data_LEN] =\n{\n  7,255\n};\n");
    EXPECT_NE(readFile(d / "a.h").find("\nint a[a_LEN] =\n"), std::string::npos);
    EXPECT_NE(readFile(d / "b.h").find("\nchar b[b_LEN] =\n"), std::string::npos);
    EXPECT_NE(readFile(d / "c.h").find("\nconst unsigned char c[c_LEN] =\n"), std::string::npos);
    // A dot in the folder does not move the output out of it.
    EXPECT_NE(readFile(d / "d.v2/raw.h").find("\nconst unsigned char raw[raw_LEN] =\n{\n 82\n"),
              std::string::npos);
    EXPECT_FALSE(fs::exists(d / "d.h"));

    // Only options: nothing to do, success.
    RunResult opts = runIncbake(d.path, {"-int", "-char"});
    EXPECT_EQ(opts.code, 0);
    EXPECT_EQ(opts.console, "");

    // An existing output is overwritten, not appended to.
    writeFile(d / "a.bin", "");
    EXPECT_EQ(runIncbake(d.path, {"a.bin"}).code, 0);
    EXPECT_EQ(
        readFile(d / "a.h"),
        "/* Datei a.bin als Include */\n\n#define a_LEN  0\n\nunsigned char a[a_LEN] =\n{\n};\n");
}

TEST(IncbakeTool, IniFileBesideTheProgramOnly) {
    TempDir prog;
    TempDir work;
    std::string copy = prog / "incbake";
    fs::copy_file(kBinary, copy);
    writeFile(work / "x.bin", "x");

    // An ini file in the working folder is not the program's.
    writeFile(work / "incbake.ini", "[Incbake]\nvartyp=int\n");
    EXPECT_EQ(runIncbake(work.path, {"x.bin"}, copy).code, 0);
    EXPECT_NE(readFile(work / "x.h").find("\nunsigned char x[x_LEN] ="), std::string::npos);

    writeFile(prog / "incbake.ini", "; generated\r\n[Other]\r\nvartyp=long\r\n"
                                    "[ INCBAKE ]\r\n  VarTyp =  const uint8_t  \r\n");
    EXPECT_EQ(runIncbake(work.path, {"x.bin"}, copy).code, 0);
    EXPECT_NE(readFile(work / "x.h").find("\nconst uint8_t x[x_LEN] =\n"), std::string::npos);

    // The option still wins for the files after it.
    writeFile(work / "y.bin", "y");
    EXPECT_EQ(runIncbake(work.path, {"x.bin", "-short", "y.bin"}, copy).code, 0);
    EXPECT_NE(readFile(work / "x.h").find("\nconst uint8_t x[x_LEN]"), std::string::npos);
    EXPECT_NE(readFile(work / "y.h").find("\nshort y[y_LEN]"), std::string::npos);

    // Started through a relative path, the program still finds its own folder.
    fs::create_directory(work / "sub");
    std::string rel = "../../" + fs::path(prog.path).filename().string() + "/incbake";
    EXPECT_EQ(runIncbake(work / "sub", {"../x.bin"}, rel).code, 0);
    EXPECT_NE(readFile(work / "x.h").find("\nconst uint8_t x[x_LEN]"), std::string::npos);

    // A type longer than the buffer in the ini file is refused before any work.
    writeFile(prog / "incbake.ini", "[Incbake]\nvartyp=" + std::string(255, 't') + "\n");
    RunResult r = runIncbake(work.path, {"y.bin"}, copy);
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.console, "\n Der Variablentyp '" + std::string(255, 't') +
                             "' ist zu lang (mehr als 254 Zeichen)\n" + kPrompt);
}

TEST(IncbakeTool, ErrorsEndTheRunWithMinusOne) {
    TempDir d;
    RunResult usage = runIncbake(d.path, {});
    EXPECT_EQ(usage.code, 255);
    EXPECT_EQ(usage.console,
              "Diese Programm konvertiert beliebige Dateien als C-Includedateien *.h\n"
              "\nAufruf mit Komandozeilenparametern:\n"
              "   incbake [-vartyp] quelldatei [quelldatei2]...\n" +
                  kPrompt);

    // A missing source stops the run: earlier outputs stay, later files are not touched.
    writeFile(d / "a.bin", "a");
    writeFile(d / "b.bin", "b");
    RunResult missing = runIncbake(d.path, {"a.bin", "nope.bin", "b.bin"});
    EXPECT_EQ(missing.code, 255);
    EXPECT_EQ(missing.console, converted("a.bin", 1) +
                                   "\n Konvertiere Datei 'nope.bin'"
                                   "\n Kann die Datei 'nope.bin' nicht \xC3\xB6"
                                   "ffnen\n" +
                                   kPrompt);
    EXPECT_TRUE(fs::exists(d / "a.h"));
    EXPECT_FALSE(fs::exists(d / "b.h"));
    EXPECT_FALSE(fs::exists(d / "nope.h"));

    // A folder is no source.
    fs::create_directory(d / "dir.bin");
    EXPECT_EQ(runIncbake(d.path, {"dir.bin"}).code, 255);
    EXPECT_FALSE(fs::exists(d / "dir.h"));

    // Pipes and devices are refused before a byte is read: a pipe would block
    // the run, /dev/zero would never end.
    ASSERT_EQ(mkfifo((d / "pipe.bin").c_str(), 0600), 0);
    fs::create_symlink("/dev/zero", d / "zero.bin");
    for (const char* name : {"pipe.bin", "zero.bin"}) {
        RunResult device = runIncbake(d.path, {name});
        EXPECT_EQ(device.code, 255);
        EXPECT_NE(device.console.find("keine gew\xC3\xB6hnliche Datei"), std::string::npos)
            << device.console;
    }

    // A source that already reports more than the limit is refused unread; a
    // run that read it first would pass the memory limit (sanitizer builds
    // reserve more address space than any such limit allows).
    writeFile(d / "huge.bin", "");
    fs::resize_file(d / "huge.bin", 5ull << 30); // sparse
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const std::string memoryLimit;
#else
    const std::string memoryLimit = "ulimit -v 1048576; ";
#endif
    RunResult huge = runIncbake(d.path, {"huge.bin"}, kBinary, memoryLimit);
    EXPECT_EQ(huge.code, 255);
    EXPECT_NE(huge.console.find("hat mehr als 2147483647 Bytes"), std::string::npos)
        << huge.console;

    // The output cannot be created (a folder holds its name; works as root too).
    fs::create_directory(d / "b.h");
    RunResult unwritable = runIncbake(d.path, {"b.bin"});
    EXPECT_EQ(unwritable.code, 255);
    EXPECT_EQ(unwritable.console, "\n Konvertiere Datei 'b.bin'"
                                  "\n Kann die Datei b.h nicht schreiben\n" +
                                      kPrompt);

    // "q.h" would become its own output: refused, and the source survives.
    writeFile(d / "q.h", "keep me");
    RunResult self = runIncbake(d.path, {"q.h"});
    EXPECT_EQ(self.code, 255);
    EXPECT_NE(self.console.find("Kann die Datei q.h nicht schreiben"), std::string::npos);
    EXPECT_EQ(readFile(d / "q.h"), "keep me");
}

TEST(IncbakeTool, OverlongNamesAreRefusedNotCut) {
    TempDir d;
    // 254 characters is the longest name that works.
    std::string fits = std::string(250, 'n') + ".bin";
    writeFile(d / fits, "z");
    RunResult ok = runIncbake(d.path, {fits});
    EXPECT_EQ(ok.code, 0) << ok.console;
    EXPECT_TRUE(fs::exists(d / (std::string(250, 'n') + ".h")));

    std::string longSrc = "sub/" + std::string(251, 's');
    RunResult r = runIncbake(d.path, {longSrc});
    EXPECT_EQ(r.code, 255);
    EXPECT_EQ(r.console, "\n Konvertiere Datei '" + longSrc + "'\n Der Name '" + longSrc +
                             "' ist zu lang (mehr als 254 Zeichen)\n" + kPrompt);

    // The source fits, but the name with ".h" appended does not.
    std::string noDot(253, 'o');
    writeFile(d / noDot, "o");
    RunResult out = runIncbake(d.path, {noDot});
    EXPECT_EQ(out.code, 255);
    EXPECT_NE(out.console.find("Der Name '" + noDot + ".h' ist zu lang"), std::string::npos);

    std::string longType = "-" + std::string(255, 'T');
    RunResult t = runIncbake(d.path, {longType, fits});
    EXPECT_EQ(t.code, 255);
    EXPECT_EQ(t.console, "\n Der Variablentyp '" + longType.substr(1) +
                             "' ist zu lang (mehr als 254 Zeichen)\n" + kPrompt);
}

TEST(IncbakeTool, RandomFileRoundTrip) {
    TempDir d;
    std::mt19937 rng(1234);
    std::string bytes(10 * 1024 + 7, '\0');
    for (char& c : bytes) c = char(rng() & 0xFF);
    writeFile(d / "r.dat", bytes);
    ASSERT_EQ(runIncbake(d.path, {"r.dat"}).code, 0);

    std::string h = readFile(d / "r.h");
    EXPECT_NE(h.find("\n#define r_LEN  10247\n"), std::string::npos);
    size_t open = h.find("\n{\n");
    size_t close = h.rfind("\n};\n");
    ASSERT_NE(open, std::string::npos);
    ASSERT_NE(close, std::string::npos);
    ASSERT_EQ(close + 4, h.size());
    std::istringstream body(h.substr(open + 3, close - open - 3));
    std::string line;
    std::string back;
    size_t lines = 0;
    while (std::getline(body, line)) {
        ++lines;
        // Every field is a number in three columns, separated by commas only.
        for (size_t pos = 0; pos < line.size(); pos += 4) {
            std::string field = line.substr(pos, 3);
            ASSERT_EQ(field.size(), 3u) << "line " << lines;
            int v = std::stoi(field);
            ASSERT_GE(v, 0);
            ASSERT_LE(v, 255);
            back += char(v);
            if (pos + 3 < line.size()) {
                ASSERT_EQ(line[pos + 3], ',');
            }
        }
    }
    EXPECT_EQ(lines, (bytes.size() + 19) / 20);
    EXPECT_EQ(back, bytes);
}

// The C compiler is the real consumer of the header: it must compile and hold
// the file's bytes.
TEST(IncbakeTool, GeneratedHeaderCompiles) {
    if (system("command -v cc >/dev/null 2>&1") != 0) GTEST_SKIP() << "no C compiler";
    TempDir d;
    std::mt19937 rng(99);
    std::string bytes(3001, '\0');
    for (char& c : bytes) c = char(rng() & 0xFF);
    writeFile(d / "blob.bin", bytes);
    ASSERT_EQ(runIncbake(d.path, {"-const unsigned char", "blob.bin"}).code, 0);
    writeFile(d / "dump.c", "#include <stdio.h>\n#include \"blob.h\"\n"
                            "int main(void) {\n"
                            "    if (sizeof blob != blob_LEN) return 2;\n"
                            "    return fwrite(blob, 1, blob_LEN, stdout) == blob_LEN ? 0 : 1;\n"
                            "}\n");
    std::string cmd = "cd " + quote(d.path) + " && cc -std=c99 -Wall -Werror -o dump dump.c" +
                      " && ./dump > dumped.bin";
    ASSERT_EQ(system(cmd.c_str()), 0);
    EXPECT_EQ(readFile(d / "dumped.bin"), bytes);
}

namespace {
// Starts incbake without arguments on a fresh pseudo-terminal as stdin; stdout
// goes to the terminal as well when bothOnTerminal, else to a file.
struct PtyRun {
    int master = -1;
    pid_t pid = -1;
    bool start(const std::string& dir, bool bothOnTerminal) {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return false;
        std::string slave = ptsname(master);
        std::string out = dir + "/console.txt";
        pid = fork();
        if (pid == 0) {
            setsid();
            int s = open(slave.c_str(), O_RDWR);
            int o = bothOnTerminal ? s : open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (s < 0 || o < 0) _exit(120);
            dup2(s, 0);
            dup2(o, 1);
            dup2(o, 2);
            execl(kBinary.c_str(), kBinary.c_str(), (char*)nullptr);
            _exit(121);
        }
        return pid > 0;
    }
    // Reads what the program shows until text appears or about ten seconds pass.
    std::string readUntil(const std::string& text) {
        std::string seen;
        for (int i = 0; i < 100 && seen.find(text) == std::string::npos; ++i) {
            pollfd p{master, POLLIN, 0};
            if (poll(&p, 1, 100) > 0) {
                char buf[512];
                ssize_t n = read(master, buf, sizeof buf);
                if (n > 0) seen.append(buf, size_t(n));
            }
        }
        return seen;
    }
    // Exit code, or -1 when the program is still running after about ten seconds.
    int finish() {
        int status = 0;
        for (int i = 0; i < 1000; ++i) {
            if (waitpid(pid, &status, WNOHANG) == pid)
                return WIFEXITED(status) ? WEXITSTATUS(status) : -2;
            usleep(10000);
        }
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        return -1;
    }
    // Whatever the terminal still holds for the reader, without waiting.
    std::string drain() {
        std::string seen;
        pollfd p{master, POLLIN, 0};
        char buf[512];
        ssize_t n;
        while (poll(&p, 1, 0) > 0 && (n = read(master, buf, sizeof buf)) > 0)
            seen.append(buf, size_t(n));
        return seen;
    }
    // True once the program has switched echo off, i.e. sits in its key read.
    bool waitEchoOff() {
        for (int i = 0; i < 1000; ++i) {
            termios t;
            if (tcgetattr(master, &t) == 0 && !(t.c_lflag & ECHO)) return true;
            usleep(10000);
        }
        return false;
    }
    ~PtyRun() {
        if (master >= 0) close(master);
    }
};
} // namespace

TEST(IncbakeTool, KeyWaitOnlyWithAPersonAtTheTerminal) {
    TempDir d;
    // Keyboard present but the prompt goes to a file (a build log): no wait.
    PtyRun logged;
    ASSERT_TRUE(logged.start(d.path, false));
    EXPECT_EQ(logged.finish(), 255) << "must not wait for a key";
    EXPECT_NE(readFile(d / "console.txt").find(kPrompt), std::string::npos);

    // Both on the terminal: the program waits for one key and does not echo it.
    PtyRun person;
    ASSERT_TRUE(person.start(d.path, true));
    std::string shown = person.readUntil("cken...");
    ASSERT_NE(shown.find("Beliebige Taste"), std::string::npos) << shown;
    ASSERT_TRUE(person.waitEchoOff()) << "never switched to a raw key read";
    EXPECT_EQ(waitpid(person.pid, nullptr, WNOHANG), 0) << "ended without a key";
    ASSERT_EQ(write(person.master, "k", 1), 1);
    EXPECT_EQ(person.finish(), 255);
    EXPECT_EQ(person.drain().find('k'), std::string::npos) << "the key was echoed";
    termios t;
    ASSERT_EQ(tcgetattr(person.master, &t), 0);
    EXPECT_TRUE(t.c_lflag & ECHO) << "terminal left without echo";
}
#endif
