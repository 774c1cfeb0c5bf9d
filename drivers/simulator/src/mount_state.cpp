#include "mount_state.h"

#include <algorithm>
#include <cmath>

#include "sidereal_time.h"

namespace celaris::sim {

namespace {

// Axis rate of each tracking rate, radians per SI second. Sidereal follows
// the sidereal time exactly so that a tracking mount's right ascension
// stays put; the others are the customary ASCOM values.
double TrackingRateRad(DriveRates r) {
    switch (r) {
        case DriveRates::driveLunar:
            return 14.685 * kArcsecToRad;
        case DriveRates::driveSolar:
            return 15.0 * kArcsecToRad;
        case DriveRates::driveKing:
            return 15.0369 * kArcsecToRad;
        case DriveRates::driveSidereal:
            break;
    }
    return kSiderealRateRadPerSec;
}

// Sidereal seconds per SI second: RightAscensionRate counts seconds of right
// ascension per sidereal second.
constexpr double kSiderealPerSi = 1.00273790935;

StoredPosition Stored(const AxisPosition& p, bool german) {
    const bool west = german && p.side == PierSide::pierWest;
    const HaDec m{p.hourAngleHours * kHoursToRad, std::clamp(p.decDeg, -90.0, 90.0) * kDegToRad};
    return {AxesOf(m, west), west ? PierSide::pierWest : PierSide::pierEast};
}

}  // namespace

MountState::MountState(SimulatorOptions o, std::shared_ptr<SimulatorClock> c)
    : options(std::move(o)),
      clock(c ? std::move(c) : SimulatorClock::System()),
      startUnixSeconds(clock->NowUnixSeconds()),
      motion(Stored(options.start, options.german).axes, 0.0) {
    // Nonsense speeds would stall or freeze the mount.
    if (!(options.slewRateDegPerSec > 0.0)) options.slewRateDegPerSec = 4.0;
    if (!(options.timeScale > 0.0)) options.timeScale = 1.0;
    side = Stored(options.start, options.german).side;
    park = Stored(options.park, options.german);
    home = Stored(options.home, options.german);
    atPark = options.startParked;
    tracking = options.startTracking && !options.startParked;
    guideRateRaDegPerSec = guideRateDecDegPerSec = options.guideRateDegPerSec;
    slewSettleTimeSec = std::max(0, options.slewSettleTimeSec);
    latitudeDeg = options.latitudeDeg;
    longitudeDeg = options.longitudeDeg;
    elevationM = options.elevationM;
    terms = options.hiddenTerms;
    UpdateRates(0.0);
}

double MountState::Now() const {
    return (clock->NowUnixSeconds() - startUnixSeconds) * options.timeScale;
}

double MountState::UnixSecondsAt(double t) const {
    return startUnixSeconds + t + utcOffsetSeconds;
}

double MountState::SiderealAt(double t) const {
    return LocalMeanSiderealTime(UnixSecondsAt(t), longitudeDeg * kDegToRad);
}

HaDec MountState::MechanicalAt(double t) const {
    return PositionOf(motion.At(t), Inverted());
}

MountState::Reported MountState::ReportedAt(double t) const {
    const HaDec m = MechanicalAt(t);
    const double lst = SiderealAt(t);
    Reported r;
    r.ra = WrapTwoPi(lst - m.ha + syncRaOffset);
    // A sync offset could carry the reading past a pole; it stops there.
    r.dec = std::clamp(m.dec + syncDecOffset, -kHalfPi, kHalfPi);
    r.ha = WrapPi(lst - r.ra);
    return r;
}

bool MountState::Inverted() const {
    return options.german && side == PierSide::pierWest;
}

PhysicalMount MountState::Physics() const {
    return {terms, options.german, latitudeDeg * kDegToRad, options.pressureKPa,
            options.temperatureC};
}

PierSide MountState::SideFor(double mechanicalHa) const {
    if (!options.german) return PierSide::pierEast;
    // East of the meridian the tube goes west of the pier, and vice versa.
    return WrapPi(mechanicalHa) < 0.0 ? PierSide::pierWest : PierSide::pierEast;
}

StoredPosition MountState::PositionFor(HaDec mechanical, PierSide wanted) const {
    const bool west = options.german && wanted == PierSide::pierWest;
    return {AxesOf(mechanical, west), west ? PierSide::pierWest : PierSide::pierEast};
}

void MountState::UpdateRates(double t) {
    const double track = tracking ? TrackingRateRad(trackingRate) : 0.0;
    // Offsets from the tracking rate act only while tracking. A positive
    // right ascension rate lowers the hour angle; declination rates turn
    // the secondary axis the other way when the tube is west of the pier.
    const double raOffset =
        tracking ? raRateSecPerSiderealSec * kSiderealPerSi * 15.0 * kArcsecToRad : 0.0;
    const double decOffset = tracking ? decRateArcsecPerSec * kArcsecToRad : 0.0;
    const double decSign = Inverted() ? -1.0 : 1.0;
    motion.SetRates(t, track, moveRateDegPerSec[0] * kDegToRad - raOffset,
                    moveRateDegPerSec[1] * kDegToRad + decSign * decOffset);
}

}  // namespace celaris::sim
