#include "setup_model.h"

#include <cmath>

#include "celaris/ascom/sexagesimal.h"
#include "celaris/dispatch/errors.h"
#include "celaris/drivers_list/installed_drivers.h"
#include "celaris/units/angles.h"
#include "main_model.h"
#include "window_rules.h"

namespace celaris::models {

namespace {
using units::kPi;
constexpr double kMinLimitRad = 0.08726646259971639;  // 5 degrees
constexpr double kMaxLimitRad = 1.570796326794895;    // 90 degrees
const QString kSetupSource = QStringLiteral("Telescope Setup");

QString Dms(double deg) {
    return ascom::DegreesToDMS(deg, QStringLiteral("° "), QStringLiteral("' "),
                               QStringLiteral("\""), 0);
}
}  // namespace

SetupModel::SetupModel(hub::Program& program, QObject* parent)
    : QObject(parent), program_(program) {
    LoadData();
}

void SetupModel::LoadData() {
    const auto& s = program_.settings();
    SiteParam[0] = Dms(s.Latitude);
    SiteParam[1] = Dms(s.Longitude);
    SiteParam[2] = FormatFixed(s.Pressure, 3);
    SiteParam[3] = FormatFixed(s.Temperature, 2);
    txtPollInterval = FormatFixed(s.PollInterval, 3);
    txtDeclimit = FormatFixed(s.DecLimitRad * 180.0 / kPi, 3);
    txtAltLimit = FormatFixed(s.AltLimitRad * 180.0 / kPi, 3);
    txtFlipLimitE = FormatFixed(s.FlipLimitERad * 180.0 / kPi, 2);
    txtFlipLimitW = FormatFixed(s.FlipLimitWRad * 180.0 / kPi, 2);
    txtBacklash = FormatFixed(s.BacklashRad * 180.0 / kPi * 3600.0, 3);
    txtSlewPause = FormatFixed(s.SlewPause, 3);
    German = s.IsGerman;
    chkEnforce = s.EnforceLimits;
    chkAntiBacklash = s.AntiBacklash;
    chkFirstSlewPause = s.FirstSlewPause;
    chkJ2000 = s.J2000;
    Activate();
}

void SetupModel::Activate() {
    ChooseButton = program_.hub().state().DriverConnected ? QStringLiteral("Scope Properties")
                                                          : QStringLiteral("Select Telescope");
    emit changed();
}

void SetupModel::SetGerman(bool on) {
    German = on;
    program_.settings().IsGerman = on;
    emit changed();
}

void SetupModel::SetAntiBacklash(bool on) {
    chkAntiBacklash = on;
    emit changed();
}

void SetupModel::Choose() {
    dispatch::Ui& ui = program_.ui();
    hub::Hub& hub = program_.hub();
    if (hub.state().DriverConnected) {
        const QString id = program_.settings().Scope;
        if (const auto a = drivers_list::ParseAlpacaProgId(id); a && openUrl_) {
            // An Alpaca device's own settings are on its server's setup page.
            openUrl_(QStringLiteral("http://%1:%2/setup/v1/telescope/%3/setup")
                         .arg(a->host)
                         .arg(a->port)
                         .arg(a->deviceNumber));
            return;
        }
        try {
            hub.ConnectedDriver().Call(QStringLiteral("SetupDialog"));
        } catch (const dispatch::ComError&) {
            ui.ShowMessage({QStringLiteral("%1 has no settings dialog of its own. Its settings "
                                           "are those of its program (for INDI mounts, the INDI "
                                           "control panel).")
                                .arg(program_.installed().CrossRef(id)),
                            QStringLiteral("Scope Properties"), dispatch::MessageIcon::Information,
                            dispatch::MessageButtons::Ok, std::nullopt});
        }
        return;
    }
    QList<dispatch::DriverChoice> choices;
    try {
        choices = program_.installed().Choices();
    } catch (const dispatch::ComError& e) {
        ui.ShowError(e);
        return;
    }
    const QString current = hub.profile().ReadScope();
    const QString picked = ui.ChooseDriver(current, choices);
    if (picked.isEmpty()) return;
    try {
        profile::WriteScope(program_.profile(), picked);
        program_.settings().Scope = picked;
    } catch (const dispatch::ComError& e) {
        ui.ShowError(e);
    }
    emit changed();
}

bool SetupModel::FromMount() {
    hub::Hub& hub = program_.hub();
    try {
        Driver& d = hub.ConnectedDriver();
        const double lat = ToDouble(d.Get(QStringLiteral("SiteLatitude")), "SiteLatitude");
        const double lon = ToDouble(d.Get(QStringLiteral("SiteLongitude")), "SiteLongitude");
        SiteParam[0] = Dms(lat);
        SiteParam[1] = Dms(lon);
    } catch (const dispatch::ComError& e) {
        program_.ui().ShowError(e);
        return false;
    }
    emit changed();
    return true;
}

double SetupModel::Number(const QString& text, const QString& box) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        throw dispatch::ComError(13, kSetupSource,
                                 QStringLiteral("%1: \"%2\" is not a number.").arg(box, text));
    return v;
}

