#include "incbake_core.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {
std::string outName(const char* src) {
    std::string out;
    EXPECT_EQ(makeOutName(src, out), 1) << src;
    return out;
}
std::string varName(const char* out) {
    std::string var;
    EXPECT_EQ(makeVarName(out, var), 1) << out;
    return var;
}
std::string ini(const std::string& text, const char* section = "Incbake",
                const char* key = "vartyp") {
    std::string v;
    iniGetString(text.data(), text.size(), section, key, "unsigned char", v);
    return v;
}
std::string folderOf(const char* cmdLine, const char* cur) {
    std::string folder;
    EXPECT_EQ(appFolderFromCommandLine(cmdLine, cur, folder), 1) << cmdLine;
    return folder;
}
} // namespace

TEST(IncbakeNames, OutputAndVariableNames) {
    EXPECT_EQ(outName("x.bin"), "x.h");
    EXPECT_EQ(outName("archive.tar.gz"), "archive.tar.h");
    EXPECT_EQ(outName("noext"), "noext.h");
    EXPECT_EQ(outName("my data.bin"), "my data.h");
    EXPECT_EQ(outName("..\\fonts\\f.zpf"), "..\\fonts\\f.h");
    EXPECT_EQ(outName("../fonts/f.zpf"), "../fonts/f.h");
    // A dot in a folder name never decides the output: "d.v2/data" stays in d.v2.
    EXPECT_EQ(outName("d.v2/data"), "d.v2/data.h");
    EXPECT_EQ(outName("d.v2\\data"), "d.v2\\data.h");
    EXPECT_EQ(outName("./x"), "./x.h");

    EXPECT_EQ(varName("x.h"), "x");
    EXPECT_EQ(varName("my data.h"), "my_data");
    EXPECT_EQ(varName("a b  c.h"), "a_b__c");
    EXPECT_EQ(varName("..\\fonts\\f.h"), "f");
    EXPECT_EQ(varName("../fonts/f.h"), "f");
    EXPECT_EQ(varName("dir/font-8x8.v1.h"), "font-8x8.v1") << "other characters stay";
}

TEST(IncbakeNames, LengthLimitsAreExact) {
    std::string out;
    std::string src(INCBAKE_NAME_MAX - 2, 'a'); // no dot: ".h" appended, exactly 254
    EXPECT_EQ(makeOutName(src.c_str(), out), 1);
    EXPECT_EQ(out.size(), size_t(INCBAKE_NAME_MAX));
    src += 'a';
    EXPECT_EQ(makeOutName(src.c_str(), out), 0);
    std::string var;
    std::string longOut(INCBAKE_NAME_MAX + 1, 'v');
    EXPECT_EQ(makeVarName(longOut.c_str(), var), 0);
    longOut += ".h";
    EXPECT_EQ(makeVarName(longOut.c_str(), var), 0);
}

TEST(IncbakeIni, ProfileLookupSemantics) {
    EXPECT_EQ(ini(""), "unsigned char");
    EXPECT_EQ(ini("[Incbake]\nvartyp=int\n"), "int");
    EXPECT_EQ(ini("[ incbake ]\r\n  VarTyp  =  const uint8_t  \r\n"), "const uint8_t");
    EXPECT_EQ(ini("\xEF\xBB\xBF[Incbake]\nvartyp=char"), "char") << "BOM, no final line end";
    EXPECT_EQ(ini("[Other]\nvartyp=int\n[Incbake]\nx=1\n"), "unsigned char");
    EXPECT_EQ(ini("vartyp=int\n[Incbake]\n"), "unsigned char") << "keys before any section";
    EXPECT_EQ(ini("[Incbake]\nvartyp=\"signed char\"\n"), "signed char");
    EXPECT_EQ(ini("[Incbake]\nvartyp='short'\n"), "short");
    EXPECT_EQ(ini("[Incbake]\nvartyp=\"x\n"), "\"x") << "unpaired quote stays";
    EXPECT_EQ(ini("[Incbake]\nvartyp=a=b\n"), "a=b") << "split at the first '='";
    EXPECT_EQ(ini("[Incbake]\nvartyp=int\nvartyp=long\n"), "int") << "first match wins";
    EXPECT_EQ(ini("[Incbake]\n;vartyp=int\nvartyp\nvartyp=long\n"), "long");
    EXPECT_EQ(ini("[Incbake]\nvartyp=\n"), "") << "a present empty key is not the default";
    EXPECT_EQ(ini("[Incbake\nvartyp=int\n"), "int") << "unclosed bracket still names it";

    std::string v = "keep";
    EXPECT_EQ(iniGetString("[A]\nk=1", 7, "A", "k", "d", v), 1);
    EXPECT_EQ(v, "1");
    EXPECT_EQ(iniGetString("[A]\nk=1", 7, "A", "j", "d", v), 0);
    EXPECT_EQ(v, "d");
    // The length is honoured: nothing past it is read.
    EXPECT_EQ(iniGetString("[A]\nk=12345", 8, "A", "k", "d", v), 1);
    EXPECT_EQ(v, "12");
}

