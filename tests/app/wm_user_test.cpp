// Instance messages, the program's path and shortcut targets.
#include "app/wm_user.h"
#include "support/lnk_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

void deliver(const std::string& name, int chunkSize) {
    InstanceMsg msgs[kInstanceMaxMessages];
    int count = BuildInstanceMessages(name.c_str(), chunkSize, msgs, kInstanceMaxMessages);
    ASSERT_GT(count, 0);
    for (int i = 0; i < count; i++)
        EXPECT_EQ(InstanceMessage(msgs[i].offset, msgs[i].wParam, msgs[i].lParam), i == count - 1);
}

void sendChunk(const char* text) {
    uint32_t w, l;
    int n = int(strlen(text));
    buf2wlParam(text, n, &w, &l);
    InstanceMessage(kInstanceControl + unsigned(n), w, l);
}

TEST(InstanceMessages, ChunkBytesComeFromTheTablePlaces) {
    char buf[10];
    memset(buf, 'x', sizeof buf);
    // wParam bytes 0..3 = 'a' 'c' 'g' 'h', lParam bytes 0..3 = 'b' 'd' 'e' 'f'.
    wlParam2buf(buf, 8, 0x68676361, 0x66656462);
    EXPECT_STREQ(buf, "abcdefgh");
    wlParam2buf(buf, 3, 0x6A43, 0x3A);
    EXPECT_STREQ(buf, "C:j");
    memset(buf, 'x', sizeof buf);
    wlParam2buf(buf, 9, 0x41414141, 0x41414141);
    EXPECT_EQ(std::string(buf, 10), std::string("xxxxxxxxx") + '\0');
    wlParam2buf(buf, 0, 0x41414141, 0x41414141);
    EXPECT_EQ(buf[0], 0);
}

TEST(InstanceMessages, EveryChunkSizeDeliversTheName) {
    const std::string name = "C:\\Some Folder\\picture file.png";
    for (int chunk = 1; chunk <= 8; chunk++) {
        deliver(name, chunk);
        EXPECT_EQ(std::string(instBuf), name) << "chunk " << chunk;
    }
    deliver("C:\\a.txt", 8);
    EXPECT_STREQ(instBuf, "C:\\a.txt");
    InstanceMessage(kInstanceControl, kInstanceStart, 0);
    sendChunk("C:\\a.t");
    sendChunk("xt");
    EXPECT_STREQ(instBuf, "C:\\a.txt");
}

TEST(InstanceMessages, StartDiscardsAndOtherControlValuesAreIgnored) {
    InstanceMessage(kInstanceControl, kInstanceStart, 0);
    sendChunk("old");
    InstanceMessage(kInstanceControl, kInstanceStart, 0);
    sendChunk("new");
    EXPECT_EQ(InstanceMessage(kInstanceControl, 1, 0), 0);
    EXPECT_EQ(InstanceMessage(kInstanceControl + 9, 0x41, 0x41), 0);
    EXPECT_STREQ(instBuf, "new");
    // Without a start the text is appended to what is left.
    sendChunk("er");
    EXPECT_STREQ(instBuf, "newer");
    // A zero inside a chunk ends what is appended.
    InstanceMessage(kInstanceControl + 4, 'a', 0x6200);
    EXPECT_STREQ(instBuf, "newera");
}

TEST(InstanceMessages, TextPast255CharactersIsDropped) {
    InstanceMessage(kInstanceControl, kInstanceStart, 0);
    for (int i = 0; i < 40; i++) sendChunk("01234567");
    EXPECT_EQ(strlen(instBuf), 255u);
    EXPECT_EQ(instBuf[255], 0);
    EXPECT_EQ(instBuf[254], '6');
}

TEST(InstanceMessages, SenderRefusesWhatCannotArriveWhole) {
    InstanceMsg msgs[kInstanceMaxMessages];
    EXPECT_EQ(BuildInstanceMessages("a", 0, msgs, kInstanceMaxMessages), 0);
    EXPECT_EQ(BuildInstanceMessages("a", 9, msgs, kInstanceMaxMessages), 0);
    EXPECT_EQ(BuildInstanceMessages("", 8, msgs, kInstanceMaxMessages), 0);
    EXPECT_EQ(BuildInstanceMessages(std::string(256, 'a').c_str(), 1, msgs, kInstanceMaxMessages),
              0);
    EXPECT_EQ(BuildInstanceMessages(std::string(255, 'a').c_str(), 1, msgs, kInstanceMaxMessages),
              257);
    EXPECT_EQ(BuildInstanceMessages("abcdefghi", 8, msgs, 3), 0);
    ASSERT_EQ(BuildInstanceMessages("abcdefghi", 8, msgs, 4), 4);
    EXPECT_EQ(msgs[1].offset, kInstanceControl + 8);
    EXPECT_EQ(msgs[2].offset, kInstanceControl + 1);
}

