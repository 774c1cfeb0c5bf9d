// "indi:" ids and the factory entry that makes them.
#include "celaris/dispatch/driver.h"
#include "celaris/drivers/indi/indi_telescope.h"

namespace celaris {

namespace indi {

namespace {

bool Digits(const QString& s) {
    if (s.isEmpty() || s.size() > 5) return false;
    for (QChar c : s)
        if (c < u'0' || c > u'9') return false;
    return true;
}

bool HostName(const QString& host) {
    if (host.isEmpty()) return false;
    for (QChar c : host)
        if (!(c.isLetterOrNumber() || c == u'-' || c == u'.' || c == u'_' || c == u':') ||
            c.unicode() > 0x7F)
            return false;
    return true;
}

}  // namespace

std::optional<IndiAddress> ParseIndiId(const QString& id) {
    const QString prefix = QString::fromLatin1(kIdPrefix);
    if (!id.startsWith(prefix)) return std::nullopt;
    const QString rest = id.mid(prefix.size());
    IndiAddress a;
    // "HOST:PORT/DEVICE" when what comes before the first slash is a server
    // address; otherwise the whole rest is a device name (which may hold
    // slashes and colons of its own).
    const qsizetype slash = rest.indexOf(QLatin1Char('/'));
    if (slash > 0) {
        const QString server = rest.left(slash);
        const qsizetype colon = server.lastIndexOf(QLatin1Char(':'));
        QString host = colon > 0 ? server.left(colon) : QString();
        const QString port = colon > 0 ? server.mid(colon + 1) : QString();
        if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
            host = host.mid(1, host.size() - 2);
        if (Digits(port) && HostName(host) && port.toInt() >= 1 && port.toInt() <= 65535) {
            a.host = host;
            a.port = port.toInt();
            a.device = rest.mid(slash + 1);
            a.explicitServer = true;
            if (a.device.isEmpty()) return std::nullopt;
            return a;
        }
    }
    if (rest.isEmpty()) return std::nullopt;
    a.device = rest;
    return a;
}

}  // namespace indi

void RegisterIndiDriver() {
    DriverFactory::Instance().Register(
        QString::fromLatin1(indi::kIdPrefix), [](const QString& id) -> std::unique_ptr<Driver> {
            const auto address = indi::ParseIndiId(id);
            if (!address)
                Raise(static_cast<int32_t>(0x80040154), QStringLiteral("Celaris"),
                      QStringLiteral("\"%1\" is not an INDI telescope id "
                                     "(indi:HOST:PORT/DEVICE or indi:DEVICE).")
                          .arg(id));
            return std::make_unique<indi::IndiTelescope>(id, *address);
        });
}

}  // namespace celaris
