#include "http_transport.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <optional>
#include <set>
#include <thread>
#include <unordered_map>
#include <utility>
#include <vector>

#include "worker_pool.h"

namespace celaris::alpaca {

namespace {

using Clock = std::chrono::steady_clock;

// Descriptors kept back for everything else the program opens.
constexpr rlim_t kReservedDescriptors = 128;
// How long a closing connection may still send before it is cut.
constexpr auto kLingerTime = std::chrono::seconds(2);
// After running out of descriptors, accepting waits this long.
constexpr auto kAcceptPause = std::chrono::milliseconds(50);
constexpr size_t kReadChunk = 16 * 1024;
// Connections are moved to descriptors from here up, leaving the low ones
// to code in the process that still waits with select() (FD_SETSIZE).
constexpr int kHighDescriptors = 1024;

constexpr uint64_t kListenTag = 1;
constexpr uint64_t kWakeTag = 2;
constexpr uint64_t kFirstConnection = 16;

const char* Reason(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 302:
            return "Found";
        case 400:
            return "Bad Request";
        case 404:
            return "Not Found";
        case 408:
            return "Request Timeout";
        case 413:
            return "Content Too Large";
        case 414:
            return "URI Too Long";
        case 431:
            return "Request Header Fields Too Large";
        case 500:
            return "Internal Server Error";
        case 501:
            return "Not Implemented";
        case 503:
            return "Service Unavailable";
        case 505:
            return "HTTP Version Not Supported";
        default:
            return "Unknown";
    }
}

// The soft descriptor limit raised to the hard one: 1000 clients need more
// than the usual 1024.
rlim_t RaiseDescriptorLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 1024;
    if (limit.rlim_cur < limit.rlim_max) {
        rlimit raised = limit;
        raised.rlim_cur = limit.rlim_max;
        if (::setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
    }
    return limit.rlim_cur;
}

int MoveHigh(int fd) {
    if (fd >= kHighDescriptors) return fd;
    const int high = ::fcntl(fd, F_DUPFD_CLOEXEC, kHighDescriptors);
    if (high < 0) return fd;
    ::close(fd);
    return high;
}

std::string PeerOf(const sockaddr_storage& addr) {
    char text[INET6_ADDRSTRLEN] = {};
    if (addr.ss_family == AF_INET) {
        const auto* a = reinterpret_cast<const sockaddr_in*>(&addr);
        ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
    } else if (addr.ss_family == AF_INET6) {
        const auto* a = reinterpret_cast<const sockaddr_in6*>(&addr);
        ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
    }
    return text;
}

struct Connection {
    enum class State {
        Idle,      // waiting for a request
        Reading,   // part of a request has arrived
        Busy,      // a worker answers it
        Writing,   // the answer is going out
        Draining,  // answered and closing; what the client still sends is dropped
    };
    uint64_t id = 0;
    int fd = -1;
    std::string peer;
    State state = State::Idle;
    Clock::time_point since;  // when the state began
    std::optional<Clock::time_point> deadline;
    uint32_t events = 0;
    std::string in;
    std::string out;
    size_t sent = 0;
    bool closeAfterWrite = false;
    bool peerClosed = false;
    bool continueSent = false;
};

}  // namespace

std::string FormatAnswer(const HttpAnswer& answer, bool head, bool close, bool http10KeepAlive) {
    std::string s;
    s.reserve(160 + answer.body.size());
    s += "HTTP/1.1 " + std::to_string(answer.status) + " " + Reason(answer.status) + "\r\n";
    s += "Content-Type: " + answer.contentType + "\r\n";
    s += "Content-Length: " + std::to_string(answer.body.size()) + "\r\n";
    if (!answer.location.empty()) s += "Location: " + answer.location + "\r\n";
    for (const std::string& h : answer.headers) s += h + "\r\n";
    if (close)
        s += "Connection: close\r\n";
    else if (http10KeepAlive)
        s += "Connection: keep-alive\r\n";
    s += "\r\n";
    if (!head) s += answer.body;
    return s;
}

