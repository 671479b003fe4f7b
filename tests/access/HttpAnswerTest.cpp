#include "access/HttpAnswer.h"

#include <gtest/gtest.h>

namespace zadari {
namespace {

using TState = THttpAnswerReader::TState;

struct Case {
    const char* name;
    std::string stream;
    bool closeAfter;
    TState state;
    int status;
    bool location;
};

std::string Repeat(char c, std::size_t n) {
    return std::string(n, c);
}

TEST(HttpAnswerReader, ReadsTheFinalAnswerWhereverItsBodyEnds) {
    const Case cases[] = {
        {"length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", false, TState::Complete,
         200, false},
        {"length still short", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel", false,
         TState::NeedMore, 200, false},
        {"length cut by close", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhel", true,
         TState::Malformed, 200, false},
        {"interim 100 skipped",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 201 Created\r\n"
         "Content-Length: 0\r\n\r\n",
         false, TState::Complete, 201, false},
        {"two interims",
         "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 102 Processing\r\n\r\n"
         "HTTP/1.0 200 OK\r\n\r\nbody",
         true, TState::Complete, 200, false},
        {"to close", "HTTP/1.0 200 OK\r\nServer: cam\r\n\r\nanything", true, TState::Complete, 200,
         false},
        {"to close, open", "HTTP/1.0 200 OK\r\n\r\nanything", false, TState::NeedMore, 200, false},
        {"chunked",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n"
         "A;ext=1\r\n0123456789\r\n0\r\nX-Trailer: 1\r\n\r\n",
         false, TState::Complete, 200, false},
        {"chunked bad size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n", false,
         TState::Malformed, 200, false},
        {"redirect", "HTTP/1.1 302 Found\r\nLocation: /login.htm\r\nContent-Length: 0\r\n\r\n",
         false, TState::Complete, 302, true},
        {"2xx with location", "HTTP/1.1 200 OK\r\nlocation: /x\r\nContent-Length: 0\r\n\r\n", false,
         TState::Complete, 200, true},
        {"location of an interim does not count",
         "HTTP/1.1 100 Continue\r\nLocation: /x\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: "
         "0\r\n\r\n",
         false, TState::Complete, 200, false},
        {"401",
         "HTTP/1.1 401 Unauthorized\r\nWWW-Authenticate: Basic realm=\"cam\"\r\n"
         "Content-Length: 4\r\n\r\nnope",
         false, TState::Complete, 401, false},
        {"204 has no body", "HTTP/1.1 204 No Content\r\n\r\n", false, TState::Complete, 204, false},
        {"bare LF lines", "HTTP/1.1 200 OK\nContent-Length: 2\n\nok", false, TState::Complete, 200,
         false},
        {"no answer at all", "", true, TState::Malformed, 0, false},
        {"not HTTP", "SSH-2.0-OpenSSH\r\n\r\n", false, TState::Malformed, 0, false},
        {"status not digits", "HTTP/1.1 2x0 OK\r\n\r\n", false, TState::Malformed, 0, false},
        {"status too long", "HTTP/1.1 2000 OK\r\n\r\n", false, TState::Malformed, 0, false},
        {"conflicting lengths", "HTTP/1.1 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
         false, TState::Malformed, 200, false},
        {"huge length", "HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\n", false,
         TState::Malformed, 200, false},
        {"header without colon", "HTTP/1.1 200 OK\r\nnonsense\r\n\r\n", false, TState::Malformed,
         200, false},
        {"endless head", "HTTP/1.1 200 OK\r\nX: " + Repeat('a', 70000), false, TState::Malformed, 0,
         false},
        {"bytes after the answer are ignored",
         "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nokHTTP/1.1 500 X\r\n\r\n", false,
         TState::Complete, 200, false},
    };
    for (const Case& c : cases) {
        // Whole, and byte by byte: the split points must not matter.
        for (const bool byByte : {false, true}) {
            THttpAnswerReader reader;
            if (byByte) {
                for (const char ch : c.stream)
                    reader.Feed(std::string_view(&ch, 1));
            } else {
                reader.Feed(c.stream);
            }
            if (c.closeAfter)
                reader.Close();
            EXPECT_EQ(reader.State(), c.state) << c.name << (byByte ? " (by byte)" : "");
            if (c.state != TState::Malformed || c.status != 0) {
                EXPECT_EQ(reader.Status(), c.status) << c.name;
                EXPECT_EQ(reader.HasLocation(), c.location) << c.name;
            }
        }
    }
}

} // namespace
} // namespace zadari
