// Base of the telescope drivers Celaris brings: it owns the late-bound side
// (member names, argument and result conversion, argument count checks) and
// leaves a subclass to answer typed questions. A member a subclass does not
// override raises the not-implemented error with the driver's source.
#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "celaris/dispatch/driver.h"
#include "celaris/dispatch/telescope_types.h"

namespace celaris {

class TelescopeBase : public Driver {
  public:
    explicit TelescopeBase(QString source) : source_(std::move(source)) {}

    QVariant Get(const QString& member) final;
    void Put(const QString& member, const QVariant& value) final;
    QVariant Call(const QString& member, const QVariantList& args) final;

    const QString& source() const { return source_; }

    // Properties (get).
    virtual AlignmentModes AlignmentMode();
    virtual double Altitude();
    virtual double ApertureArea();
    virtual double ApertureDiameter();
    virtual bool AtHome();
    virtual bool AtPark();
    virtual double Azimuth();
    virtual bool CanFindHome();
    virtual bool CanPark();
    virtual bool CanPulseGuide();
    virtual bool CanSetDeclinationRate();
    virtual bool CanSetGuideRates();
    virtual bool CanSetPark();
    virtual bool CanSetPierSide();
    virtual bool CanSetRightAscensionRate();
    virtual bool CanSetTracking();
    virtual bool CanSlew();
    virtual bool CanSlewAltAz();
    virtual bool CanSlewAltAzAsync();
    virtual bool CanSlewAsync();
    virtual bool CanSync();
    virtual bool CanSyncAltAz();
    virtual bool CanUnpark();
    virtual bool Connected();
    virtual double Declination();
    virtual double DeclinationRate();
    virtual QString Description();
    virtual bool DoesRefraction();
    virtual QString DriverInfo();
    virtual QString DriverVersion();
    virtual EquatorialCoordinateType EquatorialSystem();
    virtual double FocalLength();
    virtual double GuideRateDeclination();
    virtual double GuideRateRightAscension();
    virtual int InterfaceVersion();
    virtual bool IsPulseGuiding();
    virtual QString Name();
    virtual double RightAscension();
    virtual double RightAscensionRate();
    virtual PierSide SideOfPier();
    virtual double SiderealTime();
    virtual double SiteElevation();
    virtual double SiteLatitude();
    virtual double SiteLongitude();
    virtual bool Slewing();
    virtual int SlewSettleTime();
    virtual double TargetDeclination();
    virtual double TargetRightAscension();
    virtual bool Tracking();
    virtual DriveRates TrackingRate();
    virtual TrackingRates TrackingRatesList();
    virtual QDateTime UTCDate();
    virtual QStringList SupportedActions();

    // Properties (put).
    virtual void SetConnected(bool value);
    virtual void SetDeclinationRate(double value);
    virtual void SetDoesRefraction(bool value);
    virtual void SetGuideRateDeclination(double value);
    virtual void SetGuideRateRightAscension(double value);
    virtual void SetRightAscensionRate(double value);
    virtual void SetSideOfPier(PierSide value);
    virtual void SetSiteElevation(double value);
    virtual void SetSiteLatitude(double value);
    virtual void SetSiteLongitude(double value);
    virtual void SetSlewSettleTime(int value);
    virtual void SetTargetDeclination(double value);
    virtual void SetTargetRightAscension(double value);
    virtual void SetTracking(bool value);
    virtual void SetTrackingRate(DriveRates value);
    virtual void SetUTCDate(const QDateTime& value);

    // Methods.
    virtual void AbortSlew();
    virtual QString Action(const QString& name, const QString& parameters);
    virtual AxisRates AxisRatesFor(TelescopeAxes axis);
    virtual bool CanMoveAxis(TelescopeAxes axis);
    virtual void CommandBlind(const QString& command, bool raw);
    virtual bool CommandBool(const QString& command, bool raw);
    virtual QString CommandString(const QString& command, bool raw);
    virtual PierSide DestinationSideOfPier(double ra, double dec);
    virtual void FindHome();
    virtual void MoveAxis(TelescopeAxes axis, double rate);
    virtual void Park();
    virtual void PulseGuide(GuideDirections direction, int durationMs);
    virtual void SetPark();
    virtual void SetupDialog();
    virtual void SlewToAltAz(double az, double alt);
    virtual void SlewToAltAzAsync(double az, double alt);
    virtual void SlewToCoordinates(double ra, double dec);
    virtual void SlewToCoordinatesAsync(double ra, double dec);
    virtual void SlewToTarget();
    virtual void SlewToTargetAsync();
    virtual void SyncToAltAz(double az, double alt);
    virtual void SyncToCoordinates(double ra, double dec);
    virtual void SyncToTarget();
    virtual void Unpark();

  protected:
    [[noreturn]] void NotImplemented(const QString& member) const;

  private:
    QString source_;
};

}  // namespace celaris
