// The management API (what this server is and which devices it has) and
// the setup page, a small HTML view of the hub for a browser.
#pragma once

#include <QJsonValue>
#include <QString>

#include <string>

#include "celaris/hub/hub.h"
#include "celaris/version.h"

namespace celaris::alpaca {

struct ServerIdentity {
    QString serverName = QStringLiteral("Celaris");
    QString manufacturer = QStringLiteral("Celaris");
    QString manufacturerVersion = QString::fromLatin1(version::kVersion);
    QString location;
    QString deviceName = QStringLiteral("Celaris");
    QString uniqueId;  // of Telescope 0, persistent
};

QJsonValue ApiVersions();
QJsonValue ServerDescription(const ServerIdentity& identity);
QJsonValue ConfiguredDevices(const ServerIdentity& identity);

// What the hub drives and where it points: the chosen driver, the
// connection, the raw and corrected positions and the model terms.
std::string SetupPage(hub::Hub& hub, const ServerIdentity& identity, int clients);

}  // namespace celaris::alpaca
