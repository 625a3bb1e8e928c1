#include "command/reader.h"

#include <gtest/gtest.h>

#include <string>

namespace {
struct Cursor {
    std::string text;
    const char* p;
    explicit Cursor(std::string t) : text(std::move(t)), p(text.c_str()) {}
    size_t offset() const { return size_t(p - text.c_str()); }
};
} // namespace

TEST(ReaderNextline, StopsOnNulOrAfterLineFeed) {
    Cursor noLf("abc");
    nextline(&noLf.p);
    EXPECT_EQ(noLf.offset(), 3u);
    nextline(&noLf.p);
    EXPECT_EQ(noLf.offset(), 3u) << "never past the NUL";

    Cursor twoLines("abc\ndef");
    nextline(&twoLines.p);
    EXPECT_EQ(*twoLines.p, 'd');
}

TEST(ReaderValues, SeparatorsStopCharactersAndMissingNumbers) {
    Cursor c(" , 12 ;");
    EXPECT_EQ(getnextvalue(&c.p), 12);
    EXPECT_EQ(c.offset(), 5u) << "left on the blank before ';'";
    EXPECT_EQ(getnextvalue(&c.p), 0);
    EXPECT_EQ(*c.p, ';');
    EXPECT_EQ(getnextvalue(&c.p), 0);
    EXPECT_EQ(*c.p, ';');

    Cursor endOfLine("\n5");
    EXPECT_EQ(getnextvalue(&endOfLine.p), 0);
    EXPECT_EQ(*endOfLine.p, '\n');

    Cursor letters("12abc 7");
    EXPECT_EQ(getnextvalue(&letters.p), 12);
    EXPECT_EQ(getnextvalue(&letters.p), 7);

    Cursor minus("-5");
    EXPECT_EQ(getnextvalue(&minus.p), 5) << "'-' is a separator";
}

TEST(ReaderValues, NumberFormsAndSixteenBitCut) {
    struct Case {
        const char* text;
        int16_t value;
        size_t stop;
    };
    const Case cases[] = {
        {"$FF", 255, 3},    {"$ffff", -1, 5}, {"$7FFF", 32767, 5},  {"$10000", 0, 6},
        {"%1010", 10, 5},   {"%", 0, 1},      {"%102", 2, 3},       {"010", 10, 3},
        {"70000", 4464, 5}, {"65535", -1, 5}, {"40000", -25536, 5}, {"65536", 0, 5},
        {"$g", 0, 1},       {"$ 1F", 31, 1},  {"\"5", 0, 0},        {"4294967297", 1, 10},
    };
    for (const Case& k : cases) {
        Cursor c(k.text);
        EXPECT_EQ(getvalue(&c.p), k.value) << k.text;
        EXPECT_EQ(c.offset(), k.stop) << k.text;
    }
}

TEST(ReaderString, QuotesNumbersAndEnds) {
    char out[256];
    {
        Cursor c("'a\"b'");
        EXPECT_EQ(getString(&c.p, out), 3);
        EXPECT_STREQ(out, "a\"b");
    }
    {
        Cursor c("\"one\";\"two\"");
        EXPECT_EQ(getString(&c.p, out), 3);
        EXPECT_STREQ(out, "one");
        EXPECT_EQ(*c.p, ';');
    }
    {
        Cursor c("\"hello\r\n");
        EXPECT_EQ(getString(&c.p, out), 5);
        EXPECT_STREQ(out, "hello");
        EXPECT_EQ(*c.p, '\n');
    }
    {
        Cursor c("\"A\tB 7\"");
        EXPECT_EQ(getString(&c.p, out), 2);
        EXPECT_EQ(out[0], 'A');
        EXPECT_EQ(out[1], 7);
    }
    {
        Cursor c("65 \"B\" $43");
        EXPECT_EQ(getString(&c.p, out), 3);
        EXPECT_STREQ(out, "ABC");
    }
    {
        Cursor c("\"abcdef\" 13,10 \"xy\"");
        EXPECT_EQ(getString(&c.p, out), 10);
        EXPECT_EQ(std::string(out, 10), "abcdef\r\nxy");
    }
    {
        Cursor c("\"\"");
        EXPECT_EQ(getString(&c.p, out), 0);
        EXPECT_STREQ(out, "");
    }
    {
        Cursor c("0 \"x\"");
        EXPECT_EQ(getString(&c.p, out), 2) << "a NUL from a number is counted";
    }
}

TEST(ReaderString, LongArgumentsAreCutNotOverflowed) {
    std::string longText = "\"" + std::string(300, 'q') + "\" 65\nnext";
    Cursor c(longText);
    char out[257];
    out[256] = 0x5A;
    EXPECT_EQ(getString(&c.p, out, 256), 255);
    EXPECT_EQ(std::string(out), std::string(255, 'q'));
    EXPECT_EQ(out[256], 0x5A) << "nothing written past the buffer";
    EXPECT_EQ(*c.p, '\n') << "the whole argument is still consumed";
}

TEST(ReaderString, UnclosedQuoteAtEndOfTextStopsOnNul) {
    Cursor c("\"abc");
    char out[256];
    EXPECT_EQ(getString(&c.p, out), 3);
    EXPECT_EQ(*c.p, 0);
}