bool SetupModel::Ok() {
    auto& s = program_.settings();
    try {
        // Site, in the store's units.
        const auto lat = ascom::DMSToDegrees(SiteParam[0]);
        if (!lat)
            throw dispatch::ComError(
                13, kSetupSource,
                QStringLiteral("Lat (deg N+): \"%1\" is not an angle.").arg(SiteParam[0]));
        s.Latitude = *lat;
        const auto lon = ascom::DMSToDegrees(SiteParam[1]);
        if (!lon)
            throw dispatch::ComError(
                13, kSetupSource,
                QStringLiteral("Long (deg E+): \"%1\" is not an angle.").arg(SiteParam[1]));
        s.Longitude = *lon;
        s.Pressure = Number(SiteParam[2], QStringLiteral("Atm (kPa)"));
        s.Temperature = Number(SiteParam[3], QStringLiteral("T (C)"));
        s.BacklashRad =
            Number(txtBacklash, QStringLiteral("Backlash (Arc Sec)")) / 3600.0 * kPi / 180.0;
        s.IsGerman = German;
        s.AntiBacklash = chkAntiBacklash;
        s.EnforceLimits = chkEnforce;
        s.FirstSlewPause = chkFirstSlewPause;
        s.J2000 = chkJ2000;
        s.FlipLimitERad = Number(txtFlipLimitE, QStringLiteral("Flip limit E (deg)")) * kPi / 180.0;
        s.FlipLimitWRad = Number(txtFlipLimitW, QStringLiteral("Flip limit W (deg)")) * kPi / 180.0;
        // A fork mount has no west flip limit to check.
        if (std::abs(s.FlipLimitERad) > kPi / 4 || s.FlipLimitERad < 0 ||
            (s.IsGerman && (std::abs(s.FlipLimitWRad) > kPi / 4 || s.FlipLimitWRad < 0))) {
            program_.ui().ShowMessage(
                {QStringLiteral("The pier flip limits must be between 0 and 45 degrees"),
                 program_.ui().programTitle(), dispatch::MessageIcon::None,
                 dispatch::MessageButtons::Ok, std::nullopt});
            return false;
        }
        s.PollInterval = std::clamp(
            std::abs(Number(txtPollInterval, QStringLiteral("Poll Interval (sec)"))), 0.1, 10.0);
        s.SlewPause = std::clamp(std::abs(Number(txtSlewPause, QStringLiteral("Slew Pause (sec)"))),
                                 0.1, 60.0);
        s.DecLimitRad = std::clamp(
            std::abs(Number(txtDeclimit, QStringLiteral("Dec Limit (deg)"))) * kPi / 180.0,
            kMinLimitRad, kMaxLimitRad);
        s.AltLimitRad =
            std::clamp(std::abs(Number(txtAltLimit, QStringLiteral("Alt Limit"))) * kPi / 180.0,
                       kMinLimitRad, kMaxLimitRad);
    } catch (const dispatch::ComError& e) {
        program_.ui().ShowError(e);
        emit changed();
        return false;
    }
    if (main_) main_->ApplySetup();
    program_.status().SetPollInterval(s.PollInterval);
    emit changed();
    return true;
}

QString SiteMismatchText(hub::Hub& hub) {
    try {
        Driver& d = hub.ConnectedDriver();
        const double lat = ToDouble(d.Get(QStringLiteral("SiteLatitude")), "SiteLatitude");
        const double lon = ToDouble(d.Get(QStringLiteral("SiteLongitude")), "SiteLongitude");
        const auto& s = hub.settings();
        const double dLon = std::remainder(lon - s.Longitude, 360.0);
        if (std::abs(lat - s.Latitude) <= 1.0 / 60.0 && std::abs(dLon) <= 1.0 / 60.0) return {};
        return QStringLiteral("Site differs from the mount's (%1, %2): check Scope Setup")
            .arg(Dms(lat), Dms(lon));
    } catch (...) {
        return {};  // a mount that does not know its site
    }
}

}  // namespace celaris::models
