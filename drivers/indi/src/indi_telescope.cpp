// IndiTelescope: connection, the guards and the command machinery, and the
// members that read or set values (identity, capabilities, position, site,
// clock, tracking rates). Motion is in indi_telescope_motion.cpp.
#include "celaris/drivers/indi/indi_telescope.h"

#include <QDateTime>

#include <chrono>
#include <cmath>

#include "celaris/ascom/altaz.h"
#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers_list/indi_catalog.h"
#include "celaris/units/angles.h"
#include "celaris/version.h"
#include "judges.h"
#include "sidereal_time.h"
#include "slew_rates.h"

namespace celaris::indi {

using namespace std::chrono_literals;

namespace {

constexpr int32_t kDriverError = static_cast<int32_t>(0x80040500);
using units::kPi;
constexpr double kDegToRad = units::kDegreesToRadians;
// Seconds of UTC in one sidereal second, as ASCOM's rate units use it.
constexpr double kUtcPerSiderealSecond = 0.9972695677;
// The definitions of a newly connected device come in one burst.
constexpr auto kDefinitionsQuiet = 300ms;
constexpr auto kDefinitionsMax = 3s;
// A server that has defined nothing for this long has defined all it has.
constexpr auto kServerQuiet = 500ms;

// DRIVER_INFO.DRIVER_INTERFACE bit of a telescope.
constexpr int kTelescopeInterface = 1;

QString P(const char* name) {
    return QString::fromLatin1(name);
}

double Seconds(std::chrono::milliseconds ms) {
    return ms.count() / 1000.0;
}

}  // namespace

IndiTelescope::IndiTelescope(const QString& id, IndiAddress address, IndiOptions options)
    : TelescopeBase(id), address_(std::move(address)), options_(std::move(options)) {
    if (options_.catalogPath.isEmpty())
        options_.catalogPath = drivers_list::DefaultIndiCatalogPath();
}

IndiTelescope::~IndiTelescope() {
    // The client first: the server it reads from goes next.
    client_.reset();
    server_.reset();
}

// ---- Connection ----------------------------------------------------------

bool IndiTelescope::OpenClient(const QString& host, int port, QString* error) {
    client_ = std::make_unique<IndiClient>(host, port);
    if (!client_->Open(options_.connectTimeout, error)) return false;
    client_->GetProperties();
    return true;
}

bool IndiTelescope::WaitForDevice(const QString& device, bool orUntilQuiet) {
    const auto deadline = IndiClient::Clock::now() + options_.connectTimeout;
    for (;;) {
        const WaitResult r =
            client_->WaitUntil(std::min(deadline, IndiClient::Clock::now() + 100ms),
                               [&](const CacheView& v) { return v.Find(device, P("CONNECTION")); });
        if (r == WaitResult::Satisfied) return true;
        if (r == WaitResult::Lost || IndiClient::Clock::now() >= deadline) return false;
        if (orUntilQuiet && client_->SinceLastDefinition() >= kServerQuiet) return false;
    }
}

QString IndiTelescope::WaitForTelescopeDevice(const QString& preferred) {
    // The catalogue's label usually is the device's name; when it is not,
    // the server runs one driver, and its telescope is the device.
    const auto deadline = IndiClient::Clock::now() + options_.connectTimeout;
    for (;;) {
        const WaitResult r = client_->WaitUntil(
            std::min(deadline, IndiClient::Clock::now() + 100ms),
            [&](const CacheView& v) { return v.Find(preferred, P("CONNECTION")) != nullptr; });
        if (r == WaitResult::Satisfied) return preferred;
        if (r == WaitResult::Lost) RaiseLost();
        QString only;
        int devices = 0;
        for (const QString& d : client_->Devices()) {
            if (!client_->Find(d, P("CONNECTION"))) continue;
            ++devices;
            only = d;
            const auto info = client_->Find(d, P("DRIVER_INFO"));
            const auto iface = info ? info->Text(P("DRIVER_INTERFACE")) : std::nullopt;
            if (iface && (iface->toInt() & kTelescopeInterface)) return d;
        }
        const bool quiet = client_->SinceLastDefinition() >= kServerQuiet;
        if (quiet && devices == 1) return only;
        if (IndiClient::Clock::now() >= deadline || (quiet && devices > 1)) break;
    }
    Raise(ascom_error::kNotConnected, source(),
          QStringLiteral("The INDI server started for \"%1\" offers no telescope device.")
              .arg(address_.device));
}

void IndiTelescope::OpenServer() {
    QString error;
    if (address_.explicitServer) {
        if (!OpenClient(address_.host, address_.port, &error))
            Raise(ascom_error::kNotConnected, source(),
                  QStringLiteral("Cannot reach the INDI server at %1:%2: %3.")
                      .arg(address_.host)
                      .arg(address_.port)
                      .arg(error));
        if (!WaitForDevice(address_.device, false)) {
            if (client_->IsLost()) RaiseLost();
            Raise(ascom_error::kNotConnected, source(),
                  QStringLiteral("The INDI server at %1:%2 offers no device \"%3\".")
                      .arg(address_.host)
                      .arg(address_.port)
                      .arg(address_.device));
        }
        device_ = address_.device;
        return;
    }

    // A running server on the default port that offers the device wins.
    if (!server_ || !server_->Running()) {
        if (OpenClient(address_.host, address_.port, &error) &&
            WaitForDevice(address_.device, true)) {
            server_.reset();
            device_ = address_.device;
            return;
        }
        client_.reset();
        server_.reset();

        // Otherwise the catalogue's driver of that label, on a server of
        // our own.
        const auto catalogue = drivers_list::ReadIndiTelescopes(options_.catalogPath, source());
        const drivers_list::IndiTelescope* entry = nullptr;
        for (const auto& t : catalogue)
            if (t.label == address_.device) entry = &t;
        if (entry == nullptr)
            Raise(ascom_error::kNotConnected, source(),
                  QStringLiteral("No INDI server at %1:%2 offers the device \"%3\", and the INDI "
                                 "catalogue %4 lists no telescope of that name.")
                      .arg(address_.host)
                      .arg(address_.port)
                      .arg(address_.device, options_.catalogPath));
        IndiServerOptions serverOptions = options_.server;
        serverOptions.drivers = {entry->executable};
        server_ = IndiServer::Start(serverOptions, source());
    }
    if (!OpenClient(QStringLiteral("127.0.0.1"), server_->port(), &error))
        Raise(ascom_error::kNotConnected, source(),
              QStringLiteral("Cannot reach the INDI server started on port %1: %2.")
                  .arg(server_->port())
                  .arg(error));
    device_ = WaitForTelescopeDevice(address_.device);
}

void IndiTelescope::ConnectDevice() {
    const auto connection = client_->Find(device_, P("CONNECTION"));
    const bool connected =
        connection && connection->IsOn(P("CONNECT")) && connection->state == PropertyState::Ok;
    if (!connected) {
        const uint64_t sent =
            client_->SendSwitches(device_, P("CONNECTION"), {{P("CONNECT"), true}});
        Verdict verdict = Verdict::Pending;
        QList<Message> messages;
        const Judge judge = SwitchJudge({{P("CONNECT"), true}});
        const WaitResult r = client_->WaitUntil(
            IndiClient::Clock::now() + options_.deviceTimeout, [&](const CacheView& v) {
                const Property* p = v.Find(device_, P("CONNECTION"));
                if (p == nullptr) return false;
                messages = v.MessagesAfter(device_, sent);
                verdict = judge(*p, messages, sent);
                // Connecting may show Busy first; connected is On and Ok.
                if (verdict == Verdict::Accepted && p->state != PropertyState::Ok)
                    verdict = Verdict::Pending;
                return verdict != Verdict::Pending;
            });
        if (r == WaitResult::Lost) RaiseLost();
        if (verdict != Verdict::Accepted)
            Raise(ascom_error::kNotConnected, source(),
                  messages.isEmpty()
                      ? QStringLiteral("The INDI device \"%1\" did not connect within %2 s.")
                            .arg(device_)
                            .arg(Seconds(options_.deviceTimeout))
                      : Explanation(messages));
    }
    // The properties of a connected device follow its CONNECTION: wait for
    // the position, then for the rest of the burst.
    const WaitResult r = client_->WaitUntil(
        IndiClient::Clock::now() + options_.connectTimeout,
        [&](const CacheView& v) { return v.Find(device_, P("EQUATORIAL_EOD_COORD")) != nullptr; });
    if (r == WaitResult::Lost) RaiseLost();
    if (r != WaitResult::Satisfied)
        Raise(ascom_error::kNotConnected, source(),
              QStringLiteral("The INDI device \"%1\" defines no EQUATORIAL_EOD_COORD: it is not a "
                             "telescope Celaris can drive.")
                  .arg(device_));
    client_->WaitDefinitionsQuiet(kDefinitionsQuiet, IndiClient::Clock::now() + kDefinitionsMax);
}

bool IndiTelescope::Connected() {
    if (!client_ || !client_->IsOpen()) return false;
    const auto c = client_->Find(device_, P("CONNECTION"));
    return c && c->IsOn(P("CONNECT"));
}

void IndiTelescope::SetConnected(bool value) {
    if (!value) {
        // Only this client goes: other INDI clients may share the device,
        // so the device itself stays connected.
        if (client_) client_->Close();
        return;
    }
    if (Connected()) return;
    OpenServer();
    ConnectDevice();
}

// ---- Guards and reads ----------------------------------------------------

void IndiTelescope::RaiseLost() const {
    Raise(ascom_error::kNotConnected, source(),
          QStringLiteral("Lost the connection to the INDI server at %1:%2 (%3).")
              .arg(client_ ? client_->host() : address_.host)
              .arg(client_ ? client_->port() : address_.port)
              .arg(client_ ? client_->LostReason() : QString()));
}

void IndiTelescope::RequireConnected() const {
    if (client_ && client_->IsLost()) RaiseLost();
    if (!client_ || !client_->IsOpen()) ascom_error::NotConnected(source());
    const auto c = client_->Find(device_, P("CONNECTION"));
    if (!c || !c->IsOn(P("CONNECT")))
        Raise(ascom_error::kNotConnected, source(),
              QStringLiteral("The INDI device \"%1\" is not connected.").arg(device_));
}

std::optional<Property> IndiTelescope::Prop(const char* name) const {
    if (!client_) return std::nullopt;
    // What the cache kept from a lost server is no longer the device's word.
    if (client_->IsLost()) RaiseLost();
    return client_->Find(device_, P(name));
}

bool IndiTelescope::Offers(const char* name, const char* element) const {
    const auto p = Prop(name);
    return p && p->Writable() && p->Has(P(element));
}

void IndiTelescope::Unsupported(const QString& member, const QString& why) const {
    Raise(ascom_error::kNotImplemented, source(),
          QStringLiteral("%1 is not implemented: %2").arg(member, why));
}

Property IndiTelescope::Need(const char* name, const QString& member) const {
    RequireConnected();
    auto p = Prop(name);
    if (!p)
        Unsupported(
            member,
            QStringLiteral("the INDI device \"%1\" defines no %2 property.").arg(device_, P(name)));
    return std::move(*p);
}

double IndiTelescope::NeedNumber(const char* name, const char* element,
                                 const QString& member) const {
    const Property p = Need(name, member);
    const auto v = p.Number(P(element));
    if (!v || !std::isfinite(*v))
        Raise(kDriverError, source(),
              QStringLiteral("The INDI device \"%1\" sent no usable %2.%3 value.")
                  .arg(device_, P(name), P(element)));
    return *v;
}

// ---- Commands ------------------------------------------------------------

void IndiTelescope::Refused(const QString& member, const char* prop,
                            const QList<Message>& messages) const {
    const auto park = Prop("TELESCOPE_PARK");
    const bool parked = park && park->IsOn(P("PARK"));
    const QString text =
        messages.isEmpty()
            ? QStringLiteral("The INDI device \"%1\" refused %2 (%3 %4).")
                  .arg(device_, member, P(prop),
                       StateName(Prop(prop) ? Prop(prop)->state : PropertyState::Alert))
            : Explanation(messages);
    Raise(parked ? ascom_error::kInvalidWhileParked : ascom_error::kInvalidOperation, source(),
          text);
}

uint64_t IndiTelescope::Command(const QString& member, const char* prop,
                                const std::function<uint64_t()>& send, const Judge& judge) {
    const uint64_t sent = send();
    Verdict verdict = Verdict::Pending;
    bool gone = false;
    QList<Message> messages;
    const WaitResult r = client_->WaitUntil(IndiClient::Clock::now() + options_.commandTimeout,
                                            [&](const CacheView& v) {
                                                messages = v.MessagesAfter(device_, sent);
                                                const Property* p = v.Find(device_, P(prop));
                                                gone = p == nullptr;
                                                if (gone) return true;
                                                verdict = judge(*p, messages, sent);
                                                return verdict != Verdict::Pending;
                                            });
    if (r == WaitResult::Lost) RaiseLost();
    if (gone)
        Raise(ascom_error::kNotConnected, source(),
              QStringLiteral("The INDI device \"%1\" no longer offers %2.").arg(device_, P(prop)));
    if (verdict == Verdict::Accepted) return sent;
    if (verdict == Verdict::Refused) Refused(member, prop, messages);
    Raise(kDriverError, source(),
          QStringLiteral("The INDI device \"%1\" did not answer %2 within %3 s%4")
              .arg(device_, member)
              .arg(Seconds(options_.commandTimeout))
              .arg(messages.isEmpty() ? QStringLiteral(".")
                                      : QStringLiteral("; it said: ") + Explanation(messages)));
}

uint64_t IndiTelescope::SetSwitch(const QString& member, const char* prop, const QString& element) {
    return Command(
        member, prop,
        [&] {
            return client_->SendSwitches(device_, P(prop), {{element, true}});
        },
        SwitchJudge({{element, true}}));
}

void IndiTelescope::SetNumbers(const QString& member, const char* prop,
                               const QList<QPair<QString, double>>& values) {
    Command(
        member, prop, [&] { return client_->SendNumbers(device_, P(prop), values); }, ValueJudge());
}

void IndiTelescope::WaitWhileBusy(const QString& member, const char* prop, uint64_t since) {
    std::optional<Property> last;
    const WaitResult r = client_->WaitUntil(IndiClient::Clock::now() + options_.slewTimeout,
                                            [&](const CacheView& v) {
                                                const Property* p = v.Find(device_, P(prop));
                                                if (p == nullptr) return true;
                                                last = *p;
                                                return p->state != PropertyState::Busy;
                                            });
    if (r == WaitResult::Lost) RaiseLost();
    if (!last)
        Raise(ascom_error::kNotConnected, source(),
              QStringLiteral("The INDI device \"%1\" no longer offers %2.").arg(device_, P(prop)));
    if (r == WaitResult::TimedOut)
        Raise(kDriverError, source(),
              QStringLiteral("%1 did not end within %2 s.")
                  .arg(member)
                  .arg(Seconds(options_.slewTimeout)));
    if (last->state == PropertyState::Alert) {
        const QString said = Explanation(client_->MessagesAfter(device_, since));
        Raise(kDriverError, source(),
              said.isEmpty() ? QStringLiteral("%1 failed (%2 Alert).").arg(member, P(prop)) : said);
    }
}

// ---- Identity ------------------------------------------------------------

QString IndiTelescope::Name() {
    return address_.device;
}

QString IndiTelescope::Description() {
    const QString where =
        address_.explicitServer ? QStringLiteral("%1:%2").arg(address_.host).arg(address_.port)
        : server_ ? QStringLiteral("a server Celaris started on port %1").arg(server_->port())
                  : QStringLiteral("%1:%2").arg(address_.host).arg(address_.port);
    return QStringLiteral("INDI telescope \"%1\" at %2")
        .arg(device_.isEmpty() ? address_.device : device_, where);
}

QString IndiTelescope::DriverInfo() {
    QString info = QStringLiteral("Celaris INDI client %1").arg(DriverVersion());
    const auto d = client_ ? client_->Find(device_, P("DRIVER_INFO")) : std::nullopt;
    if (d) {
        info += QStringLiteral("; INDI driver %1 (%2) version %3")
                    .arg(d->Text(P("DRIVER_NAME")).value_or(QString()),
                         d->Text(P("DRIVER_EXEC")).value_or(QString()),
                         d->Text(P("DRIVER_VERSION")).value_or(QString()));
    }
    return info;
}

QString IndiTelescope::DriverVersion() {
    return QString::fromLatin1(version::kMajorMinor);
}

int IndiTelescope::InterfaceVersion() {
    return 3;
}

// ---- Capabilities --------------------------------------------------------

AlignmentModes IndiTelescope::AlignmentMode() {
    RequireConnected();
    // The simulator says what it simulates; a mount that reports its pier
    // side is a German equatorial.
    if (const auto type = Prop("MOUNT_TYPE")) {
        if (type->IsOn(P("EQ_GEM"))) return AlignmentModes::algGermanPolar;
        if (type->IsOn(P("EQ_FORK"))) return AlignmentModes::algPolar;
        if (type->IsOn(P("ALTAZ"))) return AlignmentModes::algAltAz;
    }
    if (Defines("TELESCOPE_PIER_SIDE")) return AlignmentModes::algGermanPolar;
    Unsupported(QStringLiteral("AlignmentMode"),
                QStringLiteral("INDI has no standard property for the mount's alignment."));
}

bool IndiTelescope::CanFindHome() {
    return false;
}
bool IndiTelescope::CanPark() {
    return Offers("TELESCOPE_PARK", "PARK");
}
bool IndiTelescope::CanUnpark() {
    return Offers("TELESCOPE_PARK", "UNPARK");
}
bool IndiTelescope::CanSetPark() {
    return Offers("TELESCOPE_PARK_OPTION", "PARK_CURRENT") &&
           Offers("TELESCOPE_PARK_OPTION", "PARK_WRITE_DATA");
}
bool IndiTelescope::CanPulseGuide() {
    return Defines("TELESCOPE_TIMED_GUIDE_NS") && Defines("TELESCOPE_TIMED_GUIDE_WE");
}
bool IndiTelescope::CanSetGuideRates() {
    return Offers("GUIDE_RATE", "GUIDE_RATE_WE") && Offers("GUIDE_RATE", "GUIDE_RATE_NS");
}
bool IndiTelescope::CanSetPierSide() {
    return false;
}
bool IndiTelescope::CanSetRightAscensionRate() {
    return Offers("TELESCOPE_TRACK_RATE", "TRACK_RATE_RA") &&
           Offers("TELESCOPE_TRACK_MODE", "TRACK_CUSTOM");
}
bool IndiTelescope::CanSetDeclinationRate() {
    return Offers("TELESCOPE_TRACK_RATE", "TRACK_RATE_DE") &&
           Offers("TELESCOPE_TRACK_MODE", "TRACK_CUSTOM");
}
bool IndiTelescope::CanSetTracking() {
    return Offers("TELESCOPE_TRACK_STATE", "TRACK_ON") &&
           Offers("TELESCOPE_TRACK_STATE", "TRACK_OFF");
}
bool IndiTelescope::CanSlew() {
    const auto eod = Prop("EQUATORIAL_EOD_COORD");
    return eod && eod->Writable() &&
           (Offers("ON_COORD_SET", "TRACK") || Offers("ON_COORD_SET", "SLEW"));
}
bool IndiTelescope::CanSlewAsync() {
    return CanSlew();
}
bool IndiTelescope::CanSync() {
    const auto eod = Prop("EQUATORIAL_EOD_COORD");
    return eod && eod->Writable() && Offers("ON_COORD_SET", "SYNC");
}
bool IndiTelescope::CanSlewAltAz() {
    return false;
}
bool IndiTelescope::CanSlewAltAzAsync() {
    return false;
}
bool IndiTelescope::CanSyncAltAz() {
    return false;
}

bool IndiTelescope::CanMoveAxis(TelescopeAxes axis) {
    switch (axis) {
        case TelescopeAxes::axisPrimary:
            return Offers("TELESCOPE_MOTION_WE", "MOTION_WEST");
        case TelescopeAxes::axisSecondary:
            return Offers("TELESCOPE_MOTION_NS", "MOTION_NORTH");
        case TelescopeAxes::axisTertiary:
            break;
    }
    return false;
}

AxisRates IndiTelescope::AxisRates(TelescopeAxes axis) {
    celaris::AxisRates rates;
    if (!CanMoveAxis(axis)) return rates;
    if (const auto p = Prop("TELESCOPE_SLEW_RATE"))
        for (const SlewRate& r : SlewRates(*p)) rates.append({r.degPerSecond, r.degPerSecond});
    return rates;
}

TrackingRates IndiTelescope::TrackingRates() {
    const auto mode = Prop("TELESCOPE_TRACK_MODE");
    if (!mode) return {static_cast<int>(DriveRates::driveSidereal)};
    celaris::TrackingRates rates;
    const QList<QPair<const char*, DriveRates>> known = {
        {"TRACK_SIDEREAL", DriveRates::driveSidereal},
        {"TRACK_LUNAR", DriveRates::driveLunar},
        {"TRACK_SOLAR", DriveRates::driveSolar},
        {"TRACK_KING", DriveRates::driveKing}};
    for (const auto& [element, rate] : known)
        if (mode->Has(P(element))) rates.append(static_cast<int>(rate));
    return rates;
}

// ---- Position ------------------------------------------------------------

double IndiTelescope::RightAscension() {
    return NeedNumber("EQUATORIAL_EOD_COORD", "RA", QStringLiteral("RightAscension"));
}

double IndiTelescope::Declination() {
    return NeedNumber("EQUATORIAL_EOD_COORD", "DEC", QStringLiteral("Declination"));
}

double IndiTelescope::LatitudeDeg(const QString& member) const {
    return NeedNumber("GEOGRAPHIC_COORD", "LAT", member);
}

double IndiTelescope::LongitudeDeg(const QString& member) const {
    const double east = NeedNumber("GEOGRAPHIC_COORD", "LONG", member);
    // INDI counts 0 to 360 east; ASCOM -180 to 180.
    return east > 180.0 ? east - 360.0 : east;
}

double IndiTelescope::LocalSiderealHours(const QString& member) const {
    const double now =
        std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
    return LocalApparentSiderealTime(now, LongitudeDeg(member));
}

double IndiTelescope::SiderealTime() {
    return LocalSiderealHours(QStringLiteral("SiderealTime"));
}

double IndiTelescope::Altitude() {
    const QString m = QStringLiteral("Altitude");
    const double ha = (LocalSiderealHours(m) - RightAscension()) * 15.0 * kDegToRad;
    return ascom::hadec_aa(LatitudeDeg(m) * kDegToRad, ha, Declination() * kDegToRad).altRad /
           kDegToRad;
}

double IndiTelescope::Azimuth() {
    const QString m = QStringLiteral("Azimuth");
    const double ha = (LocalSiderealHours(m) - RightAscension()) * 15.0 * kDegToRad;
    return ascom::hadec_aa(LatitudeDeg(m) * kDegToRad, ha, Declination() * kDegToRad).azRad /
           kDegToRad;
}

EquatorialCoordinateType IndiTelescope::EquatorialSystem() {
    return EquatorialCoordinateType::equLocalTopocentric;
}

bool IndiTelescope::DoesRefraction() {
    // EQUATORIAL_EOD_COORD is apparent place without refraction.
    return false;
}

bool IndiTelescope::AtHome() {
    return false;
}

bool IndiTelescope::AtPark() {
    RequireConnected();
    const auto park = Prop("TELESCOPE_PARK");
    // Parking shows PARK On while Busy; parked is PARK On and done.
    return park && park->IsOn(P("PARK")) && park->state != PropertyState::Busy &&
           park->state != PropertyState::Alert;
}

bool IndiTelescope::Slewing() {
    RequireConnected();
    for (const char* name :
         {"EQUATORIAL_EOD_COORD", "TELESCOPE_PARK", "TELESCOPE_MOTION_NS", "TELESCOPE_MOTION_WE"}) {
        const auto p = Prop(name);
        if (p && p->state == PropertyState::Busy) return true;
    }
    return false;
}

bool IndiTelescope::IsPulseGuiding() {
    RequireConnected();
    for (const char* name : {"TELESCOPE_TIMED_GUIDE_NS", "TELESCOPE_TIMED_GUIDE_WE"}) {
        const auto p = Prop(name);
        if (p && p->state == PropertyState::Busy) return true;
    }
    return false;
}

PierSide IndiTelescope::SideOfPier() {
    const Property p = Need("TELESCOPE_PIER_SIDE", QStringLiteral("SideOfPier"));
    if (p.IsOn(P("PIER_EAST"))) return PierSide::pierEast;
    if (p.IsOn(P("PIER_WEST"))) return PierSide::pierWest;
    return PierSide::pierUnknown;
}

PierSide IndiTelescope::DestinationSideOfPier(double ra, double dec) {
    const QString m = QStringLiteral("DestinationSideOfPier");
    Need("TELESCOPE_PIER_SIDE", m);
    CheckCoordinates(ra, dec);
    // A German mount looks east from the west side of the pier: targets
    // whose hour angle is below the flip hour angle (FLIP_HA, degrees, where
    // the device has it; else the meridian) end pierWest.
    double flipHours = 0.0;
    if (const auto flip = Prop("FLIP_HA"))
        flipHours = flip->Number(P("FLIP_HA")).value_or(0.0) / 15.0;
    const double ha = std::remainder(LocalSiderealHours(m) - ra, 24.0);
    return ha < flipHours ? PierSide::pierWest : PierSide::pierEast;
}

double IndiTelescope::ApertureDiameter() {
    return NeedNumber("TELESCOPE_INFO", "TELESCOPE_APERTURE", QStringLiteral("ApertureDiameter")) /
           1000.0;
}

double IndiTelescope::ApertureArea() {
    // INDI knows no central obstruction: the full circle.
    const double d = ApertureDiameter();
    return kPi * d * d / 4.0;
}

double IndiTelescope::FocalLength() {
    return NeedNumber("TELESCOPE_INFO", "TELESCOPE_FOCAL_LENGTH", QStringLiteral("FocalLength")) /
           1000.0;
}

// ---- Site and clock ------------------------------------------------------

double IndiTelescope::SiteLatitude() {
    return LatitudeDeg(QStringLiteral("SiteLatitude"));
}

double IndiTelescope::SiteLongitude() {
    return LongitudeDeg(QStringLiteral("SiteLongitude"));
}

double IndiTelescope::SiteElevation() {
    return NeedNumber("GEOGRAPHIC_COORD", "ELEV", QStringLiteral("SiteElevation"));
}

namespace {
void CheckRange(const QString& source, const QString& what, double v, double lo, double hi) {
    if (!(v >= lo && v <= hi))
        ascom_error::InvalidValue(
            source, QStringLiteral("%1 %2 is outside %3 to %4.").arg(what).arg(v).arg(lo).arg(hi));
}
}  // namespace

// GEOGRAPHIC_COORD is written whole: INDI mounts take a missing element as 0.
void IndiTelescope::SetSiteLatitude(double value) {
    const QString m = QStringLiteral("SiteLatitude");
    CheckRange(source(), m, value, -90.0, 90.0);
    const Property g = Need("GEOGRAPHIC_COORD", m);
    SetNumbers(m, "GEOGRAPHIC_COORD",
               {{P("LAT"), value},
                {P("LONG"), g.Number(P("LONG")).value_or(0.0)},
                {P("ELEV"), g.Number(P("ELEV")).value_or(0.0)}});
}

void IndiTelescope::SetSiteLongitude(double value) {
    const QString m = QStringLiteral("SiteLongitude");
    CheckRange(source(), m, value, -180.0, 180.0);
    const Property g = Need("GEOGRAPHIC_COORD", m);
    SetNumbers(m, "GEOGRAPHIC_COORD",
               {{P("LAT"), g.Number(P("LAT")).value_or(0.0)},
                {P("LONG"), value < 0.0 ? value + 360.0 : value},
                {P("ELEV"), g.Number(P("ELEV")).value_or(0.0)}});
}

void IndiTelescope::SetSiteElevation(double value) {
    const QString m = QStringLiteral("SiteElevation");
    CheckRange(source(), m, value, -300.0, 10000.0);
    const Property g = Need("GEOGRAPHIC_COORD", m);
    SetNumbers(m, "GEOGRAPHIC_COORD",
               {{P("LAT"), g.Number(P("LAT")).value_or(0.0)},
                {P("LONG"), g.Number(P("LONG")).value_or(0.0)},
                {P("ELEV"), value}});
}

QDateTime IndiTelescope::UTCDate() {
    const Property t = Need("TIME_UTC", QStringLiteral("UTCDate"));
    const QString text = t.Text(P("UTC")).value_or(QString());
    QDateTime utc = QDateTime::fromString(text, Qt::ISODateWithMs);
    if (!utc.isValid())
        Raise(kDriverError, source(),
              QStringLiteral("The INDI device \"%1\" sent TIME_UTC \"%2\", which is not a date.")
                  .arg(device_, text));
    utc.setTimeSpec(Qt::UTC);
    // The device reports its clock when it is set, not as it runs: add the
    // time since that report.
    const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
        IndiClient::Clock::now() - t.receivedAt);
    return utc.addMSecs(since.count());
}

