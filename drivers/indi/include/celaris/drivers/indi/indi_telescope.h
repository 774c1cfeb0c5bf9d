// A mount driven through INDI, behind the late-bound driver interface.
//
// Ids: "indi:HOST:PORT/DEVICE" (a device on a running server) and
// "indi:DEVICE" (the device on the default server, localhost:7624; when no
// server there offers it and the system's INDI catalogue lists a telescope
// with that label, Celaris starts indiserver with that driver on a free
// local port and stops it when the driver object goes).
//
// Every call runs on the caller's thread and blocks for at most its
// time-out: getters answer from the property cache the client keeps up to
// date; commands wait for the device's answer. A refused command (Alert, a
// message followed by a refusing state, or no answer) raises with the
// device's own message; a lost server raises NotConnected on the next call.
//
// Coordinates are JNow (EQUATORIAL_EOD_COORD): EquatorialSystem is
// equLocalTopocentric. Altitude, Azimuth, SiderealTime and
// DestinationSideOfPier are computed here from the site the device reports
// and the computer's clock.
#pragma once

#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "celaris/drivers/indi/indi_client.h"
#include "celaris/drivers/indi/indi_server.h"
#include "celaris/drivers/telescope_base.h"

namespace celaris {

// Makes "indi:" ids known to DriverFactory. Call once at start-up.
void RegisterIndiDriver();

namespace indi {

inline constexpr char kIdPrefix[] = "indi:";
inline constexpr char kDefaultHost[] = "localhost";
inline constexpr int kDefaultPort = 7624;

struct IndiAddress {
    QString host = QString::fromLatin1(kDefaultHost);  // IPv6 without brackets
    int port = kDefaultPort;
    QString device;
    // The id named the server; otherwise a catalogue driver may be started.
    bool explicitServer = false;

    friend bool operator==(const IndiAddress&, const IndiAddress&) = default;
};

// The parts of an "indi:" id; nothing for another or a malformed id.
std::optional<IndiAddress> ParseIndiId(const QString& id);

// How a device answered a command (src/judges.h): given the property the
// answer shows on, the device's messages since the command and the sequence
// number the command was sent at.
enum class Verdict : int;
using Judge = std::function<Verdict(const Property&, const QList<Message>&, uint64_t sent)>;

struct IndiOptions {
    // Reaching the server and the device's definitions.
    std::chrono::milliseconds connectTimeout{5000};
    // The device's CONNECTION going Ok (a real mount may take a while).
    std::chrono::milliseconds deviceTimeout{30000};
    // The device's answer to a command.
    std::chrono::milliseconds commandTimeout{5000};
    // The end of a synchronous slew or a park.
    std::chrono::milliseconds slewTimeout{600000};
    // The catalogue of installed drivers; empty: the system's (or
    // $CELARIS_INDI_CATALOG).
    QString catalogPath;
    // How a catalogue driver's server is started (drivers are filled in).
    IndiServerOptions server;
};

class IndiTelescope : public TelescopeBase {
  public:
    // `id` is the driver id (also the source of its errors).
    IndiTelescope(const QString& id, IndiAddress address, IndiOptions options = {});
    ~IndiTelescope() override;

    // The device in use once connected (a catalogue driver's device may be
    // named differently from its label), and the server.
    QString device() const { return device_; }
    const IndiClient* client() const { return client_.get(); }
    const IndiServer* startedServer() const { return server_.get(); }

    // Identity.
    bool Connected() override;
    void SetConnected(bool value) override;
    QString Description() override;
    QString DriverInfo() override;
    QString DriverVersion() override;
    int InterfaceVersion() override;
    QString Name() override;

    // Capabilities, from the properties the device defines.
    AlignmentModes AlignmentMode() override;
    bool CanFindHome() override;
    bool CanPark() override;
    bool CanPulseGuide() override;
    bool CanSetDeclinationRate() override;
    bool CanSetGuideRates() override;
    bool CanSetPark() override;
    bool CanSetPierSide() override;
    bool CanSetRightAscensionRate() override;
    bool CanSetTracking() override;
    bool CanSlew() override;
    bool CanSlewAltAz() override;
    bool CanSlewAltAzAsync() override;
    bool CanSlewAsync() override;
    bool CanSync() override;
    bool CanSyncAltAz() override;
    bool CanUnpark() override;
    bool CanMoveAxis(TelescopeAxes axis) override;
    celaris::AxisRates AxisRates(TelescopeAxes axis) override;
    celaris::TrackingRates TrackingRates() override;

    // Position and state.
    double RightAscension() override;
    double Declination() override;
    double Altitude() override;
    double Azimuth() override;
    double SiderealTime() override;
    EquatorialCoordinateType EquatorialSystem() override;
    bool DoesRefraction() override;
    bool AtHome() override;
    bool AtPark() override;
    bool Slewing() override;
    bool IsPulseGuiding() override;
    PierSide SideOfPier() override;
    PierSide DestinationSideOfPier(double ra, double dec) override;
    double ApertureDiameter() override;
    double ApertureArea() override;
    double FocalLength() override;

