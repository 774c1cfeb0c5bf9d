#include "discovery_responder.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "celaris/drivers/alpaca/discovery.h"
#include "celaris/drivers/alpaca/wire.h"

namespace celaris::alpaca {

namespace {

void CloseFd(int& fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

// Joins the IPv6 discovery group on every interface that can receive it.
void JoinGroup(int fd) {
    ipv6_mreq group{};
    if (::inet_pton(AF_INET6, alpaca_wire::kDiscoveryGroupV6, &group.ipv6mr_multiaddr) != 1) return;
    for (unsigned index : MulticastInterfaceIndexes()) {
        group.ipv6mr_interface = index;
        ::setsockopt(fd, IPPROTO_IPV6, IPV6_JOIN_GROUP, &group, sizeof group);
    }
}

}  // namespace

DiscoveryResponder::DiscoveryResponder(int udpPort, int alpacaPort)
    : answer_("{\"AlpacaPort\":" + std::to_string(alpacaPort) + "}") {
    const int on = 1;
    // IPv4: every address, so that broadcasts arrive. Other Alpaca servers
    // on this machine may share the port.
    v4_ = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in a4{};
    a4.sin_family = AF_INET;
    a4.sin_addr.s_addr = htonl(INADDR_ANY);
    a4.sin_port = htons(static_cast<uint16_t>(udpPort));
    if (v4_ < 0 || ::setsockopt(v4_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(v4_, reinterpret_cast<sockaddr*>(&a4), sizeof a4) != 0) {
        error_ = QStringLiteral("cannot use UDP port %1 for discovery: %2")
                     .arg(udpPort)
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        CloseFd(v4_);
        return;
    }
    socklen_t length = sizeof a4;
    ::getsockname(v4_, reinterpret_cast<sockaddr*>(&a4), &length);
    port_ = ntohs(a4.sin_port);

    // IPv6: the same port, the multicast group. Optional: a machine without
    // IPv6 is still found over IPv4.
    v6_ = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 a6{};
    a6.sin6_family = AF_INET6;
    a6.sin6_addr = in6addr_any;
    a6.sin6_port = htons(static_cast<uint16_t>(port_));
    if (v6_ < 0 || ::setsockopt(v6_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on) != 0 ||
        ::setsockopt(v6_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
        ::bind(v6_, reinterpret_cast<sockaddr*>(&a6), sizeof a6) != 0)
        CloseFd(v6_);
    else
        JoinGroup(v6_);

    if (::pipe2(wake_, O_CLOEXEC) != 0) {
        error_ = QStringLiteral("cannot start discovery: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        CloseFd(v4_);
        CloseFd(v6_);
        port_ = 0;
        return;
    }
    thread_ = std::thread([this] { Run(); });
}

DiscoveryResponder::~DiscoveryResponder() {
    if (thread_.joinable()) {
        const char c = 1;
        [[maybe_unused]] const auto n = ::write(wake_[1], &c, 1);
        thread_.join();
    }
    CloseFd(wake_[0]);
    CloseFd(wake_[1]);
    CloseFd(v4_);
    CloseFd(v6_);
}

void DiscoveryResponder::Run() {
    const std::string_view request(alpaca_wire::kDiscoveryRequest);
    for (;;) {
        pollfd fds[3] = {{wake_[0], POLLIN, 0}, {v4_, POLLIN, 0}, {v6_, POLLIN, 0}};
        if (::poll(fds, 3, -1) < 0) {
            if (errno == EINTR) continue;
            return;
        }
        if (fds[0].revents != 0) return;
        for (int k = 1; k < 3; ++k) {
            if (fds[k].fd < 0 || !(fds[k].revents & POLLIN)) continue;
            char buffer[1024];
            sockaddr_storage from{};
            socklen_t fromLength = sizeof from;
            const auto n = ::recvfrom(fds[k].fd, buffer, sizeof buffer, 0,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n <= 0) continue;
            // The request contains the text; anything else is not for us.
            if (std::string_view(buffer, size_t(n)).find(request) == std::string_view::npos)
                continue;
            ::sendto(fds[k].fd, answer_.data(), answer_.size(), 0,
                     reinterpret_cast<sockaddr*>(&from), fromLength);
        }
    }
}

}  // namespace celaris::alpaca
