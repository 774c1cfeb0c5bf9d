// One HTTP/1.x request read from the front of the bytes a connection has
// received: a pure function (bytes in, a request, "need more" or an error
// out), so that the transport stays a loop around it and the parser can be
// fuzzed on its own. Standard library only.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace celaris::alpaca {

struct HttpLimits {
    size_t maxTarget = 2048;            // 414 beyond
    size_t maxHeaders = 64;             // 431 beyond
    size_t maxHeaderBytes = 16 * 1024;  // 431 beyond
    size_t maxBody = 16 * 1024;         // 413 beyond
};

struct ParsedRequest {
    std::string method;  // as sent: "GET", "PUT", ...
    std::string path;    // percent-decoded; "*" for "OPTIONS *"
    std::string query;   // as sent, after "?"
    std::string body;    // de-chunked
    // The headers the server acts on, as sent (empty when absent).
    std::string host;
    std::string origin;
    std::string authorization;
    int minorVersion = 1;
    // The client keeps the connection open after the answer.
    bool keepAlive = true;
};

struct ParseOutcome {
    enum class Status { NeedMore, Complete, Error };
    Status status = Status::NeedMore;
    // Complete: the bytes this request took, blank lines before it included.
    size_t consumed = 0;
    ParsedRequest request;
    // Error: the HTTP status to answer (400, 413, 414, 431, 501, 505) and a
    // plain-text reason. The connection cannot be read further.
    int errorStatus = 0;
    std::string errorReason;
    // NeedMore: the headers are in and the client waits for
    // "100 Continue" before it sends the body.
    bool expectsContinue = false;
};

// Reads the request at the front of bytes. Whatever follows it (pipelined
// requests) is left for the next call.
ParseOutcome ParseHttpRequest(std::string_view bytes, const HttpLimits& limits = {});

}  // namespace celaris::alpaca