void IndiTelescope::SetUTCDate(const QDateTime& value) {
    const QString m = QStringLiteral("UTCDate");
    if (!value.isValid())
        ascom_error::InvalidValue(source(), QStringLiteral("The date is not valid."));
    const Property t = Need("TIME_UTC", m);
    const QString iso = value.toUTC().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss"));
    Command(
        m, "TIME_UTC",
        [&] {
            return client_->SendTexts(
                device_, P("TIME_UTC"),
                {{P("UTC"), iso},
                 {P("OFFSET"), t.Text(P("OFFSET")).value_or(QStringLiteral("0"))}});
        },
        ValueJudge());
}

// ---- Tracking rates ------------------------------------------------------

DriveRates IndiTelescope::TrackingRate() {
    RequireConnected();
    const auto mode = Prop("TELESCOPE_TRACK_MODE");
    if (!mode) return DriveRates::driveSidereal;
    if (mode->IsOn(P("TRACK_LUNAR"))) return DriveRates::driveLunar;
    if (mode->IsOn(P("TRACK_SOLAR"))) return DriveRates::driveSolar;
    if (mode->IsOn(P("TRACK_KING"))) return DriveRates::driveKing;
    // Custom rates are offsets from sidereal.
    return DriveRates::driveSidereal;
}