struct AppPath {
    std::string folder, name;
};

AppPath appPath(const char* commandLine, const char* currentDir, int capacity = 255) {
    char folder[600], name[600];
    memset(folder, 'x', sizeof folder);
    memset(name, 'x', sizeof name);
    AppPathFromCommandLine(commandLine, currentDir, folder, name, capacity);
    return {folder, name};
}

TEST(AppPath, RelativeForms) {
    AppPath p = appPath(".\\prog.exe", "C:\\work\\bin");
    EXPECT_EQ(p.folder, "C:\\work\\bin\\");
    EXPECT_EQ(p.name, "prog");
    p = appPath("..\\..\\bin\\prog", "C:\\a\\b\\c");
    EXPECT_EQ(p.folder, "C:\\a\\bin\\");
    EXPECT_EQ(p.name, "prog");
    p = appPath("\\tools\\Vantorix.exe file.txt", "D:\\work\\x");
    EXPECT_EQ(p.folder, "D:\\tools\\");
    EXPECT_EQ(p.name, "Vantorix");
    p = appPath("sub\\my.prog.exe", "C:\\w");
    EXPECT_EQ(p.folder, "C:\\w\\sub\\");
    EXPECT_EQ(p.name, "my.prog");
    // The root of a drive comes with its backslash; it is not doubled.
    p = appPath(".\\prog.exe", "C:\\");
    EXPECT_EQ(p.folder, "C:\\");
    EXPECT_EQ(p.name, "prog");
}

TEST(AppPath, AbsoluteQuotedAndNetworkPaths) {
    AppPath p = appPath("\"C:\\Program Files\\V\\Vantorix.exe\" \"a b.txt\"", "C:\\x");
    EXPECT_EQ(p.folder, "C:\\Program Files\\V\\");
    EXPECT_EQ(p.name, "Vantorix");
    p = appPath("\\\\server\\share\\tool.exe", "C:\\x");
    EXPECT_EQ(p.folder, "\\\\server\\share\\");
    EXPECT_EQ(p.name, "tool");
    p = appPath("C:prog.exe", "C:\\x");
    EXPECT_EQ(p.folder, "C:prog.exe");
    EXPECT_EQ(p.name, "");
}

TEST(AppPath, OutputsStayWithinTheirCapacity) {
    std::string deep = "C:\\" + std::string(300, 'd') + "\\prog.exe";
    AppPath p = appPath(deep.c_str(), "C:\\x", 20);
    EXPECT_EQ(p.folder, "C:\\");
    EXPECT_EQ(p.name, std::string(16, 'd')); // 19 characters taken
    std::string longDir = "C:\\" + std::string(400, 'w');
    p = appPath(".\\prog.exe", longDir.c_str(), 255);
    EXPECT_LE(p.folder.size(), 254u);
    EXPECT_LE(p.name.size(), 254u);
}

std::string target(const std::vector<uint8_t>& bytes) {
    // An exact-size copy, so that reading past the end is caught by ASan.
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size() ? bytes.size() : 1]);
    if (!bytes.empty()) memcpy(copy.get(), bytes.data(), bytes.size());
    MemoryLinkSource memory{copy.get(), bytes.size()};
    LinkSource source = LinkSourceFromMemory(&memory);
    char name[256] = "unchanged";
    ReadLinkTarget(&source, name);
    return name;
}

TEST(ShellLinks, TargetWithAnyIdListAndSuffix) {
    LnkContent s;
    for (int idList : {-1, 0, 1, 300, 65535}) {
        s.idListSize = idList;
        EXPECT_EQ(target(makeLnk(s)), s.localBasePath) << idList;
    }
    s.localBasePath = "C:\\data\\";
    s.pathSuffix = "pictures\\x.png";
    s.infoHeaderSize = 36;
    EXPECT_EQ(target(makeLnk(s)), "C:\\data\\pictures\\x.png");
    s.localBasePath = std::string(255, 'p');
    s.pathSuffix.clear();
    EXPECT_EQ(target(makeLnk(s)), s.localBasePath);
    s.localBasePath += "q";
    EXPECT_EQ(target(makeLnk(s)), "unchanged");
}

