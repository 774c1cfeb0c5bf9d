// The system's INDI driver catalogue (drivers.xml of the indi-bin package):
// which telescope drivers are installed and the executable indiserver has to
// start for each.
#pragma once

#include <QList>
#include <QString>

namespace celaris::drivers_list {

inline constexpr char kDefaultIndiCatalogPath[] = "/usr/share/indi/drivers.xml";

// $CELARIS_INDI_CATALOG when set, else the system's catalogue.
QString DefaultIndiCatalogPath();

struct IndiTelescope {
    QString label;         // the device's name, e.g. "Telescope Simulator"
    QString manufacturer;  // may be empty
    QString driverName;    // the <driver name="..."> attribute
    QString executable;    // e.g. "indi_simulator_telescope"
    QString version;

    friend bool operator==(const IndiTelescope&, const IndiTelescope&) = default;
};

// The devices of the group "Telescopes", in catalogue order; a label seen
// twice keeps its first entry, devices without a label or an executable are
// left out. A missing catalogue gives an empty list. One that exists but
// cannot be read or parsed raises 0x80040406 "Failed to open sub-key
// <path>." with the given source.
QList<IndiTelescope> ReadIndiTelescopes(const QString& path, const QString& errorSource);

}  // namespace celaris::drivers_list