struct HttpTransport::Loop {
    const TransportOptions options;
    const Handler handler;
    size_t maxConnections;

    int listenFd = -1;
    int epollFd = -1;
    int wakeFd = -1;
    int port = 0;
    std::thread thread;
    std::atomic<bool> stop{false};
    WorkerPool pool;

    // Network thread only.
    std::unordered_map<uint64_t, std::unique_ptr<Connection>> connections;
    std::unordered_map<std::string, size_t> perPeer;
    std::set<std::pair<Clock::time_point, uint64_t>> deadlines;
    uint64_t nextId = kFirstConnection;
    std::optional<Clock::time_point> acceptPausedUntil;

    // Answers from the workers, by connection.
    struct Finished {
        uint64_t id;
        std::string bytes;
        bool close;
    };
    std::mutex finishedMutex;
    std::vector<Finished> finished;

    Loop(TransportOptions o, Handler h)
        : options(std::move(o)),
          handler(std::move(h)),
          maxConnections(options.maxConnections),
          pool(options.maxWorkers, options.workerIdleTime) {}

    ~Loop() {
        for (int fd : {listenFd, epollFd, wakeFd})
            if (fd >= 0) ::close(fd);
    }

    // ---- descriptors and timers

    void SetDeadline(Connection& c, std::optional<Clock::time_point> at) {
        if (c.deadline) deadlines.erase({*c.deadline, c.id});
        c.deadline = at;
        if (at) deadlines.insert({*at, c.id});
    }

    void Enter(Connection& c, Connection::State state, std::optional<Clock::duration> limit) {
        c.state = state;
        c.since = Clock::now();
        SetDeadline(c, limit ? std::optional(c.since + *limit) : std::nullopt);
    }

    void Watch(Connection& c, uint32_t events) {
        if (c.events == events) return;
        epoll_event ev{};
        ev.events = events;
        ev.data.u64 = c.id;
        ::epoll_ctl(epollFd, EPOLL_CTL_MOD, c.fd, &ev);
        c.events = events;
    }

    void Close(Connection& c) {
        SetDeadline(c, std::nullopt);
        ::close(c.fd);
        if (auto it = perPeer.find(c.peer); it != perPeer.end() && --it->second == 0)
            perPeer.erase(it);
        connections.erase(c.id);
    }

    Connection* Find(uint64_t id) {
        const auto it = connections.find(id);
        return it == connections.end() ? nullptr : it->second.get();
    }

    // Closes the connection of peer (any peer: nullptr) idle longest, else
    // the one whose request has been arriving longest; false when every
    // connection is being answered.
    bool MakeRoom(const std::string* peer) {
        Connection* victim = nullptr;
        for (const auto& [id, c] : connections) {
            if (peer != nullptr && c->peer != *peer) continue;
            const bool candidate = c->state == Connection::State::Idle ||
                                   c->state == Connection::State::Reading ||
                                   c->state == Connection::State::Draining;
            if (!candidate) continue;
            const auto rank = [](const Connection& x) {
                return x.state == Connection::State::Reading ? 1 : 0;
            };
            if (victim == nullptr || rank(*c) < rank(*victim) ||
                (rank(*c) == rank(*victim) && c->since < victim->since))
                victim = c.get();
        }
        if (victim == nullptr) return false;
        Close(*victim);
        return true;
    }

    // ---- accepting

    void PauseAccepting() {
        epoll_event ev{};
        ev.data.u64 = kListenTag;
        ::epoll_ctl(epollFd, EPOLL_CTL_MOD, listenFd, &ev);
        acceptPausedUntil = Clock::now() + kAcceptPause;
    }

    void ResumeAccepting() {
        epoll_event ev{};
        ev.events = EPOLLIN;
        ev.data.u64 = kListenTag;
        ::epoll_ctl(epollFd, EPOLL_CTL_MOD, listenFd, &ev);
        acceptPausedUntil.reset();
    }