void IndiTelescope::SetTrackingRate(DriveRates value) {
    const QString m = QStringLiteral("TrackingRate");
    Need("TELESCOPE_TRACK_MODE", m);
    const char* element = nullptr;
    switch (value) {
        case DriveRates::driveSidereal:
            element = "TRACK_SIDEREAL";
            break;
        case DriveRates::driveLunar:
            element = "TRACK_LUNAR";
            break;
        case DriveRates::driveSolar:
            element = "TRACK_SOLAR";
            break;
        case DriveRates::driveKing:
            element = "TRACK_KING";
            break;
    }
    if (element == nullptr || !Offers("TELESCOPE_TRACK_MODE", element))
        ascom_error::InvalidValue(
            source(), QStringLiteral("The mount offers no tracking rate %1.").arg(int(value)));
    SetSwitch(m, "TELESCOPE_TRACK_MODE", P(element));
}

// ASCOM: right ascension rate in seconds of right ascension per sidereal
// second, declination rate in arc seconds per second, both offsets from
// sidereal tracking. INDI: absolute rates in arc seconds per second, where a
// rate above sidereal lets the right ascension fall behind.
double IndiTelescope::RightAscensionRate() {
    RequireConnected();
    const auto mode = Prop("TELESCOPE_TRACK_MODE");
    const auto rate = Prop("TELESCOPE_TRACK_RATE");
    if (!mode || !rate || !mode->IsOn(P("TRACK_CUSTOM"))) return 0.0;
    const double indi = rate->Number(P("TRACK_RATE_RA")).value_or(kSiderealArcsecPerSecond);
    const double offset = (kSiderealArcsecPerSecond - indi) / 15.0 * kUtcPerSiderealSecond;
    // What the wire's twelve decimals leave of a zero offset is zero.
    return std::fabs(offset) < 1e-10 ? 0.0 : offset;
}

