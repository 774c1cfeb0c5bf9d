// The HTTP/1.1 side of the Alpaca server: one network thread reads and
// writes every connection (epoll), so an idle or slow connection costs a
// descriptor and a few bytes, never a thread; each complete request is
// answered by the handler on a worker thread of a pool that grows while
// its workers are busy (a handler may block for minutes).
//
// A connection carries one request at a time: pipelined requests wait in
// the buffer and are answered in order. Limits: connections in all and per
// peer address (when full, the connection idle longest makes room, then
// the slowest unfinished request), the keep-alive time of an idle
// connection, the time a request may take to arrive, and the sizes of
// HttpLimits.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "api_request.h"
#include "celaris/alpaca/http_request_parser.h"

namespace celaris::alpaca {

struct TransportOptions {
    HttpLimits limits;
    size_t maxConnections = 4096;
    size_t maxConnectionsPerPeer = 128;
    // An idle kept-alive connection is closed after this.
    std::chrono::milliseconds keepAliveTime{5000};
    // From a request's first byte to its last (408 after that).
    std::chrono::milliseconds requestTime{10000};
    // For an answer the client does not read.
    std::chrono::milliseconds writeTime{10000};
    size_t maxWorkers = 256;
    std::chrono::milliseconds workerIdleTime{10000};
};

class HttpTransport {
  public:
    using Handler = std::function<HttpAnswer(const ApiRequest&)>;

    HttpTransport(TransportOptions options, Handler handler);
    // Stop().
    ~HttpTransport();

    // Binds and listens on host:port (0: any free port). On failure, false
    // and the reason in error. Raises the descriptor limit of the process
    // to what it may have.
    bool Listen(const std::string& host, int port, std::string& error);
    int port() const;
    // Starts the network thread; Listen() first.
    void Start();
    // Closes every connection and waits for the running handlers. Safe to
    // call twice.
    void Stop();

  private:
    struct Loop;
    std::unique_ptr<Loop> loop_;
};

// The bytes of an answer: status line, headers, body (none for HEAD).
std::string FormatAnswer(const HttpAnswer& answer, bool head, bool close, bool http10KeepAlive);

}  // namespace celaris::alpaca
