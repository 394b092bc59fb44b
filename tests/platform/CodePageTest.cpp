#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/SetupError.h"

using namespace cp936::literals;

namespace {

// The code page 936 bytes are written out here: they are what the conversions are checked
// against. 誠 is D5 5C: its trail byte is the byte of "\".
const std::string kTrail5C = "\xD5\x5C";
const std::string kZhong = "\xD6\xD0";  // 中

TEST(CodePage, ConvertsBothWays) {
    EXPECT_EQ(cp936::ToUtf8(kZhong + kTrail5C), "中誠");
    EXPECT_EQ(cp936::FromUtf8("中誠"), kZhong + kTrail5C);
    EXPECT_EQ(cp936::ToUtf16(kZhong + "a"), u"中a");
    EXPECT_EQ(cp936::FromUtf8("\xEF\xBC\x8E"), "\xA3\xAE");  // full-width full stop
    EXPECT_EQ(cp936::ToUtf8(std::string("a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePage, LiteralsAreWrittenInUtf8AndHeldInCodePage936) {
    EXPECT_EQ("中誠"_gbk, kZhong + kTrail5C);
    EXPECT_EQ("C:\\a"_gbk, "C:\\a");
    EXPECT_EQ("a\0中"_gbk, std::string("a\0", 2) + kZhong);  // the whole literal, NUL included
    EXPECT_EQ(""_gbk, "");
    EXPECT_THROW("\U0001F600"_gbk, SetupError);  // an emoji has no GBK form
}

TEST(CodePage, RefusesWhatCannotBeConverted) {
    EXPECT_THROW(cp936::FromUtf8("\xF0\x9F\x98\x80"), SetupError);  // an emoji has no GBK form
    EXPECT_THROW(cp936::ToUtf8("\xD6"), SetupError);                // a lead byte cut off
    EXPECT_THROW(cp936::FromUtf8("\xC3"), SetupError);              // broken UTF-8
}

struct DelimiterCase {
    std::string text;
    std::string delimiters;
    std::string::size_type expected;
};

TEST(CodePage, FindsDelimitersByWholeCharacters) {
    const auto npos = std::string::npos;
    const DelimiterCase cases[] = {
        {"C:\\a\\b", "\\", 4},
        {"C:\\a\\b", "\\:", 4},
        {"C:", "\\:", 1},
        {"abc", "\\:", npos},
        {"", "\\", npos},
        {"C:\\" + kTrail5C, "\\", 2},  // the trail byte is not a "\"
        {"C:\\" + kTrail5C + "\\x", "\\", 5},
        {kTrail5C + kTrail5C, "\\", npos},
        {"a.b\\" + kZhong + ".txt", ".\\:", 6},  // the extension's period
        {"\xA3\xAE", ".", npos},                 // a full-width full stop is not "."
        {"ab\xD5", "\\", npos},                  // a lone lead byte at the end is a character
        {"ab\xD5\\", "\\", npos},                // ... that takes the next byte with it
    };
    for (const auto& c : cases) {
        EXPECT_EQ(cp936::LastDelimiter(c.text, c.delimiters), c.expected) << c.text;
    }
}

TEST(CodePage, FindsTheLastCharacter) {
    EXPECT_EQ(cp936::LastCharStart(""), std::string::npos);
    EXPECT_EQ(cp936::LastCharStart("ab"), 1u);
    EXPECT_EQ(cp936::LastCharStart("a" + kTrail5C), 1u);
    EXPECT_EQ(cp936::LastCharStart(kTrail5C + "\\"), 2u);
}

TEST(CodePage, TrimsBytesUpToSpaceOnly) {
    EXPECT_EQ(cp936::TrimControl("  \t\r\nab c \x01"), "ab c");
    EXPECT_EQ(cp936::TrimControl("    "), "");
    const std::string fullWidthSpace = "\xA1\xA1";
    EXPECT_EQ(cp936::TrimControl(" " + fullWidthSpace + " "), fullWidthSpace);
    EXPECT_EQ(cp936::TrimControl(std::string("\0x\0", 3)), "x");
}

TEST(SetupErrorText, FillsThePatternsPlaceholder) {
    EXPECT_EQ(FormatMessage("Field '%s' not found", "FDB"), "Field 'FDB' not found");
}

}  // namespace
