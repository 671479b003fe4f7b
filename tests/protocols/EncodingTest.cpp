#include "protocols/Encoding.h"
#include "protocols/DevInfo.h"

#include <gtest/gtest.h>

namespace zadari {
namespace {

TEST(BytesToHex, WritesTwoUpperCaseDigitsPerByte) {
    const std::uint8_t bytes[] = {0x00, 0x0A, 0xFF};
    EXPECT_EQ(BytesToHex(bytes, 3), "000AFF");
    EXPECT_EQ(BytesToHex(TByteView{}), "");
}

TEST(HexToBytes, ReadsUpperCaseButNotLowerCaseLetters) {
    EXPECT_EQ(HexToBytes("000AFF", 3), (TBytes{0x00, 0x0A, 0xFF}));
    // 'a' is 97 and 'f' 102: they count as 42 and 47, so "0a" gives 42 and "ff" 47*16+47 mod 256.
    EXPECT_EQ(HexToBytes("000aff", 3), (TBytes{0x00, 42, (47 * 16 + 47) % 256}));
}

TEST(HexToBytes, MissingDigitsCountAsZero) {
    EXPECT_EQ(HexToBytes("12A", 3), (TBytes{0x12, 0xA0, 0x00}));
    EXPECT_EQ(HexToBytes("", 2), (TBytes{0x00, 0x00}));
}

TEST(MacKeyOf, RemovesSeparatorsTurnsBlanksToZeroAndUpperCases) {
    EXPECT_EQ(MacKeyOf("00:1a-2B:3c 4d"), "001A2B3C04D");
    EXPECT_EQ(MacKeyOf("00-1a-2b-3c-4d-5e"), "001A2B3C4D5E");
    EXPECT_EQ(MacKeyOf(""), "");
}

TEST(PutItem, CopiesTemplateOrTagLengthAndValue) {
    const TBytes row = {0x20, 0x04, 0xAA, 0xBB, 0xCC, 0xDD};
    TBytes msg;
    PutItem(msg, row, 6);
    EXPECT_EQ(msg, row);

    const TBytes value = {1, 2, 3, 4, 5};
    msg.clear();
    PutItem(msg, row, value, 6);
    EXPECT_EQ(msg, (TBytes{0x20, 0x04, 1, 2, 3, 4}));

    const TBytes shortValue = {9};
    msg.clear();
    PutItem(msg, row, shortValue, 4);
    EXPECT_EQ(msg, (TBytes{0x20, 0x04, 9, 0}));
}

TEST(SplitText, KeepsEmptyPiecesAndAppends) {
    struct Case {
        const char* text;
        const char* separator;
        std::vector<std::string> pieces;
    };
    const Case cases[] = {
        {"a,b,", ",", {"a", "b", ""}}, {"", ",", {""}},           {"abc", ",", {"abc"}},
        {"a,b", "", {"a,b"}},          {",,", ",", {"", "", ""}}, {"a\r\nb", "\r\n", {"a", "b"}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> list;
        SplitText(c.text, c.separator, list);
        EXPECT_EQ(list, c.pieces) << c.text;
    }
    std::vector<std::string> list{"kept"};
    SplitText("x", ",", list);
    EXPECT_EQ(list, (std::vector<std::string>{"kept", "x"}));
}

TEST(CompareText, FoldsOnlyAsciiLettersAndSortsPrefixFirst) {
    EXPECT_EQ(CompareText("abc", "ABC"), 0);
    EXPECT_LT(CompareText("ab", "abc"), 0);
    EXPECT_GT(CompareText("b", "A"), 0);
    // '_' (0x5F) lies after 'Z' but before 'a'; folding makes 'a' compare as 'A' (0x41).
    EXPECT_GT(CompareText("_", "a"), 0);
    EXPECT_NE(CompareText("\xE9", "\xC9"), 0);
}

TEST(FamilyLetters, FollowsTheFamilyTable) {
    const std::pair<int, const char*> table[] = {
        {0, "E"},  {1, "M"}, {2, "F"}, {3, "F1"},    {4, "H"}, {5, "E"}, {6, "V"},
        {7, "F2"}, {8, "H"}, {9, "T"}, {999, "NAS"}, {-1, ""}, {10, ""}, {1000, ""}};
    for (const auto& [code, letters] : table)
        EXPECT_EQ(FamilyLetters(code), letters) << code;
}

} // namespace
} // namespace zadari
