// Everything that makes one simulated mount differ from another: its kind,
// its site, its optics, how fast it moves, how wrong it points, and which
// ASCOM capabilities it admits to. The defaults describe a German mount at
// the hub's default site with a pointing error of a few arc minutes.
#pragma once

#include "celaris/dispatch/telescope_types.h"

namespace celaris {

// The mount's hidden mechanical errors, radians, with the meaning and sign
// of the nine terms of Celaris's mount error model: the true (sky) hour
// angle and declination are the mechanical ones plus the terms times their
// basis functions. `decFlex` acts on a German mount only, `forkFlex` on a
// fork mount only.
struct HiddenTerms {
    double hOffset = 0.0;
    double decOffset = 0.0;
    double polarLeftRight = 0.0;
    double polarVertical = 0.0;
    double collimation = 0.0;
    double axisNonPerp = 0.0;
    double tubeFlex = 0.0;
    double decFlex = 0.0;
    double forkFlex = 0.0;

    // A perfect mount.
    static HiddenTerms None() { return {}; }
    // A plausible amateur mount: every term a few arc minutes, mixed signs.
    static HiddenTerms Typical();
    // Every term multiplied by `factor`.
    HiddenTerms Scaled(double factor) const;
};

// A mechanical position of the axes: the hour angle and declination the
// mount's encoders read (before any sync offset) and the side of the pier
// the tube is on. A German mount reaches every sky position from either
// side; a fork mount is always pierEast.
struct AxisPosition {
    double hourAngleHours = 6.0;
    double decDeg = 90.0;
    PierSide side = PierSide::pierEast;
};

// Which optional ASCOM members the simulator admits to. A member whose flag
// is off raises the not-implemented error, as on a mount that lacks it.
struct SimulatorCapabilities {
    bool canFindHome = true;
    bool canPark = true;
    bool canPulseGuide = true;
    bool canSetDeclinationRate = true;
    bool canSetGuideRates = true;
    bool canSetPark = true;
    bool canSetPierSide = true;  // German mounts only, whatever the flag
    bool canSetRightAscensionRate = true;
    bool canSetTracking = true;
    bool canSlew = true;
    bool canSlewAltAz = true;
    bool canSlewAltAzAsync = true;
    bool canSlewAsync = true;
    bool canSync = true;
    bool canSyncAltAz = true;
    bool canUnpark = true;
    bool canMovePrimaryAxis = true;
    bool canMoveSecondaryAxis = true;
};

struct SimulatorOptions {
    // Mount kind: German equatorial (pier flips) or fork.
    bool german = true;

    // Site. The same defaults as the hub's own site settings, so that the hub
    // and the simulator agree out of the box.
    double latitudeDeg = 45.0;    // north positive
    double longitudeDeg = -75.0;  // east positive
    double elevationM = 0.0;

    // Optics, as ASCOM reports them (metres, square metres).
    double apertureDiameterM = 0.2;
    double apertureAreaM2 = 0.0314159;
    double focalLengthM = 2.0;

    // Motion. Both axes slew at once, each at this speed, and MoveAxis
    // accepts any rate up to it.
    double slewRateDegPerSec = 4.0;
    // Simulated seconds per real second. Independent of the slew rate: a
    // hub that reads the real clock needs 1 here and a fast slew instead.
    double timeScale = 1.0;
    int slewSettleTimeSec = 0;
    // Half the sidereal rate, degrees per second.
    double guideRateDegPerSec = 0.5 * 15.0410686 / 3600.0;

    // Where the mount really points: hidden error terms and refraction
    // (pressure 0 turns refraction off).
    HiddenTerms hiddenTerms = HiddenTerms::Typical();
    double pressureKPa = 101.325;
    double temperatureC = 15.0;

    // Park, home and start positions: by default the tube points at the
    // pole with the counterweight down.
    AxisPosition park;
    AxisPosition home;
    AxisPosition start;
    bool startParked = false;
    bool startTracking = true;

    SimulatorCapabilities can;

    // The defaults, changed by any of these environment variables that is
    // set and readable (others are ignored): CELARIS_SIM_MOUNT ("german" or
    // "fork"), CELARIS_SIM_SLEW_RATE (deg/s), CELARIS_SIM_TIME_SCALE,
    // CELARIS_SIM_TERMS_SCALE (factor on the typical terms; 0 = perfect
    // mount), CELARIS_SIM_LATITUDE, CELARIS_SIM_LONGITUDE (degrees),
    // CELARIS_SIM_PRESSURE (kPa), CELARIS_SIM_TEMPERATURE (deg C).
    static SimulatorOptions FromEnvironment();
};

}  // namespace celaris
