#include "protocols/CtpHdsFraming.h"

#include <gtest/gtest.h>

namespace zadari {
namespace {

TEST(SplitReplyLines, CutsOnlyAtCrLfAndKeepsEmptyAndLastLines) {
    EXPECT_EQ(SplitReplyLines("REPLY\r\n-ip 1\r\n\r\nlast"),
              (TTextLines{"REPLY", "-ip 1", "", "last"}));
    EXPECT_EQ(SplitReplyLines("a\rb\nc\r\n"), (TTextLines{"a\rb\nc", ""}));
    EXPECT_EQ(SplitReplyLines(""), (TTextLines{""}));
}

TEST(GetCtpValue, FirstLineWithTheNameAsPrefixWinsAndOneSeparatorIsSkipped) {
    const TTextLines lines = {"REPLY", "-ddnsuser bob", "-ddns host.example", "-ip", "-sn X"};
    std::string value;
    ASSERT_TRUE(GetCtpValue("-ddns", lines, value));
    EXPECT_EQ(value, "ser bob"); // the -ddnsuser line minus its first six characters
    ASSERT_TRUE(GetCtpValue("-ddnsuser", lines, value));
    EXPECT_EQ(value, "bob");
    ASSERT_TRUE(GetCtpValue("-ip", lines, value));
    EXPECT_EQ(value, "");
    ASSERT_TRUE(GetCtpValue("-sn", lines, value));
    EXPECT_EQ(value, "X");
}

TEST(GetCtpValue, MissingNameLeavesTheValueAlone) {
    std::string value = "before";
    EXPECT_FALSE(GetCtpValue("-mac", {"REPLY", " -mac 00", "-MAC 11"}, value));
    EXPECT_EQ(value, "before");
}

TEST(GetHdsValue, KeyIncludesItsEqualsSignAndIsCaseSensitive) {
    const TTextLines lines = {"HDS/1.0 200 OK", "ip=10.0.0.9", "IPX=1",
                              "IP=10.0.0.2",    "IP=10.0.0.3", "MASK="};
    std::string value;
    ASSERT_TRUE(GetHdsValue("IP=", lines, value));
    EXPECT_EQ(value, "10.0.0.2");
    ASSERT_TRUE(GetHdsValue("MASK=", lines, value));
    EXPECT_EQ(value, "");
    value = "kept";
    EXPECT_FALSE(GetHdsValue("Gateway=", lines, value));
    EXPECT_EQ(value, "kept");
}

TEST(BuildCtpCommand, CountCoversTheEmptyLineArgumentsAndClosingLine) {
    // 100 bytes after the empty line (98 bytes of argument line and the closing CR LF): 102.
    const std::string argument = "-name " + std::string(90, 'n') + "\r\n"; // 98 bytes
    ASSERT_EQ(argument.size(), 98u);
    const std::string message = BuildCtpCommand("setip", argument);
    EXPECT_EQ(message, "CMD setip CTP/1.0\r\nContent-Length: 102\r\n\r\n" + argument + "\r\n");
}

TEST(BuildHdsSearch, ExactText) {
    EXPECT_EQ(BuildHdsSearch("0123ABCD-0000-1111-2222-333344445555"),
              "SEARCH * HDS/1.0\r\nCSeq:1\r\nClient-ID:0123ABCD-0000-1111-2222-333344445555\r\n"
              "Accept-Type:text/HDP\r\nContent-Length:0\r\n\r\n");
}

TEST(BuildHdsCommand, CountsOnlyTheCommandLineAndEndsWithTwoLineEnds) {
    const std::string line = "httpport set -httpport"; // 22 bytes
    ASSERT_EQ(line.size(), 22u);
    EXPECT_EQ(BuildHdsCommand("ID", "admin", "pw", "DEV1", line),
              "CMD * HDS/1.0\r\nCSeq:2\r\nClient-ID:ID\r\nAccept-Type:text/HDP\r\n"
              "Authorization:Basic admin:pw\r\nDevice-ID:DEV1\r\nContent-Length:22\r\n\r\n"
              "httpport set -httpport\r\n\r\n");
}

TEST(HasLineBreak, FindsCrOrLf) {
    EXPECT_FALSE(HasLineBreak("cam 1"));
    EXPECT_TRUE(HasLineBreak("cam\r"));
    EXPECT_TRUE(HasLineBreak("\ncam"));
}

} // namespace
} // namespace zadari
