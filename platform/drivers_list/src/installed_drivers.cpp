#include "celaris/drivers_list/installed_drivers.h"

#include <QDateTime>
#include <QFileInfo>

namespace celaris::drivers_list {

namespace {
const QString kIndi = QString::fromLatin1(kIndiPrefix);
const QString kAlpaca = QString::fromLatin1(kAlpacaPrefix);

bool ValidHost(const QString& host) {
    if (host.isEmpty()) return false;
    if (host.startsWith(QLatin1Char('['))) {
        // IPv6: "[...]" with hex digits, colons and dots inside.
        if (!host.endsWith(QLatin1Char(']')) || host.size() < 3) return false;
        for (QChar c : host.mid(1, host.size() - 2))
            if (!(c.isDigit() || (c.toLower() >= u'a' && c.toLower() <= u'f') || c == u':' ||
                  c == u'.'))
                return false;
        return true;
    }
    // Host names and IPv4 addresses.
    for (QChar c : host)
        if (!(c.isLetterOrNumber() || c == u'-' || c == u'.' || c == u'_') || c.unicode() > 0x7F)
            return false;
    return true;
}
}  // namespace

std::optional<AlpacaAddress> ParseAlpacaProgId(const QString& progId) {
    if (!progId.startsWith(kAlpaca)) return std::nullopt;
    const QString rest = progId.mid(kAlpaca.size());
    const qsizetype slash = rest.lastIndexOf(QLatin1Char('/'));
    if (slash < 0) return std::nullopt;
    const qsizetype colon = rest.lastIndexOf(QLatin1Char(':'), slash);
    if (colon <= 0) return std::nullopt;
    const QString portText = rest.mid(colon + 1, slash - colon - 1);
    const QString numberText = rest.mid(slash + 1);
    auto digitsOnly = [](const QString& s) {
        if (s.isEmpty() || s.size() > 9) return false;
        for (QChar c : s)
            if (c < u'0' || c > u'9') return false;
        return true;
    };
    if (!digitsOnly(portText) || !digitsOnly(numberText)) return std::nullopt;
    AlpacaAddress a{rest.left(colon), portText.toInt(), numberText.toInt()};
    if (!ValidHost(a.host) || a.port < 1 || a.port > 65535) return std::nullopt;
    return a;
}

QString AlpacaProgId(const AlpacaAddress& a) {
    return kAlpaca + a.host + QLatin1Char(':') + QString::number(a.port) + QLatin1Char('/') +
           QString::number(a.deviceNumber);
}

std::optional<QString> IndiDeviceOf(const QString& progId) {
    if (!progId.startsWith(kIndi) || progId.size() == kIndi.size()) return std::nullopt;
    return progId.mid(kIndi.size());
}

bool AddAlpacaTelescope(profile::Profile& profile, const AlpacaAddress& address,
                        const QString& description) {
    const QString progId = AlpacaProgId(address);
    if (!ParseAlpacaProgId(progId)) return false;
    const QString text = description.trimmed().isEmpty()
                             ? QStringLiteral("Alpaca telescope ") + progId.mid(kAlpaca.size())
                             : description.trimmed();
    profile.Register(progId, text);
    return true;
}

void RemoveAlpacaTelescope(profile::Profile& profile, const QString& progId) {
    if (ParseAlpacaProgId(progId)) profile.Unregister(progId);
}

InstalledDrivers::InstalledDrivers(const profile::Profile& profile, QString indiCatalogPath,
                                   QString errorSource)
    : profile_(profile),
      indiCatalogPath_(std::move(indiCatalogPath)),
      errorSource_(std::move(errorSource)) {}

QList<InstalledDriver> InstalledDrivers::Simulator() const {
    return {InstalledDriver{QString::fromLatin1(kSimulatorProgId),
                            QString::fromLatin1(kSimulatorDescription),
                            DriverKind::Simulator,
                            {}}};
}

QList<InstalledDriver> InstalledDrivers::Indi() const {
    const QFileInfo info(indiCatalogPath_);
    const QString stamp = info.exists() ? QString::number(info.lastModified().toMSecsSinceEpoch()) +
                                              QLatin1Char('/') + QString::number(info.size())
                                        : QStringLiteral("missing");
    if (stamp == indiCacheStamp_) return indiCache_;

    QList<InstalledDriver> drivers;
    for (IndiTelescope& t : ReadIndiTelescopes(indiCatalogPath_, errorSource_)) {
        InstalledDriver d;
        d.progId = kIndi + t.label;
        d.description = t.label + QStringLiteral(" (INDI)");
        d.kind = DriverKind::Indi;
        d.indi = std::move(t);
        drivers.append(std::move(d));
    }
    indiCache_ = drivers;
    indiCacheStamp_ = stamp;
    return drivers;
}

QList<InstalledDriver> InstalledDrivers::Alpaca() const {
    QList<InstalledDriver> drivers;
    for (const QString& id : profile_.RegisteredDevices()) {
        if (!ParseAlpacaProgId(id)) continue;
        drivers.append({id, profile_.DriverDescription(id), DriverKind::Alpaca, {}});
    }
    return drivers;
}

QList<InstalledDriver> InstalledDrivers::List() const {
    return Simulator() + Indi() + Alpaca();
}

std::optional<InstalledDriver> InstalledDrivers::Find(const QString& progId) const {
    // Only INDI ids can be in the catalogue's part of the list.
    const QList<InstalledDriver> candidates =
        progId.startsWith(kIndi) ? Indi() : Simulator() + Alpaca();
    for (const InstalledDriver& d : candidates)
        if (d.progId == progId) return d;
    return std::nullopt;
}

QString InstalledDrivers::CrossRef(const QString& progId) const {
    const auto d = Find(progId);
    return d ? d->description : progId;
}

QList<dispatch::DriverChoice> InstalledDrivers::Choices() const {
    QList<dispatch::DriverChoice> choices;
    for (const InstalledDriver& d : List()) choices.append({d.progId, d.description});
    return choices;
}

}  // namespace celaris::drivers_list
