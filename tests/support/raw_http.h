// A bare TCP connection to a local HTTP server, for what an HTTP library
// hides: requests sent several at once, requests that trickle in,
// connections left open and idle, a chosen loopback source address.
#pragma once

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace celaris::test {

struct RawReply {
    int status = 0;
    std::string headers;  // the header block, lines as sent
    std::string body;
    bool Has(std::string_view header) const { return headers.find(header) != std::string::npos; }
};

class RawHttp {
  public:
    // Connects to 127.0.0.1:port, from source (for example "127.0.0.2")
    // when given, so that connections can come from several peers.
    explicit RawHttp(int port, const char* source = nullptr) {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd_ < 0) return;
        // Crowds of these stay clear of the descriptors below FD_SETSIZE
        // that an HTTP library waiting with select() needs.
        if (const int high = ::fcntl(fd_, F_DUPFD_CLOEXEC, 1024); high >= 0) {
            ::close(fd_);
            fd_ = high;
        }
        const int one = 1;
        ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        if (source != nullptr) {
            sockaddr_in from{};
            from.sin_family = AF_INET;
            ::inet_pton(AF_INET, source, &from.sin_addr);
            if (::bind(fd_, reinterpret_cast<sockaddr*>(&from), sizeof from) != 0) Drop();
        }
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(uint16_t(port));
        ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
        if (fd_ >= 0 && ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) Drop();
    }
    ~RawHttp() { Drop(); }
    RawHttp(const RawHttp&) = delete;
    RawHttp& operator=(const RawHttp&) = delete;

    bool ok() const { return fd_ >= 0; }

    bool Send(std::string_view bytes) {
        while (fd_ >= 0 && !bytes.empty()) {
            const ssize_t n = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (n <= 0) return false;
            bytes.remove_prefix(size_t(n));
        }
        return fd_ >= 0;
    }

    // The next answer (interim 100 answers skipped); nothing when the
    // connection ends or the time is up first. A HEAD answer has no body.
    std::optional<RawReply> Read(std::chrono::milliseconds timeout, bool head = false) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (auto reply = Take(head)) {
                if (reply->status == 100) continue;
                return reply;
            }
            if (!Fill(end)) return std::nullopt;
        }
    }

    // True when the server closes the connection within timeout (whatever
    // it sent before is dropped).
    bool ClosedWithin(std::chrono::milliseconds timeout) {
        const auto end = std::chrono::steady_clock::now() + timeout;
        while (Fill(end)) buffer_.clear();
        return closed_;
    }

    // Without waiting: has the server closed it, or sent something?
    bool Quiet() {
        pollfd p{fd_, POLLIN, 0};
        return fd_ >= 0 && ::poll(&p, 1, 0) == 0;
    }

  private:
    void Drop() {
        if (fd_ >= 0) ::close(fd_);
        fd_ = -1;
    }

    // More bytes before end; false on end of stream (closed_) or time-out.
    bool Fill(std::chrono::steady_clock::time_point end) {
        if (fd_ < 0 || closed_) return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            end - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) <= 0) return false;
        char chunk[16384];
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n <= 0) {
            closed_ = true;
            return false;
        }
        buffer_.append(chunk, size_t(n));
        return true;
    }

    std::optional<RawReply> Take(bool head) {
        const size_t end = buffer_.find("\r\n\r\n");
        if (end == std::string::npos || buffer_.compare(0, 9, "HTTP/1.1 ") != 0)
            return std::nullopt;
        RawReply r;
        r.status = std::atoi(buffer_.c_str() + 9);
        r.headers = buffer_.substr(0, end + 2);
        size_t length = 0;
        const size_t at = r.headers.find("Content-Length: ");
        if (at != std::string::npos) length = size_t(std::atol(r.headers.c_str() + at + 16));
        if (head || r.status == 100) length = 0;
        if (buffer_.size() < end + 4 + length) return std::nullopt;
        r.body = buffer_.substr(end + 4, length);
        buffer_.erase(0, end + 4 + length);
        return r;
    }

    int fd_ = -1;
    bool closed_ = false;
    std::string buffer_;
};

}  // namespace celaris::test