double IndiTelescope::DeclinationRate() {
    RequireConnected();
    const auto mode = Prop("TELESCOPE_TRACK_MODE");
    const auto rate = Prop("TELESCOPE_TRACK_RATE");
    if (!mode || !rate || !mode->IsOn(P("TRACK_CUSTOM"))) return 0.0;
    return rate->Number(P("TRACK_RATE_DE")).value_or(0.0);
}

void IndiTelescope::SetTrackRates(const QString& member, double raRate, double decRate) {
    if (!std::isfinite(raRate) || !std::isfinite(decRate))
        ascom_error::InvalidValue(source(), QStringLiteral("%1 must be a number.").arg(member));
    Need("TELESCOPE_TRACK_RATE", member);
    Need("TELESCOPE_TRACK_MODE", member);
    if (!Offers("TELESCOPE_TRACK_MODE", "TRACK_CUSTOM"))
        Unsupported(member,
                    QStringLiteral("the INDI device \"%1\" has no custom tracking.").arg(device_));
    const double indiRa = kSiderealArcsecPerSecond - raRate * 15.0 / kUtcPerSiderealSecond;
    SetNumbers(member, "TELESCOPE_TRACK_RATE",
               {{P("TRACK_RATE_RA"), indiRa}, {P("TRACK_RATE_DE"), decRate}});
    // Zero offsets are plain sidereal tracking.
    const bool custom = std::fabs(raRate) >= 1e-10 || std::fabs(decRate) >= 1e-10;
    const auto mode = Prop("TELESCOPE_TRACK_MODE");
    const QString want = custom ? P("TRACK_CUSTOM") : P("TRACK_SIDEREAL");
    if (mode && !mode->IsOn(want) && (custom || mode->IsOn(P("TRACK_CUSTOM"))))
        SetSwitch(member, "TELESCOPE_TRACK_MODE", want);
}

