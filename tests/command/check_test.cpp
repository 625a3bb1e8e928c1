#include "command/check.h"

#include "support/cli_run.h"
#include "support/uf2_writer.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {
// Model 1 (80 x 160) upright unless a case turns it.
std::vector<CheckFinding> check(const std::string& text) {
    return checkCommandText(text.c_str(), text.size(), "/no/such/folder/", {1, 0});
}

struct KindCase {
    const char* kind;
    std::string text;
    int line, column;
};

const KindCase kindCases[] = {
    {"unknown-command", "#DC\n#ZZ 1,2\n", 2, 1},
    {"unknown-command", "#DC\n#D", 2, 1},
    {"unknown-command", "#\n#DC\n", 1, 1}, // its letters are the line end and the next "#"
    {"missing-parameter", "#FA 1,2,3,4,5\n", 1, 14},
    {"missing-parameter", "#TP 1,2,\"\"\n", 1, 11},
    {"trailing-text", "#DC #DF 1,2,3\n", 1, 5},
    {"trailing-text", "#TS 1,2,3,4\n", 1, 11},
    {"stray-text", "#DC\n  DF 1,2,3\n", 2, 3},
    {"negative-number", "#TS 1,-5,20\n", 1, 7},
    {"overflow", "#TS 70000,0,20\n", 1, 5},
    {"overflow", "#TS $10000,0,20\n", 1, 5},
    {"colour-range", "#TC 1,2,3, 4,5,$FFFF\n", 1, 16},
    {"unclosed-quote", "#TL \"abc\n", 1, 5},
    {"long-text", "#TL \"" + std::string(256, 'a') + "\"\n", 1, 5},
    {"missing-picture", "#BM 0,0 ; none\n", 1, 9},
    {"runaway-bitmap", "#DC\n#BM 0,0\n#DC\n", 2, 1},
    {"bad-picture", "#BM 0,0,\"none.png\"\n", 1, 9},
    {"bad-bitmap", "#BM 0,0,BM\x10\x27\x00\x00 short"s, 1, 9},
    {"bad-bitmap", "#BM 0,0,BM\x10\x00\x00\x00\n"s, 1, 9},
    {"angle", "#DO 45\n", 1, 5},
    {"font", "#TF 7,1,1\n", 1, 5},
    {"font", "#TF 16,1,5\n", 1, 10},
    {"empty-fill", "#FA 1,2,3, 80,0, 90,10\n", 1, 12},
    {"empty-fill", "#DO 90\n#FA 1,2,3, 10,80, 20,90\n", 2, 15},
    {"empty-fill", "#FA 1,2,3, 10,10, 5,20\n", 1, 19},
    {"screen", "\x1bS 4\n", 1, 4},
    {"screen",
     "\x1b"
     "D 9\n",
     1, 4},
    {"nul-byte", "#DC\n\0#DC\n"s, 2, 1},
};
} // namespace

TEST(Check, EachKindIsFoundWhereItStands) {
    for (const KindCase& c : kindCases) {
        std::vector<CheckFinding> findings = check(c.text);
        ASSERT_EQ(findings.size(), 1u) << c.kind << ": " << c.text;
        EXPECT_STREQ(findings[0].kind, c.kind) << c.text << ": " << findings[0].message;
        EXPECT_EQ(findings[0].line, c.line) << c.text;
        EXPECT_EQ(findings[0].column, c.column) << c.text;
        EXPECT_EQ(findings[0].message.find('\n'), std::string::npos) << findings[0].message;
        EXPECT_TRUE(isCheckKind(c.kind));
    }
}

TEST(Check, WhatTheInterpreterTakesAsMeantIsNoFinding) {
    const char* clean[] = {
        "\xEF\xBB\xBF#DC\r\n; comment\n\n#DF $FF,%1010,0, ; red\n",
        "#FA 1,2,3, 70,150, 1000,1000\n", // reaching past the edges is clipped by design
        "#DO 90\n#FA 1,2,3, 100,10, 159,79\n",
        "#TP 0,0,'say \"hi\"',13,10\n#TF 60,4,1\n\x1b"
        "D 0\n",
        "#TS $FFF6,0,20\n#TL \"x\";\n",
    };
    for (const char* text : clean) {
        std::vector<CheckFinding> findings = check(text);
        EXPECT_TRUE(findings.empty()) << text << ": " << findings[0].kind;
    }
}

TEST(Check, FilesAreCheckedByTheirKind) {
    clitest::TempDir dir;
    writeFile(dir.file("good.uf2"), makeUf2(uf2FamilyRP2040, 3));
    std::vector<uint8_t> broken = makeUf2(uf2FamilyRP2350ArmSecure, 3);
    broken.pop_back();
    writeFile(dir.file("cut.uf2"), broken);
    writeFile(dir.file("picture.bmp"), makeBmp24(2, 2, [](int, int) { return 0x123456u; }));
    dir.write("broken.png", "not a png");
    dir.write("uses.txt", "#BM 0,0,\"picture.bmp\"\n");
    const char* clean[] = {"good.uf2", "picture.bmp", "uses.txt"};
    for (const char* name : clean)
        EXPECT_TRUE(checkFile(dir.file(name).c_str(), {1, 0}).empty()) << name;
    const std::pair<const char*, const char*> found[] = {{"cut.uf2", "bad-uf2"},
                                                         {"broken.png", "bad-picture"},
                                                         {"missing.txt", "unreadable"},
                                                         {"notes.doc", "unreadable"}};
    for (const auto& [name, kind] : found) {
        std::vector<CheckFinding> findings = checkFile(dir.file(name).c_str(), {1, 0});
        ASSERT_EQ(findings.size(), 1u) << name;
        EXPECT_STREQ(findings[0].kind, kind);
        EXPECT_EQ(findings[0].line, 0);
    }
}