TEST(IncbakeAppFolder, CommandLineRule) {
    const char* cur = "C:\\work\\proj";
    EXPECT_EQ(folderOf("\"C:\\Program Files\\tools\\incbake.exe\" a.bin", cur),
              "C:\\Program Files\\tools\\");
    EXPECT_EQ(folderOf("C:\\tools\\incbake.exe a.bin", cur), "C:\\tools\\");
    EXPECT_EQ(folderOf("\\\\server\\share\\incbake.exe", cur), "\\\\server\\share\\");
    EXPECT_EQ(folderOf("\\tools\\incbake x", cur), "C:\\tools\\");
    EXPECT_EQ(folderOf("..\\bin\\incbake x", cur), "C:\\work\\bin\\");
    EXPECT_EQ(folderOf("..\\..\\incbake x", cur), "C:\\");
    EXPECT_EQ(folderOf("..\\..\\..\\..\\incbake", cur), "C:\\") << "never above the drive";
    EXPECT_EQ(folderOf(".\\incbake.exe x", cur), "C:\\work\\proj\\");
    EXPECT_EQ(folderOf("bin\\incbake.exe", cur), "C:\\work\\proj\\bin\\");
    EXPECT_EQ(folderOf("incbake x.bin", cur), "C:\\work\\proj\\");
    EXPECT_EQ(folderOf("incbake", "C:\\"), "C:\\") << "root folder keeps one backslash";
    EXPECT_EQ(folderOf("../bin/incbake x", cur), "C:\\work\\bin\\") << "forward slashes";
    EXPECT_EQ(folderOf("\"unterminated\\incbake", cur), "C:\\work\\proj\\unterminated\\");
    EXPECT_EQ(folderOf("", cur), "C:\\work\\proj\\");

    std::string folder;
    std::string longToken(INCBAKE_NAME_MAX + 1, 'a');
    EXPECT_EQ(appFolderFromCommandLine(("C:\\" + longToken).c_str(), cur, folder), 0);
    std::string longDir = "C:\\" + std::string(INCBAKE_NAME_MAX, 'd');
    EXPECT_EQ(appFolderFromCommandLine("incbake", longDir.c_str(), folder), 0);
}

TEST(IncbakeLayout, HeadTailAndBytesInPieces) {
    EXPECT_EQ(formatHead("x.bin", "x", "unsigned char", 3, "\n"),
              "/* Datei x.bin als Include */\n\n#define x_LEN  3\n\nunsigned char x[x_LEN] =\n{");
    EXPECT_EQ(formatHead("a b.c", "a_b", "int", 5000000000LL, "\r\n"),
              "/* Datei a b.c als Include */\r\n\r\n#define a_b_LEN  5000000000\r\n\r\n"
              "int a_b[a_b_LEN] =\r\n{");
    EXPECT_EQ(formatTail("\r\n"), "\r\n};\r\n");

    std::vector<unsigned char> data(45);
    for (size_t i = 0; i < data.size(); ++i) data[i] = (unsigned char)(i * 37 + 5);
    data[0] = 0;
    data[1] = 7;
    data[2] = 99;
    data[3] = 100;
    data[4] = 255;
    std::vector<char> whole(formatBytesBound(data.size(), 2));
    size_t n = formatBytes(data.data(), data.size(), 0, "\r\n", whole.data());
    std::string all(whole.data(), n);
    ASSERT_EQ(all.substr(0, 22), "\r\n  0,  7, 99,100,255,");
    // Line ends after the 20th and 40th numbers, preceded by a comma.
    EXPECT_EQ(all.substr(2 + 20 * 4 - 1, 3), ",\r\n");
    EXPECT_EQ(all.size(), 45u * 3 + 44 + 3 * 2) << "no comma after the last number";

    // The result must not depend on how the file was cut into read blocks.
    for (size_t cut : {1u, 19u, 20u, 21u, 40u, 44u}) {
        std::vector<char> buf(formatBytesBound(data.size(), 2));
        size_t a = formatBytes(data.data(), cut, 0, "\r\n", buf.data());
        size_t b = formatBytes(data.data() + cut, data.size() - cut, cut, "\r\n", buf.data() + a);
        EXPECT_EQ(std::string(buf.data(), a + b), all) << "cut at " << cut;
    }
    char none[1] = {'#'};
    EXPECT_EQ(formatBytes(data.data(), 0, 0, "\n", none), 0u);
    EXPECT_EQ(none[0], '#');
}