void IndiTelescope::SetRightAscensionRate(double value) {
    SetTrackRates(QStringLiteral("RightAscensionRate"), value, DeclinationRate());
}

void IndiTelescope::SetDeclinationRate(double value) {
    SetTrackRates(QStringLiteral("DeclinationRate"), RightAscensionRate(), value);
}

// Guide rates: ASCOM degrees per second, INDI fractions of sidereal.
double IndiTelescope::GuideRateRightAscension() {
    return NeedNumber("GUIDE_RATE", "GUIDE_RATE_WE", QStringLiteral("GuideRateRightAscension")) *
           kSiderealDegPerSecond;
}

double IndiTelescope::GuideRateDeclination() {
    return NeedNumber("GUIDE_RATE", "GUIDE_RATE_NS", QStringLiteral("GuideRateDeclination")) *
           kSiderealDegPerSecond;
}

void IndiTelescope::SetGuideRateRightAscension(double value) {
    const QString m = QStringLiteral("GuideRateRightAscension");
    CheckRange(source(), m, value, 0.0, kSiderealDegPerSecond);
    const double ns = NeedNumber("GUIDE_RATE", "GUIDE_RATE_NS", m);
    SetNumbers(m, "GUIDE_RATE",
               {{P("GUIDE_RATE_WE"), value / kSiderealDegPerSecond}, {P("GUIDE_RATE_NS"), ns}});
}

