#include <gtest/gtest.h>

#include <string>

#include "platform/CodePage.h"
#include "tools/korvane-payload/Payload.h"
#include "utils/mUtils.h"

using namespace cp936::literals;

namespace {

TEST(FieldText, HexTextGivesTwoLowerCaseDigitsPerByte) {
    EXPECT_EQ(HexText("abc"), "616263");
    EXPECT_EQ(HexText(std::string("\x00\x0f\x80\xff", 4)), "000f80ff");
    EXPECT_EQ(HexText(""), "");
}

TEST(FieldText, ScrambleTextFollowsTheKeyByteByByte) {
    // Key 0: the high byte is 0, so the first byte passes unchanged.
    EXPECT_EQ(ScrambleText("a", 0), "61");
    // 'a' ^ 0x01 = 0x60; key (256 + 0x60) * 11 + 12 = 3884, high byte 0x0f; 'b' ^ 0x0f = 0x6d.
    EXPECT_EQ(ScrambleText("ab", 0x0100), "606d");
}

TEST(FieldText, AByteThatScramblesToZeroIsStoredAsItIsAndAddsNothingToTheKey) {
    // 27541 >> 8 = 107 = 'k': 'k' scrambles to 0 and is stored unchanged. The key then moves
    // on with 0: (27541 + 0) * 11 + 12 = 40819 (mod 65536), high byte 159, and 'k' ^ 159 = 0xf4.
    // Had the key taken the stored 'k', the second byte would be 0xcf.
    EXPECT_EQ(ScrambleText("kk", 27541), "6bf4");
}

TEST(FieldText, EncodeFieldTextExpandsToDecimalsThenToCodesThenScrambles) {
    // "abc" -> "97,98,99" -> "5755445756445757" -> scrambled with 27541. The expected values
    // were worked out apart from this code, step by step from the rules.
    EXPECT_EQ(EncodeFieldText("abc"), "5e9439ba19c2a9f34e64a40eb1890718");
    EXPECT_EQ(EncodeFieldText(""), "");
}

TEST(FieldText, BytesAbove127CountAsUnsigned) {
    // 255 -> "255" -> "505353"; a signed byte would give "-1" -> "4549".
    EXPECT_EQ(EncodeFieldText("\xff"), "5e9339bd1d8d");
    EXPECT_EQ(EncodeFieldText("\xa1\x80"), "5f9a38a3b081c39e62822d3eaae9");  // "161,128"
}

struct LengthCase {
    const char* what;
    std::string text;
    std::size_t length;
};

TEST(FieldText, LongestEncodedValuesOfTheStoredColumns) {
    const std::string chinese15 = "设备管理系统通用机器单位名称地"_gbk;  // 15 characters
    ASSERT_EQ(chinese15.size(), 30u);
    const LengthCase cases[] = {
        {"company name or address, 30 bytes >= 100", chinese15, 476},
        {"the word NULL", "NULL", 44},
        {"a date", "2026-12-06", 116},
        {"a postcode of six digits", "100083", 68},
        {"a postcode of six bytes >= 100", std::string(6, '\xc8'), 92},
        {"a department, 20 bytes >= 100", chinese15.substr(0, 20), 316},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(EncodeFieldText(c.text).size(), c.length) << c.what;
        EXPECT_EQ(EncodeFieldText(c.text).find_first_not_of("0123456789abcdef"), std::string::npos)
            << c.what;
    }
}

TEST(FieldText, DecodingGivesBackEveryText) {
    std::string everyByte;
    for (int b = 0; b < 256; ++b) everyByte += static_cast<char>(b);
    const std::string texts[] = {"abc",
                                 "",
                                 "k",
                                 "kkkkkkkk",
                                 everyByte,
                                 "誠信机械厂 北京市海淀区"_gbk,
                                 "C:\\Program Files\\Korvane"};
    for (const auto& text : texts) {
        EXPECT_EQ(payload::DecodeFieldText(EncodeFieldText(text)), text) << HexText(text);
    }
}

TEST(FieldText, DecodingRefusesTextsTheEncodingNeverMakes) {
    for (const char* bad : {"6", "zz", "61626364", "6BF4"}) {
        EXPECT_THROW(payload::DecodeFieldText(bad), std::runtime_error) << bad;
    }
}

}  // namespace
