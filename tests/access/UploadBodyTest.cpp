#include "access/UploadBody.h"

#include <gtest/gtest.h>

namespace zadari {
namespace {

TEST(MultipartBoundary, EightHyphensThenFifteenDigitsOfLocalTime) {
    EXPECT_EQ(MultipartBoundary({2013, 12, 8, 14, 15, 23, 456}), "--------120813141523456");
    EXPECT_EQ(MultipartBoundary({2005, 1, 2, 3, 4, 5, 7}), "--------010205030405007");
    EXPECT_EQ(MultipartBoundary({2100, 10, 31, 23, 59, 59, 999}), "--------103100235959999");
}

TEST(MultipartBoundary, NowIsAValidTime) {
    const TBoundaryTime t = LocalBoundaryTime();
    EXPECT_GE(t.year, 2020);
    EXPECT_TRUE(t.month >= 1 && t.month <= 12);
    EXPECT_TRUE(t.day >= 1 && t.day <= 31);
    EXPECT_TRUE(t.hour >= 0 && t.hour <= 23);
    EXPECT_TRUE(t.millisecond >= 0 && t.millisecond <= 999);
    EXPECT_EQ(MultipartBoundary(t).size(), 23u);
}

TEST(MultipartPartHead, TheFormatOfThePartHead) {
    EXPECT_EQ(MultipartPartHead("--------120813141523456", "file", "C:\\fw\\a.bin",
                                "application/octet-stream"),
              "----------120813141523456\r\n"
              "Content-Transfer-Encoding: binary\r\n"
              "Content-Disposition: form-data; name=\"file\"; filename=\"C:\\fw\\a.bin\"\r\n"
              "Content-Type: application/octet-stream\r\n"
              "\r\n");
    EXPECT_EQ(MultipartTail("--------120813141523456"), "\r\n----------120813141523456--\r\n");
}

TEST(SafeFormFileName, QuoteCrAndLfArePercentWritten) {
    struct Case {
        const char* path;
        const char* safe;
    };
    const Case cases[] = {
        {"/home/u/fw.bin", "/home/u/fw.bin"},
        {"/tmp/a\"b.bin", "/tmp/a%22b.bin"},
        {"/tmp/a\r\nContent-Type: evil\r\n.bin", "/tmp/a%0D%0AContent-Type: evil%0D%0A.bin"},
        {"/tmp/100%.bin", "/tmp/100%.bin"},
        {"C:\\fw\\x.bin", "C:\\fw\\x.bin"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SafeFormFileName(c.path), c.safe) << c.path;
}

TEST(SafeRequestTarget, KeepsTheAccountAsTypedButNotWhatBreaksTheLine) {
    EXPECT_EQ(SafeRequestTarget("/a.cgi?user=ad&min&pwd=p#w+x"), "/a.cgi?user=ad&min&pwd=p%23w+x");
    EXPECT_EQ(SafeRequestTarget("/a.cgi?user=a b&pwd=x\r\nHost: evil"),
              "/a.cgi?user=a%20b&pwd=x%0D%0AHost:%20evil");
    EXPECT_EQ(SafeRequestTarget(std::string("/a\0b\x7F", 5)), "/a%00b%7F");
    EXPECT_EQ(SafeRequestTarget("/\xC3\xA9"), "/\xC3\xA9");
}

TEST(ParseHttpUrl, HostPortAndTarget) {
    struct Case {
        const char* url;
        bool ok;
        const char* host;
        unsigned port;
        const char* target;
    };
    const Case cases[] = {
        {"http://10.0.0.5", true, "10.0.0.5", 80, "/"},
        {"http://10.0.0.5:8600/upgrade_firmware.cgi?loginuse=a&loginpas=b", true, "10.0.0.5", 8600,
         "/upgrade_firmware.cgi?loginuse=a&loginpas=b"},
        {"HTTP://cam:81/x", true, "cam", 81, "/x"},
        {"https://10.0.0.5/", false, "", 0, ""},
        {"http://10.0.0.5:/x", false, "", 0, ""},
        {"http://10.0.0.5:70000/x", false, "", 0, ""},
        {"http://10.0.0.5:8a/x", false, "", 0, ""},
        {"http:///x", false, "", 0, ""},
        {"http://user@evil/x", false, "", 0, ""},
        {"", false, "", 0, ""},
    };
    for (const Case& c : cases) {
        THttpAddress a;
        EXPECT_EQ(ParseHttpUrl(c.url, a), c.ok) << c.url;
        if (c.ok) {
            EXPECT_EQ(a.host, c.host) << c.url;
            EXPECT_EQ(a.port, c.port) << c.url;
            EXPECT_EQ(a.target, c.target) << c.url;
        }
    }
}

TEST(HostHeaderValue, PortOnlyWhenItIsNot80) {
    EXPECT_EQ(HostHeaderValue("10.0.0.5", 80), "10.0.0.5");
    EXPECT_EQ(HostHeaderValue("10.0.0.5", 8080), "10.0.0.5:8080");
}

} // namespace
} // namespace zadari
