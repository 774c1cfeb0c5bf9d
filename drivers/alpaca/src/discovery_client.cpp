#include <arpa/inet.h>
#include <httplib.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

#include "celaris/drivers/alpaca/discovery.h"
#include "celaris/drivers/alpaca/wire.h"

namespace celaris {

namespace {

// A socket closed when it goes out of scope.
struct Socket {
    int fd = -1;
    explicit Socket(int f) : fd(f) {}
    ~Socket() {
        if (fd >= 0) ::close(fd);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
};

struct Responder {
    QString host;  // IPv4 text or "[IPv6]"
    int port = 0;
    bool operator==(const Responder&) const = default;
};

QStringList DefaultTargets() {
    QStringList targets = {QStringLiteral("255.255.255.255"), QStringLiteral("127.255.255.255")};
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) == 0) {
        for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
            if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET) continue;
            if (!(i->ifa_flags & IFF_BROADCAST) || i->ifa_broadaddr == nullptr) continue;
            char text[INET_ADDRSTRLEN] = {};
            const auto* b = reinterpret_cast<const sockaddr_in*>(i->ifa_broadaddr);
            if (::inet_ntop(AF_INET, &b->sin_addr, text, sizeof text) != nullptr &&
                !targets.contains(QString::fromLatin1(text)))
                targets.append(QString::fromLatin1(text));
        }
        ::freeifaddrs(list);
    }
    targets.append(QString::fromLatin1(alpaca_wire::kDiscoveryGroupV6));
    return targets;
}

void SendTo(int fd, const sockaddr* to, socklen_t length) {
    const char* text = alpaca_wire::kDiscoveryRequest;
    [[maybe_unused]] const auto n = ::sendto(fd, text, std::strlen(text), 0, to, length);
}