    void Accept() {
        for (;;) {
            sockaddr_storage addr{};
            socklen_t length = sizeof addr;
            const int low = ::accept4(listenFd, reinterpret_cast<sockaddr*>(&addr), &length,
                                      SOCK_NONBLOCK | SOCK_CLOEXEC);
            if (low < 0) {
                if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
                if (errno == EMFILE || errno == ENFILE) {
                    if (MakeRoom(nullptr)) continue;
                    PauseAccepting();
                }
                return;
            }
            const int fd = MoveHigh(low);
            std::string peer = PeerOf(addr);
            if ((connections.size() >= maxConnections && !MakeRoom(nullptr)) ||
                (perPeer[peer] >= options.maxConnectionsPerPeer && !MakeRoom(&peer))) {
                ::close(fd);
                if (perPeer[peer] == 0) perPeer.erase(peer);
                continue;
            }
            const int one = 1;
            ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
            auto c = std::make_unique<Connection>();
            c->id = nextId++;
            c->fd = fd;
            c->peer = std::move(peer);
            c->events = EPOLLIN | EPOLLRDHUP;
            epoll_event ev{};
            ev.events = c->events;
            ev.data.u64 = c->id;
            if (::epoll_ctl(epollFd, EPOLL_CTL_ADD, fd, &ev) != 0) {
                ::close(fd);
                continue;
            }
            ++perPeer[c->peer];
            Connection& conn = *c;
            connections.emplace(conn.id, std::move(c));
            Enter(conn, Connection::State::Idle, options.keepAliveTime);
        }
    }

    // ---- reading and parsing

    void OnEvent(Connection& c, uint32_t events) {
        if (events & (EPOLLERR | EPOLLHUP)) {
            Close(c);
            return;
        }
        if ((events & EPOLLOUT) && c.state == Connection::State::Writing) {
            Flush(c);
            return;
        }
        if (events & (EPOLLIN | EPOLLRDHUP)) Read(c);
    }

    void Read(Connection& c) {
        char buffer[kReadChunk];
        if (c.state == Connection::State::Draining) {
            for (;;) {
                const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
                if (n > 0) continue;
                if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
                if (n < 0 && errno == EINTR) continue;
                Close(c);
                return;
            }
        }
        if (c.state != Connection::State::Idle && c.state != Connection::State::Reading) return;
        const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
        if (n < 0) {
            if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
            Close(c);
            return;
        }
        if (n == 0)
            c.peerClosed = true;
        else
            c.in.append(buffer, size_t(n));
        Process(c);
    }

    // The next request in the buffer, if it is all there.
    void Process(Connection& c) {
        if (c.in.empty()) {
            if (c.peerClosed) {
                Close(c);
                return;
            }
            if (c.state != Connection::State::Idle)
                Enter(c, Connection::State::Idle, options.keepAliveTime);
            Watch(c, EPOLLIN | EPOLLRDHUP);
            return;
        }
        ParseOutcome outcome = ParseHttpRequest(c.in, options.limits);
        switch (outcome.status) {
            case ParseOutcome::Status::Complete:
                c.in.erase(0, outcome.consumed);
                c.continueSent = false;
                Dispatch(c, std::move(outcome.request));
                return;
            case ParseOutcome::Status::NeedMore:
                if (c.peerClosed) {
                    Close(c);
                    return;
                }
                if (c.state != Connection::State::Reading)
                    Enter(c, Connection::State::Reading, options.requestTime);
                if (outcome.expectsContinue && !c.continueSent) {
                    static constexpr char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
                    ::send(c.fd, kContinue, sizeof kContinue - 1, MSG_NOSIGNAL);
                    c.continueSent = true;
                }
                Watch(c, EPOLLIN | EPOLLRDHUP);
                return;
            case ParseOutcome::Status::Error:
                Answer(c,
                       FormatAnswer(HttpAnswer::Text(outcome.errorStatus, outcome.errorReason),
                                    false, true, false),
                       true);
                return;
        }
    }