TEST(ShellLinks, NoLocalTargetLeavesTheNameUnchanged) {
    LnkContent s;
    s.withLinkInfo = false;
    EXPECT_EQ(target(makeLnk(s)), "unchanged");
    s.withLinkInfo = true;
    s.withLocalPath = false;
    EXPECT_EQ(target(makeLnk(s)), "unchanged");
    s.withLocalPath = true;
    s.localBasePath.clear();
    EXPECT_EQ(target(makeLnk(s)), "unchanged");
}

TEST(ShellLinks, DamagedFilesNeverReadPastTheirEnd) {
    LnkContent s;
    s.idListSize = 20;
    LnkLayout layout;
    const std::vector<uint8_t> good = makeLnk(s, &layout);
    for (size_t length = 0; length < good.size(); length++) {
        std::vector<uint8_t> cut(good.begin(), good.begin() + long(length));
        std::string got = target(cut);
        EXPECT_TRUE(got == "unchanged" || got == s.localBasePath) << length;
    }
    auto damaged = [&](size_t at, uint32_t value, int bytes) {
        std::vector<uint8_t> b = good;
        lnkPut(b, at, value, bytes);
        return target(b);
    };
    EXPECT_EQ(damaged(0, 75, 4), "unchanged");                           // header size
    EXPECT_EQ(damaged(19, 0x47, 1), "unchanged");                        // class identifier
    EXPECT_EQ(damaged(76, 0xFFFF, 2), "unchanged");                      // ID list too long
    EXPECT_EQ(damaged(layout.linkInfoAt, 0xFFFFFFF0, 4), "unchanged");   // info size
    EXPECT_EQ(damaged(layout.linkInfoAt + 4, 8, 4), "unchanged");        // info header size
    EXPECT_EQ(damaged(layout.linkInfoAt + 16, 4, 4), "unchanged");       // base path inside header
    EXPECT_EQ(damaged(layout.linkInfoAt + 16, 0x10000, 4), "unchanged"); // base path past the end
    // A base path that runs to the end of the link information without its zero.
    std::vector<uint8_t> b = good;
    lnkPut(b, layout.linkInfoAt, uint32_t(b.size() - 4 - layout.linkInfoAt - 2), 4);
    lnkPut(b, layout.linkInfoAt + 24, 0, 4);
    EXPECT_EQ(target(b), "unchanged");
}

TEST(ShellLinks, NamesAreUnquotedAndOnlyShortcutsResolved) {
    char name[256] = "\"C:\\x\\file.txt\"";
    EXPECT_EQ(ResolveLinkName(name, &kStdioLinkFiles), 0);
    EXPECT_STREQ(name, "C:\\x\\file.txt");
    strcpy(name, "\"open");
    StripNameQuotes(name);
    EXPECT_STREQ(name, "open");
    EXPECT_EQ(IsLinkName("a.LNK"), 1);
    EXPECT_EQ(IsLinkName("a.lnk.txt"), 0);
    EXPECT_EQ(IsLinkName("a.lnkx"), 0);
    EXPECT_EQ(IsLinkName("lnk"), 0);

    std::string path = testing::TempDir() + "vantorix_" + std::to_string(getpid()) + ".Lnk";
    LnkContent s;
    s.idListSize = 5;
    std::vector<uint8_t> bytes = makeLnk(s);
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
    snprintf(name, sizeof name, "\"%s\"", path.c_str());
    EXPECT_EQ(ResolveLinkName(name, &kStdioLinkFiles), 1);
    EXPECT_EQ(std::string(name), s.localBasePath);
    // An empty file and a missing one are left as they are.
    fclose(fopen(path.c_str(), "wb"));
    snprintf(name, sizeof name, "%s", path.c_str());
    EXPECT_EQ(ResolveLinkName(name, &kStdioLinkFiles), 0);
    remove(path.c_str());
    EXPECT_EQ(ResolveLinkName(name, &kStdioLinkFiles), 0);
    EXPECT_EQ(std::string(name), path);
}

} // namespace