    // Site and clock.
    double SiteLatitude() override;
    double SiteLongitude() override;
    double SiteElevation() override;
    void SetSiteLatitude(double value) override;
    void SetSiteLongitude(double value) override;
    void SetSiteElevation(double value) override;
    QDateTime UTCDate() override;
    void SetUTCDate(const QDateTime& value) override;

    // Tracking and rates.
    bool Tracking() override;
    void SetTracking(bool value) override;
    DriveRates TrackingRate() override;
    void SetTrackingRate(DriveRates value) override;
    double RightAscensionRate() override;
    void SetRightAscensionRate(double value) override;
    double DeclinationRate() override;
    void SetDeclinationRate(double value) override;
    double GuideRateRightAscension() override;
    void SetGuideRateRightAscension(double value) override;
    double GuideRateDeclination() override;
    void SetGuideRateDeclination(double value) override;
    int SlewSettleTime() override;
    void SetSlewSettleTime(int value) override;

    // Targets, slews, syncs.
    double TargetRightAscension() override;
    double TargetDeclination() override;
    void SetTargetRightAscension(double value) override;
    void SetTargetDeclination(double value) override;
    void SlewToCoordinates(double ra, double dec) override;
    void SlewToCoordinatesAsync(double ra, double dec) override;
    void SlewToTarget() override;
    void SlewToTargetAsync() override;
    void SyncToCoordinates(double ra, double dec) override;
    void SyncToTarget() override;
    void SlewToAltAz(double az, double alt) override;
    void SlewToAltAzAsync(double az, double alt) override;
    void SyncToAltAz(double az, double alt) override;
    void AbortSlew() override;

    // Park, guide, manual motion.
    void Park() override;
    void Unpark() override;
    void SetPark() override;
    void FindHome() override;
    void PulseGuide(GuideDirections direction, int durationMs) override;
    void MoveAxis(TelescopeAxes axis, double rate) override;

  private:
    // Connection.
    void OpenServer();
    bool OpenClient(const QString& host, int port, QString* error);
    // Whether the server defines the device within the connect time-out (or,
    // asked to, before it has defined nothing new for a moment).
    bool WaitForDevice(const QString& device, bool orUntilQuiet);
    QString WaitForTelescopeDevice(const QString& preferred);
    void ConnectDevice();

    // Guards and property reads.
    void RequireConnected() const;
    void EnsureConnected() override { RequireConnected(); }
    std::optional<Property> Prop(const char* name) const;
    bool Defines(const char* name) const { return Prop(name).has_value(); }
    bool Offers(const char* name, const char* element) const;
    Property Need(const char* name, const QString& member) const;
    double NeedNumber(const char* name, const char* element, const QString& member) const;
    [[noreturn]] void Unsupported(const QString& member, const QString& why) const;
    [[noreturn]] void RaiseLost() const;

    // Commands: send, then wait for the device's verdict on `prop`; raises
    // when it refuses, stays silent or the server goes away.
    // Returns the sequence number the command was sent at.
    uint64_t Command(const QString& member, const char* prop, const std::function<uint64_t()>& send,
                     const Judge& judge);
    uint64_t SetSwitch(const QString& member, const char* prop, const QString& element);
    void SetNumbers(const QString& member, const char* prop,
                    const QList<QPair<QString, double>>& values);
    // Waits while `prop` is Busy; raises when it ends in Alert, with the
    // device's last message since `since`.
    void WaitWhileBusy(const QString& member, const char* prop, uint64_t since);
    [[noreturn]] void Refused(const QString& member, const char* prop,
                              const QList<Message>& messages) const;

    // The site and the hour angle the computations below need.
    double LatitudeDeg(const QString& member) const;
    double LongitudeDeg(const QString& member) const;
    double LocalSiderealHours(const QString& member) const;

    // Slews and syncs on EQUATORIAL_EOD_COORD.
    void CheckCoordinates(double ra, double dec) const;
    void Goto(const QString& member, double ra, double dec, bool wait);
    void Sync(const QString& member, double ra, double dec);
    void SelectCoordSet(const QString& member, const QString& element);
    QPair<double, double> Target(const QString& member) const;

    void SetTrackRates(const QString& member, double raRate, double decRate);

    IndiAddress address_;
    IndiOptions options_;
    std::unique_ptr<IndiServer> server_;
    std::unique_ptr<IndiClient> client_;
    QString device_;
    std::optional<double> targetRa_;
    std::optional<double> targetDec_;
    int settleTime_ = 0;
};

}  // namespace indi
}  // namespace celaris