    void Dispatch(Connection& c, ParsedRequest parsed) {
        Enter(c, Connection::State::Busy, std::nullopt);
        // Nothing more is read until this request is answered.
        Watch(c, 0);
        const bool head = parsed.method == "HEAD";
        const bool close = !parsed.keepAlive;
        const bool http10KeepAlive = parsed.keepAlive && parsed.minorVersion == 0;
        ApiRequest request;
        request.method = std::move(parsed.method);
        request.path = std::move(parsed.path);
        request.query = std::move(parsed.query);
        request.body = std::move(parsed.body);
        request.peer = c.peer;
        request.host = std::move(parsed.host);
        request.origin = std::move(parsed.origin);
        request.authorization = std::move(parsed.authorization);
        pool.Submit([this, id = c.id, request = std::move(request), head, close, http10KeepAlive] {
            HttpAnswer answer;
            try {
                answer = handler(request);
            } catch (const std::exception& e) {
                answer = HttpAnswer::Text(500, std::string("Internal failure: ") + e.what());
            } catch (...) {
                answer = HttpAnswer::Text(500, "Internal failure.");
            }
            Finish(id, FormatAnswer(answer, head, close, http10KeepAlive), close);
        });
    }

    // Worker thread: hands an answer to the network thread.
    void Finish(uint64_t id, std::string bytes, bool close) {
        {
            std::lock_guard lock(finishedMutex);
            finished.push_back({id, std::move(bytes), close});
        }
        Wake();
    }

    void Wake() {
        const uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(wakeFd, &one, sizeof one);
    }

    void TakeFinished() {
        uint64_t count = 0;
        [[maybe_unused]] const ssize_t n = ::read(wakeFd, &count, sizeof count);
        std::vector<Finished> done;
        {
            std::lock_guard lock(finishedMutex);
            done.swap(finished);
        }
        for (Finished& f : done) {
            Connection* c = Find(f.id);
            if (c == nullptr || c->state != Connection::State::Busy) continue;
            Answer(*c, std::move(f.bytes), f.close);
        }
    }

    // ---- writing

    void Answer(Connection& c, std::string bytes, bool close) {
        c.out = std::move(bytes);
        c.sent = 0;
        c.closeAfterWrite = close;
        Enter(c, Connection::State::Writing, options.writeTime);
        Flush(c);
    }

    void Flush(Connection& c) {
        while (c.sent < c.out.size()) {
            const ssize_t n =
                ::send(c.fd, c.out.data() + c.sent, c.out.size() - c.sent, MSG_NOSIGNAL);
            if (n > 0) {
                c.sent += size_t(n);
                continue;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
                Watch(c, EPOLLOUT);
                return;
            }
            Close(c);
            return;
        }
        c.out.clear();
        c.out.shrink_to_fit();
        if (c.closeAfterWrite) {
            Drain(c);
            return;
        }
        // Pipelined requests that are already here go next.
        Enter(c, Connection::State::Idle, options.keepAliveTime);
        Process(c);
    }

    // Closes our side and waits briefly for the client's, so that the
    // answer is not lost to a reset while the client is still sending.
    void Drain(Connection& c) {
        if (c.peerClosed) {
            Close(c);
            return;
        }
        ::shutdown(c.fd, SHUT_WR);
        c.in.clear();
        c.in.shrink_to_fit();
        Enter(c, Connection::State::Draining, kLingerTime);
        Watch(c, EPOLLIN | EPOLLRDHUP);
    }

    // ---- time-outs

    void Expire(Clock::time_point now) {
        while (!deadlines.empty() && deadlines.begin()->first <= now) {
            const uint64_t id = deadlines.begin()->second;
            Connection* c = Find(id);
            if (c == nullptr) {
                deadlines.erase(deadlines.begin());
                continue;
            }
            SetDeadline(*c, std::nullopt);
            if (c->state == Connection::State::Reading)
                Answer(*c,
                       FormatAnswer(HttpAnswer::Text(408, "The request took too long to arrive."),
                                    false, true, false),
                       true);
            else
                Close(*c);
        }
        if (acceptPausedUntil && *acceptPausedUntil <= now) ResumeAccepting();
    }

