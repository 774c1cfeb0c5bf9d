// The telescope drivers Celaris can create, as (ProgID, description) pairs:
// what the chooser offers and what CrossRef looks descriptions up in.
//
// In this order:
//   1. the built-in simulator, "Celaris.Simulator";
//   2. every telescope of the system's INDI catalogue, "indi:<device label>",
//      in catalogue order;
//   3. the Alpaca telescopes the user added, "alpaca:<host>:<port>/<device>",
//      kept as registered drivers of the settings store (device type
//      "Telescope"), in the store's order.
#pragma once

#include <QList>
#include <QString>

#include <optional>

#include "celaris/dispatch/errors.h"
#include "celaris/dispatch/ui.h"
#include "celaris/drivers_list/indi_catalog.h"
#include "celaris/profile/profile.h"

namespace celaris::drivers_list {

inline constexpr char kSimulatorProgId[] = "Celaris.Simulator";
inline constexpr char kSimulatorDescription[] = "Celaris Mount Simulator";
inline constexpr char kIndiPrefix[] = "indi:";
inline constexpr char kAlpacaPrefix[] = "alpaca:";

enum class DriverKind { Simulator, Indi, Alpaca };

struct InstalledDriver {
    QString progId;
    QString description;
    DriverKind kind = DriverKind::Simulator;
    // INDI drivers only: what indiserver needs to start it.
    IndiTelescope indi;

    friend bool operator==(const InstalledDriver&, const InstalledDriver&) = default;
};

struct AlpacaAddress {
    QString host;  // name, IPv4 address, or IPv6 address in brackets
    int port = 0;  // 1..65535
    int deviceNumber = 0;

    friend bool operator==(const AlpacaAddress&, const AlpacaAddress&) = default;
};

// "alpaca:HOST:PORT/N" <-> its parts; nothing for a malformed id.
std::optional<AlpacaAddress> ParseAlpacaProgId(const QString& progId);
QString AlpacaProgId(const AlpacaAddress& address);
// The device label of an "indi:LABEL" id; nothing for other ids.
std::optional<QString> IndiDeviceOf(const QString& progId);

// Adds an Alpaca telescope to the store (description defaults to "Alpaca
// telescope HOST:PORT/N"); false for a malformed address. Raises when the
// store cannot be written.
bool AddAlpacaTelescope(profile::Profile& profile, const AlpacaAddress& address,
                        const QString& description = QString());
void RemoveAlpacaTelescope(profile::Profile& profile, const QString& progId);

class InstalledDrivers {
  public:
    // errorSource is the source of the error an unreadable catalogue raises.
    explicit InstalledDrivers(const profile::Profile& profile,
                              QString indiCatalogPath = DefaultIndiCatalogPath(),
                              QString errorSource = QString::fromLatin1(dispatch::kHubSource));

    // The whole list. Raises 0x80040406 when the INDI catalogue exists but
    // cannot be read.
    QList<InstalledDriver> List() const;
    // The description of the first driver whose ProgID equals progId
    // exactly (letter case counts), else progId itself. Only "indi:" ids
    // need the catalogue, so only they can raise.
    QString CrossRef(const QString& progId) const;
    // The driver with exactly this ProgID.
    std::optional<InstalledDriver> Find(const QString& progId) const;
    // The list as the chooser shows it.
    QList<dispatch::DriverChoice> Choices() const;

  private:
    QList<InstalledDriver> Simulator() const;
    QList<InstalledDriver> Indi() const;
    QList<InstalledDriver> Alpaca() const;

    const profile::Profile& profile_;
    QString indiCatalogPath_;
    QString errorSource_;
    // The catalogue is read again only when its file changes.
    mutable QList<InstalledDriver> indiCache_;
    mutable QString indiCacheStamp_;
};

}  // namespace celaris::drivers_list
