#include "celaris/alpaca/server_options.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <QUuid>

#include "celaris/profile/settings.h"

namespace celaris::alpaca {

namespace {
const QString kHub = QString::fromLatin1(profile::kHubDriverId);
const QString kSub = QString::fromLatin1(kAlpacaSubKey);

std::optional<int> Port(const QString& text) {
    bool ok = false;
    const int port = text.toInt(&ok);
    if (!ok || port < 0 || port > 65535) return std::nullopt;
    return port;
}
}  // namespace

std::optional<ListenAddress> ParseListenAddress(const QString& text) {
    const QString t = text.trimmed();
    const qsizetype colon = t.lastIndexOf(QLatin1Char(':'));
    if (colon < 0) return std::nullopt;
    QString host = t.left(colon);
    const auto port = Port(t.mid(colon + 1));
    if (!port) return std::nullopt;
    if (host.startsWith(QLatin1Char('['))) {
        if (!host.endsWith(QLatin1Char(']'))) return std::nullopt;
        host = host.mid(1, host.size() - 2);
        in6_addr a6{};
        if (::inet_pton(AF_INET6, host.toLatin1().constData(), &a6) != 1) return std::nullopt;
    } else if (host.contains(QLatin1Char(':'))) {
        return std::nullopt;  // an IPv6 address needs its brackets
    }
    if (host.isEmpty()) host = QStringLiteral("127.0.0.1");
    return ListenAddress{host, *port};
}

bool IsLoopback(const QString& host) {
    if (host.compare(QStringLiteral("localhost"), Qt::CaseInsensitive) == 0) return true;
    const QByteArray text = host.toLatin1();
    in_addr a4{};
    if (::inet_pton(AF_INET, text.constData(), &a4) == 1) return (ntohl(a4.s_addr) >> 24) == 127;
    in6_addr a6{};
    if (::inet_pton(AF_INET6, text.constData(), &a6) != 1) return false;
    if (IN6_IS_ADDR_LOOPBACK(&a6)) return true;
    return IN6_IS_ADDR_V4MAPPED(&a6) && a6.s6_addr[12] == 127;
}

QString DeviceUniqueId(profile::Profile& profile) {
    QString id = profile.GetValue(kHub, QStringLiteral("UniqueID"), kSub).trimmed();
    if (!QUuid::fromString(id).isNull()) return id;
    id = QUuid::createUuid().toString(QUuid::WithoutBraces);
    try {
        profile.WriteValue(kHub, QStringLiteral("UniqueID"), id, kSub);
    } catch (...) {
        // Kept in memory; the next start makes a new one.
    }
    return id;
}

ServerOptions ReadServerOptions(profile::Profile& profile) {
    ServerOptions o;
    const auto listen = ParseListenAddress(profile.GetValue(kHub, QStringLiteral("Listen"), kSub));
    if (listen) {
        o.address = listen->host;
        o.port = listen->port;
    }
    if (const auto port = Port(profile.GetValue(kHub, QStringLiteral("DiscoveryPort"), kSub)))
        o.discoveryPort = *port;
    bool ok = false;
    const double minutes =
        profile.GetValue(kHub, QStringLiteral("ClientIdleMinutes"), kSub).toDouble(&ok);
    if (ok && minutes > 0 && minutes <= 7 * 24 * 60)
        o.clientIdleTime = std::chrono::milliseconds(qint64(minutes * 60000.0));
    o.location = profile.GetValue(kHub, QStringLiteral("Location"), kSub);
    o.setupPassword = profile.GetValue(kHub, QStringLiteral("SetupPassword"), kSub);
    o.uniqueId = DeviceUniqueId(profile);
    return o;
}

}  // namespace celaris::alpaca