    int WaitMs(Clock::time_point now) const {
        std::optional<Clock::time_point> next;
        if (!deadlines.empty()) next = deadlines.begin()->first;
        if (acceptPausedUntil && (!next || *acceptPausedUntil < *next)) next = acceptPausedUntil;
        if (!next) return -1;
        if (*next <= now) return 0;
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*next - now).count();
        return int(std::min<long long>(ms, 60000));
    }

    void Run() {
        std::vector<epoll_event> events(256);
        while (!stop.load()) {
            const int n =
                ::epoll_wait(epollFd, events.data(), int(events.size()), WaitMs(Clock::now()));
            if (n < 0 && errno != EINTR) break;
            for (int i = 0; i < n; ++i) {
                const uint64_t tag = events[size_t(i)].data.u64;
                if (tag == kListenTag)
                    Accept();
                else if (tag == kWakeTag)
                    TakeFinished();
                else if (Connection* c = Find(tag))
                    OnEvent(*c, events[size_t(i)].events);
            }
            Expire(Clock::now());
        }
        while (!connections.empty()) Close(*connections.begin()->second);
    }
};

HttpTransport::HttpTransport(TransportOptions options, Handler handler)
    : loop_(std::make_unique<Loop>(std::move(options), std::move(handler))) {}

HttpTransport::~HttpTransport() {
    Stop();
}

bool HttpTransport::Listen(const std::string& host, int port, std::string& error) {
    Loop& l = *loop_;
    const rlim_t descriptors = RaiseDescriptorLimit();
    const size_t usable =
        descriptors > 2 * kReservedDescriptors ? size_t(descriptors - kReservedDescriptors) : 64;
    l.maxConnections = std::min(l.options.maxConnections, usable);

    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string service = std::to_string(port);
    if (const int rc = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found); rc != 0) {
        error = ::gai_strerror(rc);
        return false;
    }
    error = "no address";
    for (addrinfo* ai = found; ai != nullptr; ai = ai->ai_next) {
        const int fd = ::socket(ai->ai_family, ai->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                                ai->ai_protocol);
        if (fd < 0) {
            error = std::strerror(errno);
            continue;
        }
        // Rebinding over connections in TIME_WAIT, but never sharing the
        // port with another listener (no SO_REUSEPORT).
        const int one = 1;
        ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (::bind(fd, ai->ai_addr, ai->ai_addrlen) != 0 || ::listen(fd, SOMAXCONN) != 0) {
            error = std::strerror(errno);
            ::close(fd);
            continue;
        }
        l.listenFd = fd;
        break;
    }
    ::freeaddrinfo(found);
    if (l.listenFd < 0) return false;
    sockaddr_storage local{};
    socklen_t length = sizeof local;
    ::getsockname(l.listenFd, reinterpret_cast<sockaddr*>(&local), &length);
    l.port = local.ss_family == AF_INET6
                 ? ntohs(reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port)
                 : ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
    error.clear();
    return true;
}

int HttpTransport::port() const {
    return loop_->port;
}

void HttpTransport::Start() {
    Loop& l = *loop_;
    if (l.thread.joinable() || l.listenFd < 0) return;
    l.epollFd = ::epoll_create1(EPOLL_CLOEXEC);
    l.wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    epoll_event ev{};
    ev.events = EPOLLIN;
    ev.data.u64 = kListenTag;
    ::epoll_ctl(l.epollFd, EPOLL_CTL_ADD, l.listenFd, &ev);
    ev.data.u64 = kWakeTag;
    ::epoll_ctl(l.epollFd, EPOLL_CTL_ADD, l.wakeFd, &ev);
    l.thread = std::thread([&l] { l.Run(); });
}

void HttpTransport::Stop() {
    Loop& l = *loop_;
    if (l.thread.joinable()) {
        l.stop = true;
        l.Wake();
        l.thread.join();
    }
    l.pool.Stop();
    if (l.listenFd >= 0) {
        ::close(l.listenFd);
        l.listenFd = -1;
    }
}

}  // namespace celaris::alpaca