void IndiTelescope::SetGuideRateDeclination(double value) {
    const QString m = QStringLiteral("GuideRateDeclination");
    CheckRange(source(), m, value, 0.0, kSiderealDegPerSecond);
    const double we = NeedNumber("GUIDE_RATE", "GUIDE_RATE_WE", m);
    SetNumbers(m, "GUIDE_RATE",
               {{P("GUIDE_RATE_WE"), we}, {P("GUIDE_RATE_NS"), value / kSiderealDegPerSecond}});
}

int IndiTelescope::SlewSettleTime() {
    return settleTime_;
}

void IndiTelescope::SetSlewSettleTime(int value) {
    if (value < 0)
        ascom_error::InvalidValue(source(),
                                  QStringLiteral("SlewSettleTime %1 is negative.").arg(value));
    settleTime_ = value;
}

// ---- Tracking ------------------------------------------------------------

bool IndiTelescope::Tracking() {
    return Need("TELESCOPE_TRACK_STATE", QStringLiteral("Tracking")).IsOn(P("TRACK_ON"));
}

void IndiTelescope::SetTracking(bool value) {
    const QString m = QStringLiteral("Tracking");
    Need("TELESCOPE_TRACK_STATE", m);
    SetSwitch(m, "TELESCOPE_TRACK_STATE", value ? P("TRACK_ON") : P("TRACK_OFF"));
}

}  // namespace celaris::indi