// Sends the discovery request and collects the servers that answer.
QList<Responder> Broadcast(const AlpacaDiscoveryOptions& options) {
    QList<Responder> found;
    Socket v4(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    Socket v6(::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    const int on = 1;
    if (v4.fd >= 0) ::setsockopt(v4.fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    if (v6.fd >= 0) ::setsockopt(v6.fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);

    const QStringList targets = options.targets.isEmpty() ? DefaultTargets() : options.targets;
    for (const QString& target : targets) {
        const QByteArray text = target.toLatin1();
        sockaddr_in a4{};
        sockaddr_in6 a6{};
        if (v4.fd >= 0 && ::inet_pton(AF_INET, text.constData(), &a4.sin_addr) == 1) {
            a4.sin_family = AF_INET;
            a4.sin_port = htons(static_cast<uint16_t>(options.port));
            SendTo(v4.fd, reinterpret_cast<sockaddr*>(&a4), sizeof a4);
        } else if (v6.fd >= 0 && ::inet_pton(AF_INET6, text.constData(), &a6.sin6_addr) == 1) {
            a6.sin6_family = AF_INET6;
            a6.sin6_port = htons(static_cast<uint16_t>(options.port));
            if (IN6_IS_ADDR_MULTICAST(&a6.sin6_addr)) {
                // A multicast request leaves through one interface at a time.
                for (unsigned index : MulticastInterfaceIndexes()) {
                    ::setsockopt(v6.fd, IPPROTO_IPV6, IPV6_MULTICAST_IF, &index, sizeof index);
                    SendTo(v6.fd, reinterpret_cast<sockaddr*>(&a6), sizeof a6);
                }
            } else {
                SendTo(v6.fd, reinterpret_cast<sockaddr*>(&a6), sizeof a6);
            }
        }
    }

    QElapsedTimer clock;
    clock.start();
    for (;;) {
        const qint64 left = options.wait.count() - clock.elapsed();
        if (left <= 0) break;
        pollfd fds[2] = {{v4.fd, POLLIN, 0}, {v6.fd, POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(left)) <= 0) break;
        for (const pollfd& p : fds) {
            if (p.fd < 0 || !(p.revents & POLLIN)) continue;
            char buffer[512];
            sockaddr_storage from{};
            socklen_t fromLength = sizeof from;
            const auto n = ::recvfrom(p.fd, buffer, sizeof buffer, 0,
                                      reinterpret_cast<sockaddr*>(&from), &fromLength);
            if (n <= 0) continue;
            const QJsonObject o = QJsonDocument::fromJson(QByteArray(buffer, int(n))).object();
            const int port = o.value(QStringLiteral("AlpacaPort")).toInt();
            if (port < 1 || port > 65535) continue;
            char text[INET6_ADDRSTRLEN] = {};
            Responder r;
            r.port = port;
            if (from.ss_family == AF_INET) {
                const auto* f = reinterpret_cast<const sockaddr_in*>(&from);
                ::inet_ntop(AF_INET, &f->sin_addr, text, sizeof text);
                r.host = QString::fromLatin1(text);
            } else {
                const auto* f = reinterpret_cast<const sockaddr_in6*>(&from);
                // A link-local address needs its interface, which a driver
                // id cannot carry; such a server also answers on IPv4.
                if (IN6_IS_ADDR_LINKLOCAL(&f->sin6_addr)) continue;
                ::inet_ntop(AF_INET6, &f->sin6_addr, text, sizeof text);
                r.host = QLatin1Char('[') + QString::fromLatin1(text) + QLatin1Char(']');
            }
            if (!found.contains(r)) found.append(r);
        }
    }
    return found;
}

}  // namespace

QList<unsigned> MulticastInterfaceIndexes() {
    QList<unsigned> result;
    ifaddrs* list = nullptr;
    if (::getifaddrs(&list) != 0) return result;
    for (ifaddrs* i = list; i != nullptr; i = i->ifa_next) {
        if (i->ifa_addr == nullptr || i->ifa_addr->sa_family != AF_INET6) continue;
        if (!(i->ifa_flags & IFF_UP) || !(i->ifa_flags & IFF_MULTICAST)) continue;
        const unsigned index = ::if_nametoindex(i->ifa_name);
        if (index != 0 && !result.contains(index)) result.append(index);
    }
    ::freeifaddrs(list);
    return result;
}

QList<FoundAlpacaTelescope> DiscoverAlpacaTelescopes(const AlpacaDiscoveryOptions& options) {
    QList<FoundAlpacaTelescope> result;
    QSet<QString> seen;
    for (const Responder& r : Broadcast(options)) {
        std::string host = r.host.toStdString();
        if (r.host.startsWith(QLatin1Char('['))) host = host.substr(1, host.size() - 2);
        httplib::Client http(host, r.port);
        http.set_connection_timeout(std::chrono::seconds(3));
        http.set_read_timeout(std::chrono::seconds(3));
        const auto res = http.Get("/management/v1/configureddevices");
        if (!res || res->status != 200) continue;
        const QJsonObject o =
            QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object();
        for (const QJsonValue& v : o.value(QStringLiteral("Value")).toArray()) {
            const QJsonObject d = v.toObject();
            if (d.value(QStringLiteral("DeviceType"))
                    .toString()
                    .compare(QStringLiteral("Telescope"), Qt::CaseInsensitive) != 0)
                continue;
            FoundAlpacaTelescope t;
            t.address = {r.host, r.port, d.value(QStringLiteral("DeviceNumber")).toInt()};
            t.deviceName = d.value(QStringLiteral("DeviceName")).toString();
            t.uniqueId = d.value(QStringLiteral("UniqueID")).toString();
            const QString key = t.uniqueId.isEmpty() ? t.progId() : t.uniqueId;
            if (seen.contains(key)) continue;
            seen.insert(key);
            result.append(t);
        }
    }
    return result;
}

int AddDiscoveredTelescopes(profile::Profile& profile, const QList<FoundAlpacaTelescope>& found) {
    int added = 0;
    profile.Batch([&] {
        for (const FoundAlpacaTelescope& t : found) {
            const bool known = profile.IsRegistered(t.progId());
            if (drivers_list::AddAlpacaTelescope(profile, t.address, t.deviceName) && !known)
                ++added;
        }
    });
    return added;
}

}  // namespace celaris
