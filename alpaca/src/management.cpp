#include "management.h"

#include <QJsonArray>
#include <QJsonObject>

#include "celaris/ascom/sexagesimal.h"

namespace celaris::alpaca {

QJsonValue ApiVersions() {
    return QJsonArray{1};
}

QJsonValue ServerDescription(const ServerIdentity& id) {
    return QJsonObject{{QStringLiteral("ServerName"), id.serverName},
                       {QStringLiteral("Manufacturer"), id.manufacturer},
                       {QStringLiteral("ManufacturerVersion"), id.manufacturerVersion},
                       {QStringLiteral("Location"), id.location}};
}

QJsonValue ConfiguredDevices(const ServerIdentity& id) {
    return QJsonArray{QJsonObject{{QStringLiteral("DeviceName"), id.deviceName},
                                  {QStringLiteral("DeviceType"), QStringLiteral("Telescope")},
                                  {QStringLiteral("DeviceNumber"), 0},
                                  {QStringLiteral("UniqueID"), id.uniqueId}}};
}

namespace {

QString Row(const QString& name, const QString& value) {
    return QStringLiteral("<tr><th>%1</th><td>%2</td></tr>\n")
        .arg(name.toHtmlEscaped(), value.toHtmlEscaped());
}

QString Position(double raHours, double decDeg) {
    return ascom::HoursToHMS(raHours, QStringLiteral("h "), QStringLiteral("m "),
                             QStringLiteral("s"), 1) +
           QStringLiteral("   ") +
           ascom::DegreesToDMS(decDeg, QStringLiteral("° "), QStringLiteral("' "),
                               QStringLiteral("\""), 0);
}

QString ArcSeconds(double radians) {
    return QString::number(radians * units::kRadiansToDegrees * units::kArcSecondsPerDegree, 'f',
                           1) +
           QStringLiteral("\"");
}

}  // namespace

std::string SetupPage(hub::Hub& hub, const ServerIdentity& id, int clients) {
    const hub::HubState& s = hub.state();
    const hub::Settings& m = hub.settings();
    QString driver;
    try {
        driver = hub.profile().ReadScope();
    } catch (...) {
    }
    QString html =
        QStringLiteral(
            "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>%1</title>\n"
            "<style>body{font-family:sans-serif;margin:2em}th{text-align:left;padding-right:2em}"
            "td{font-family:monospace}</style></head><body>\n<h1>%1 telescope hub</h1>\n<table>\n")
            .arg(id.serverName.toHtmlEscaped());
    html +=
        Row(QStringLiteral("Driver"), driver.isEmpty() ? QStringLiteral("None selected") : driver);
    html +=
        Row(QStringLiteral("Connection"),
            s.DriverConnected ? QStringLiteral("Connected, %1 connection(s)").arg(s.ConnectionCount)
                              : QStringLiteral("Not connected"));
    html += Row(QStringLiteral("Alpaca clients"), QString::number(clients));
    if (!s.SiteMismatch.isEmpty()) html += Row(QStringLiteral("Site warning"), s.SiteMismatch);
    html += Row(QStringLiteral("Raw position"), Position(s.ScopeRA, s.ScopeDec));
    html += Row(QStringLiteral("Corrected position"), Position(s.CorrectedRA, s.CorrectedDec));
    html += Row(QStringLiteral("Status"),
                QString(s.StatusText).replace(QStringLiteral("\r\n"), QStringLiteral(" | ")));
    html += QStringLiteral("</table>\n<h2>Model terms</h2>\n<table>\n");
    const std::pair<const char*, double> terms[] = {
        {"Hour angle offset", m.HourOffsetRad}, {"Declination offset", m.DecOffsetRad},
        {"Collimation", m.CollimationRad},      {"Axis non-perpendicularity", m.AxisNonPerpRad},
        {"Polar left-right", m.PolarLRRad},     {"Polar vertical", m.PolarVertRad},
        {"Tube flexure", m.TubeFlexRad},        {"Fork flexure", m.ForkFlexRad},
        {"Declination flexure", m.DecFlexRad}};
    for (const auto& [name, value] : terms)
        html += Row(QString::fromLatin1(name), ArcSeconds(value));
    html += QStringLiteral(
                "</table>\n<p>Alpaca Telescope device 0, unique id %1. Settings are changed "
                "in the Celaris program.</p>\n</body></html>\n")
                .arg(id.uniqueId.toHtmlEscaped());
    return html.toStdString();
}

}  // namespace celaris::alpaca
