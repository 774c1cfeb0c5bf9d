// The Telescope class that clients connect to: one object per client, all of
// them standing before the one real driver of the hub. Members carry their
// ASCOM names; every failure reaches the caller as a ComError with the
// driver's, the engine's or the hub's own five items unchanged.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVariant>

#include "celaris/dispatch/telescope_types.h"
#include "celaris/hub/hub.h"
#include "celaris/version.h"

namespace celaris::hub {

inline constexpr const char* kDriverVersion = version::kMajorMinor;
inline constexpr char kDriverInfo[] = "Celaris Telescope Pointing Correction " CELARIS_VERSION
                                      "\r\nASCOM Telescope pointing correction ";

// A client's synchronous motion (slew, park, find-home) that its caller
// waits for off the hub's thread. See Telescope::BeginSlewToCoordinates.
struct MotionTicket {
    enum class Kind { Slew, Park, FindHome };
    Kind kind = Kind::Slew;
    QString member;       // the client's member, for the errors
    uint64_t aborts = 0;  // the hub's AbortSlew count when it began
};

class Telescope {
  public:
    // Creation: registers the hub again, clears the target, refreshes the
    // status.
    explicit Telescope(Hub& hub);
    // Destruction: gives back this object's connection; errors are ignored.
    ~Telescope();
    Telescope(const Telescope&) = delete;
    Telescope& operator=(const Telescope&) = delete;

    bool ClientConnected() const { return clientConnected_; }

    // Connection.
    bool Connected();
    void SetConnected(bool value);

    // Pass-through properties.
    AlignmentModes AlignmentMode();
    double ApertureArea();
    double ApertureDiameter();
    bool AtHome();
    bool AtPark();
    bool CanFindHome();
    bool CanPark();
    bool CanPulseGuide();
    bool CanSetDeclinationRate();
    bool CanSetGuideRates();
    bool CanSetPark();
    bool CanSetPierSide();
    bool CanSetRightAscensionRate();
    bool CanSetTracking();
    bool CanSlew();
    bool CanSlewAltAz();
    bool CanSlewAltAzAsync();
    bool CanSlewAsync();
    bool CanSync();
    bool CanSyncAltAz();
    bool CanUnpark();
    double DeclinationRate();
    void SetDeclinationRate(double value);
    QString Description();
    bool DoesRefraction();
    void SetDoesRefraction(bool value);
    EquatorialCoordinateType EquatorialSystem();
    double FocalLength();
    double GuideRateDeclination();
    void SetGuideRateDeclination(double value);
    double GuideRateRightAscension();
    void SetGuideRateRightAscension(double value);
    bool IsPulseGuiding();
    double RightAscensionRate();
    void SetRightAscensionRate(double value);
    double SiderealTime();
    double SiteElevation();
    void SetSiteElevation(double value);
    double SiteLatitude();
    void SetSiteLatitude(double value);
    double SiteLongitude();
    void SetSiteLongitude(double value);
    int SlewSettleTime();
    void SetSlewSettleTime(int value);
    bool Tracking();
    void SetTracking(bool value);
    DriveRates TrackingRate();
    void SetTrackingRate(DriveRates value);
    // The driver's own collection object.
    QVariant TrackingRates();
    QDateTime UTCDate();
    void SetUTCDate(const QDateTime& value);

    // The hub's own values.
    QString Name();
    QString DriverInfo();
    QString DriverVersion();
    int InterfaceVersion();

    // Pass-through methods.
    QVariant AxisRates(TelescopeAxes axis);
    bool CanMoveAxis(TelescopeAxes axis);
    void CommandBlind(const QString& command, bool raw = false);
    bool CommandBool(const QString& command, bool raw = false);
    QString CommandString(const QString& command, bool raw = false);
    PierSide DestinationSideOfPier(double raHours, double decDeg);
    void FindHome();
    void MoveAxis(TelescopeAxes axis, double rate);
    void Park();
    void PulseGuide(GuideDirections direction, int durationMs);
    void SetPark();
    void SetupDialog();
    void Unpark();

    // Corrected and guarded members.
    double RightAscension();
    double Declination();
    double Altitude();
    double Azimuth();
    double TargetRightAscension();
    void SetTargetRightAscension(double raHours);
    double TargetDeclination();
    void SetTargetDeclination(double decDeg);
    void SlewToCoordinates(double raHours, double decDeg);
    void SlewToCoordinatesAsync(double raHours, double decDeg);
    void SlewToTarget();
    void SlewToTargetAsync();
    void SlewToAltAz(double azDeg, double altDeg);
    void SlewToAltAzAsync(double azDeg, double altDeg);
    void SyncToCoordinates(double raHours, double decDeg);
    void SyncToTarget();
    void SyncToAltAz(double azDeg, double altDeg);
    bool Slewing();
    void AbortSlew();
    PierSide SideOfPier();
    void SetSideOfPier(PierSide value);

    // ---- ITelescopeV4 and the common members the hub answers itself
    // (telescope_v4.cpp). Connecting is synchronous, so Connect returns
    // connected and Connecting is always false.
    void Connect();
    void Disconnect();
    bool Connecting();
    // The operational properties (Altitude, AtHome, AtPark, Azimuth,
    // Declination, IsPulseGuiding, RightAscension, SideOfPier,
    // SiderealTime, Slewing, Tracking, UTCDate) as the single members give
    // them, and TimeStamp; an item whose member fails is left out.
    StateValues DeviceState();
    // Celaris offers no actions.
    QStringList SupportedActions();
    QString Action(const QString& name, const QString& parameters);

    // The synchronous motions in two steps, for a caller that waits off the
    // hub's thread (the Alpaca server), so that every other client is
    // served meanwhile and an AbortSlew from anyone reaches the mount.
    // Begin... applies every rule of the member above (targets, pier side,
    // limits, the approach point) and starts the motion the way the driver
    // offers: its asynchronous slew where it has one, Park and FindHome
    // without waiting on Celaris's own drivers. MotionSettled, called on the
    // hub's thread as often as the caller polls, carries the hub's part of
    // the slew (settling, the final leg) and returns true once the motion
    // has ended and the position has been read again; it raises "ended
    // early" when an AbortSlew came first or the mount stopped short, and
    // any driver error on the way. The members above still block, for
    // callers in this process.
    MotionTicket BeginSlewToCoordinates(double raHours, double decDeg);
    MotionTicket BeginSlewToTarget();
    MotionTicket BeginSlewToAltAz(double azDeg, double altDeg);
    MotionTicket BeginPark();
    MotionTicket BeginFindHome();
    bool MotionSettled(const MotionTicket& ticket);

  private:
    // How a slew reaches the driver: its synchronous member, its
    // asynchronous one, or the asynchronous one where it has one.
    enum class SlewCall { Sync, Async, Best };
    QVariant Get(const char* member);
    void Put(const char* member, const QVariant& value);
    QVariant Call(const char* member, const QVariantList& args = {});
    bool GetBool(const char* member);
    double GetDouble(const char* member);
    int GetInt(const char* member);
    void CorrectedSlew(double raHours, double decDeg, SlewCall how);
    void TargetSlew(SlewCall how);
    void AltAzSlew(double azDeg, double altDeg, SlewCall how);
    bool UseAsync(SlewCall how, const char* canAsync);
    MotionTicket Ticket(MotionTicket::Kind kind, const char* member) const;
    RaDec CorrectedPosition();
    void WriteScopeTarget(bool raFirst);
    void ReleaseConnection();

    Hub& hub_;
    bool clientConnected_ = false;
};

}  // namespace celaris::hub
