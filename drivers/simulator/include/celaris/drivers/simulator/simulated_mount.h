// The built-in mount, driver id "Celaris.Simulator": a German equatorial or
// fork mount with the whole ASCOM Telescope interface (version 3), a finite
// slew speed, and a hidden mechanical truth: where it really points differs
// from what it reports by its own nine-term pointing error and by
// refraction, as on a real mount.
//
// Coordinates are apparent, of date (equLocalTopocentric). Hour angle =
// local sidereal time - right ascension; `SiderealTime` is the local MEAN
// sidereal time (IAU 1982 Greenwich mean sidereal time plus the longitude),
// as Celaris's engine computes it. Azimuth counts from north through east.
//
// The truth is reached through `TruePointing()`, never through ASCOM
// members. Convention: the true place equals Celaris's corrected position
// (`GetCorrectedHADec`) of the mechanical hour angle and declination
// (reported minus sync offset) with the hidden terms, the simulator's site
// latitude, pressure and temperature, and `Inverted` = (SideOfPier is
// pierWest).
//
// State is computed from the clock on demand; there is no thread. Calls
// must come from one thread at a time.
#pragma once

#include <QDateTime>
#include <QPair>
#include <memory>

#include "celaris/dispatch/motion_starter.h"
#include "celaris/drivers/simulator/simulator_clock.h"
#include "celaris/drivers/simulator/simulator_options.h"
#include "celaris/drivers/telescope_base.h"

namespace celaris {

inline constexpr const char* kSimulatorDriverId = "Celaris.Simulator";

// Makes "Celaris.Simulator" known to DriverFactory; each driver it creates
// takes SimulatorOptions::FromEnvironment(). Call once at start-up.
void RegisterSimulatorDriver();

// Where the tube points at one instant.
struct SkyPointing {
    double raHours = 0.0;                   // true apparent right ascension, [0, 24)
    double decDeg = 0.0;                    // true apparent declination
    double hourAngleHours = 0.0;            // true hour angle, (-12, 12]
    double siderealTimeHours = 0.0;         // local mean sidereal time used
    double mechanicalHourAngleHours = 0.0;  // what the encoders read, (-12, 12]
    double mechanicalDecDeg = 0.0;
    PierSide sideOfPier = PierSide::pierEast;
    QDateTime utc;  // the simulator's clock
};

namespace sim {
struct MountState;
struct StoredPosition;
}  // namespace sim

class SimulatedMount : public TelescopeBase, public MotionStarter {
  public:
    explicit SimulatedMount(SimulatorOptions options = {},
                            std::shared_ptr<SimulatorClock> clock = SimulatorClock::System());
    ~SimulatedMount() override;

    // The truth, for the program's own simulated camera and eyepiece.
    SkyPointing TruePointing() const;
    HiddenTerms hiddenTerms() const;
    // Stands for a mechanical adjustment (for example of the polar axis):
    // the mount keeps its encoder readings and points elsewhere.
    void SetHiddenTerms(const HiddenTerms& terms);
    const SimulatorOptions& options() const;

    // Properties (get).
    AlignmentModes AlignmentMode() override;
    double Altitude() override;
    double ApertureArea() override;
    double ApertureDiameter() override;
    bool AtHome() override;
    bool AtPark() override;
    double Azimuth() override;
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
    bool Connected() override;
    double Declination() override;
    double DeclinationRate() override;
    QString Description() override;
    bool DoesRefraction() override;
    QString DriverInfo() override;
    QString DriverVersion() override;
    EquatorialCoordinateType EquatorialSystem() override;
    double FocalLength() override;
    double GuideRateDeclination() override;
    double GuideRateRightAscension() override;
    int InterfaceVersion() override;
    bool IsPulseGuiding() override;
    QString Name() override;
    double RightAscension() override;
    double RightAscensionRate() override;
    PierSide SideOfPier() override;
    double SiderealTime() override;
    double SiteElevation() override;
    double SiteLatitude() override;
    double SiteLongitude() override;
    bool Slewing() override;
    int SlewSettleTime() override;
    double TargetDeclination() override;
    double TargetRightAscension() override;
    bool Tracking() override;
    DriveRates TrackingRate() override;
    celaris::TrackingRates TrackingRates() override;
    QDateTime UTCDate() override;

    // Properties (put).
    void SetConnected(bool value) override;
    void SetDeclinationRate(double value) override;
    void SetGuideRateDeclination(double value) override;
    void SetGuideRateRightAscension(double value) override;
    void SetRightAscensionRate(double value) override;
    void SetSideOfPier(PierSide value) override;
    void SetSiteElevation(double value) override;
    void SetSiteLatitude(double value) override;
    void SetSiteLongitude(double value) override;
    void SetSlewSettleTime(int value) override;
    void SetTargetDeclination(double value) override;
    void SetTargetRightAscension(double value) override;
    void SetTracking(bool value) override;
    void SetTrackingRate(DriveRates value) override;
    void SetUTCDate(const QDateTime& value) override;

    // Methods.
    void AbortSlew() override;
    celaris::AxisRates AxisRates(TelescopeAxes axis) override;
    bool CanMoveAxis(TelescopeAxes axis) override;
    PierSide DestinationSideOfPier(double ra, double dec) override;
    void FindHome() override;
    void MoveAxis(TelescopeAxes axis, double rate) override;
    void Park() override;
    void PulseGuide(GuideDirections direction, int durationMs) override;
    void SetPark() override;
    void SlewToAltAz(double az, double alt) override;
    void SlewToAltAzAsync(double az, double alt) override;
    void SlewToCoordinates(double ra, double dec) override;
    void SlewToCoordinatesAsync(double ra, double dec) override;
    void SlewToTarget() override;
    void SlewToTargetAsync() override;
    void SyncToAltAz(double az, double alt) override;
    void SyncToCoordinates(double ra, double dec) override;
    void SyncToTarget() override;
    void Unpark() override;

    // Park and FindHome without the wait: Slewing is true on the way,
    // AtPark / AtHome once there; AbortSlew stops short of it.
    void StartPark() override;
    void StartFindHome() override;

  private:
    // The mount's own refusals, after the base's guards (capability,
    // connection, park, argument ranges): tracking started while parked, a
    // sync or guide pulse while slewing.
    void RequireUnparked(const char* member) const;
    void RequireStill(const char* member) const;

    // Sets off towards reported coordinates (the current sync offsets
    // taken out) or, at simulated time t, towards a stored axis position;
    // WaitForSlew returns when the slew has ended.
    void SlewToReported(double raHours, double decDeg);
    void BeginCoordinateSlew(double raHours, double decDeg);
    void BeginTargetSlew();
    void BeginHorizonSlew(double azDeg, double altDeg);
    void SlewToPosition(double t, const sim::StoredPosition& position);
    void WaitForSlew();
    void SyncReportedTo(double raHours, double decDeg);
    // Reported right ascension (hours) and declination (degrees) of a
    // horizon position now.
    QPair<double, double> ReportedFromHorizon(double azDeg, double altDeg) const;

    std::unique_ptr<sim::MountState> s_;
};

}  // namespace celaris
