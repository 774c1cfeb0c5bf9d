// Everything the simulated mount remembers, and the quantities derived from
// it at a given moment. Times `t` are simulated seconds since the mount was
// created ("physical" time: it drives the axes and never jumps); the
// simulator's UTC is that plus the start time and any offset that a
// UTCDate write introduced.
#pragma once

#include <memory>
#include <optional>

#include "angles.h"
#include "axis_motion.h"
#include "celaris/drivers/simulator/simulator_clock.h"
#include "celaris/drivers/simulator/simulator_options.h"
#include "hidden_error.h"

namespace celaris::sim {

struct StoredPosition {
    Axes axes;
    PierSide side = PierSide::pierEast;
};

struct MountState {
    MountState(SimulatorOptions options, std::shared_ptr<SimulatorClock> clock);

    SimulatorOptions options;
    std::shared_ptr<SimulatorClock> clock;
    double startUnixSeconds = 0.0;  // real clock when created
    double utcOffsetSeconds = 0.0;  // from UTCDate writes

    AxisMotion motion;
    PierSide side = PierSide::pierEast;  // the pointing state
    bool connected = false;
    bool tracking = true;
    bool atPark = false;
    bool atHome = false;
    // Set off for the park position: parked once that slew has ended.
    bool parking = false;
    DriveRates trackingRate = DriveRates::driveSidereal;

    double raRateSecPerSiderealSec = 0.0;  // RightAscensionRate
    double decRateArcsecPerSec = 0.0;      // DeclinationRate
    double guideRateRaDegPerSec = 0.0;
    double guideRateDecDegPerSec = 0.0;
    double moveRateDegPerSec[2] = {0.0, 0.0};  // MoveAxis, primary and secondary
    int slewSettleTimeSec = 0;

    std::optional<double> targetRaHours;
    std::optional<double> targetDecDeg;
    // Reported = mechanical + offset, from syncs (radians).
    double syncRaOffset = 0.0;
    double syncDecOffset = 0.0;

    double latitudeDeg = 0.0;
    double longitudeDeg = 0.0;
    double elevationM = 0.0;
    HiddenTerms terms;

    StoredPosition park;
    StoredPosition home;

    // Simulated seconds since creation, now.
    double Now() const;
    double UnixSecondsAt(double t) const;
    // Local mean sidereal time, radians.
    double SiderealAt(double t) const;

    HaDec MechanicalAt(double t) const;
    // What the mount reports: right ascension (radians, [0, 2 pi)) and
    // declination, and the hour angle that goes with them.
    struct Reported {
        double ra = 0.0;
        double dec = 0.0;
        double ha = 0.0;
    };
    Reported ReportedAt(double t) const;

    bool Inverted() const;
    PhysicalMount Physics() const;

    // The side a slew to this mechanical hour angle (radians) takes.
    PierSide SideFor(double mechanicalHa) const;
    // The axis position of a mechanical hour angle and declination on a side.
    StoredPosition PositionFor(HaDec mechanical, PierSide wanted) const;

    bool MovingAxes() const { return moveRateDegPerSec[0] != 0.0 || moveRateDegPerSec[1] != 0.0; }
    bool SlewingAt(double t) const { return motion.SlewActive(t) || MovingAxes(); }
    bool ParkedAt(double t) const { return atPark || (parking && !motion.SlewActive(t)); }

    // Hands the current tracking, rate offsets and MoveAxis rates to the axes.
    void UpdateRates(double t);
};

}  // namespace celaris::sim
