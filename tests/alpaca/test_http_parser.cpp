// The HTTP request parser on its own: requests arriving a byte at a time,
// several in one buffer, chunked bodies, the size limits and malformed
// input.
#include <gtest/gtest.h>

#include <string>

#include "celaris/alpaca/http_request_parser.h"

using celaris::alpaca::HttpLimits;
using celaris::alpaca::ParseHttpRequest;
using Status = celaris::alpaca::ParseOutcome::Status;

namespace {

int StatusOf(const std::string& bytes) {
    const auto o = ParseHttpRequest(bytes);
    return o.status == Status::Error ? o.errorStatus : 0;
}

}  // namespace

TEST(HttpRequestParser, EveryPrefixNeedsMoreAndTheWholeIsOneRequest) {
    const std::string put =
        "PUT /api/v1/telescope/0/con%6eected?x=%41 HTTP/1.1\r\nHost: h\r\n"
        "content-length: 14\r\n\r\nConnected=true";
    for (size_t n = 0; n < put.size(); ++n)
        EXPECT_EQ(ParseHttpRequest(put.substr(0, n)).status, Status::NeedMore) << n;
    const auto o = ParseHttpRequest(put + "GET / HTTP/1.1\r\n\r\n");
    ASSERT_EQ(o.status, Status::Complete);
    EXPECT_EQ(o.consumed, put.size());
    EXPECT_EQ(o.request.method, "PUT");
    EXPECT_EQ(o.request.path, "/api/v1/telescope/0/connected");
    EXPECT_EQ(o.request.query, "x=%41");
    EXPECT_EQ(o.request.body, "Connected=true");
    EXPECT_TRUE(o.request.keepAlive);

    // Bare LF line ends, blank lines before, and no body without a length.
    const auto bare = ParseHttpRequest("\r\n\nPUT /a HTTP/1.1\nHost: h\n\nrest");
    ASSERT_EQ(bare.status, Status::Complete);
    EXPECT_EQ(bare.consumed, 28u);
    EXPECT_EQ(bare.request.body, "");
    // The absolute form keeps only the path.
    EXPECT_EQ(ParseHttpRequest("GET http://h:1/p?q HTTP/1.1\r\n\r\n").request.path, "/p");
}

TEST(HttpRequestParser, ConnectionsKeptOrClosedAsAsked) {
    EXPECT_FALSE(ParseHttpRequest("GET / HTTP/1.0\r\n\r\n").request.keepAlive);
    EXPECT_TRUE(
        ParseHttpRequest("GET / HTTP/1.0\r\nConnection: Keep-Alive\r\n\r\n").request.keepAlive);
    EXPECT_FALSE(
        ParseHttpRequest("GET / HTTP/1.1\r\nConnection: foo, close\r\n\r\n").request.keepAlive);
    const auto waiting =
        ParseHttpRequest("PUT / HTTP/1.1\r\nExpect: 100-continue\r\nContent-Length: 3\r\n\r\n");
    EXPECT_EQ(waiting.status, Status::NeedMore);
    EXPECT_TRUE(waiting.expectsContinue);
}

TEST(HttpRequestParser, ChunkedBodies) {
    const std::string head = "PUT / HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n";
    const std::string whole = head + "3;ext=1\r\nabc\r\nA\r\n0123456789\r\n0\r\nX-T: 1\r\n\r\n";
    for (size_t n = 0; n < whole.size(); ++n)
        EXPECT_EQ(ParseHttpRequest(whole.substr(0, n)).status, Status::NeedMore) << n;
    const auto o = ParseHttpRequest(whole);
    ASSERT_EQ(o.status, Status::Complete);
    EXPECT_EQ(o.request.body, "abc0123456789");
    EXPECT_EQ(o.consumed, whole.size());

    EXPECT_EQ(StatusOf(head + "zz\r\n"), 400);
    EXPECT_EQ(StatusOf(head + "3\r\nabcd\r\n"), 400);
    EXPECT_EQ(StatusOf(head + "4001\r\n"), 413);
    EXPECT_EQ(StatusOf(head + "123456789\r\n"), 400);
    std::string many = head;
    for (int i = 0; i < 20; ++i) many += "3E8\r\n" + std::string(1000, 'x') + "\r\n";
    EXPECT_EQ(StatusOf(many), 413);
}

TEST(HttpRequestParser, LimitsAndMalformedRequests) {
    const HttpLimits limits;
    const std::string longTarget = "/" + std::string(limits.maxTarget, 'a');
    EXPECT_EQ(StatusOf("GET " + longTarget + " HTTP/1.1\r\n\r\n"), 414);
    // Too long already before its end arrives.
    EXPECT_EQ(StatusOf("GET " + longTarget + longTarget), 414);
    std::string headers = "GET / HTTP/1.1\r\n";
    for (size_t i = 0; i <= limits.maxHeaders; ++i) headers += "X-" + std::to_string(i) + ": 1\r\n";
    EXPECT_EQ(StatusOf(headers + "\r\n"), 431);
    EXPECT_EQ(StatusOf("GET / HTTP/1.1\r\nX: " + std::string(limits.maxHeaderBytes, 'a')), 431);
    EXPECT_EQ(StatusOf("PUT / HTTP/1.1\r\nContent-Length: 16385\r\n\r\n"), 413);
    EXPECT_EQ(StatusOf("PUT / HTTP/1.1\r\nContent-Length: 99999999999999999999999\r\n\r\n"), 413);

    for (const char* bad : {
             "GET / HTTP/1.1\r\nContent-Length: 1x\r\n\r\n",
             "GET / HTTP/1.1\r\nContent-Length: -1\r\n\r\n",
             "GET / HTTP/1.1\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
             "PUT / HTTP/1.1\r\nContent-Length: 1\r\nTransfer-Encoding: chunked\r\n\r\n",
             "GET / HTTP/1.1\r\nNo colon\r\n\r\n",
             "GET / HTTP/1.1\r\nBad name: 1\r\n\r\n",
             "GET / HTTP/1.1\r\nX: 1\r\n folded\r\n\r\n",
             "GET /a%2 HTTP/1.1\r\n\r\n",
             "GET /a%00 HTTP/1.1\r\n\r\n",
             "GET relative HTTP/1.1\r\n\r\n",
             "GET * HTTP/1.1\r\n\r\n",
             "GET / FTP/1.1\r\n\r\n",
             "GET /\r\n\r\n",
             "G(T / HTTP/1.1\r\n\r\n",
         })
        EXPECT_EQ(StatusOf(bad), 400) << bad;
    EXPECT_EQ(StatusOf("GET / HTTP/2.0\r\n\r\n"), 505);
    EXPECT_EQ(StatusOf("PUT / HTTP/1.1\r\nTransfer-Encoding: gzip\r\n\r\n"), 501);
    EXPECT_EQ(StatusOf(std::string(100, '\n')), 400);
    EXPECT_EQ(ParseHttpRequest("OPTIONS * HTTP/1.1\r\n\r\n").request.path, "*");
}
