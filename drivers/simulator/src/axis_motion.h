// The two axes of the mount moving in time. Between events every motion has
// a constant rate, so the position at any time follows from the last event
// (the anchor) in closed form; nothing runs in the background. Each change
// first moves the anchor to the time of the change.
//
// Axis angles (radians): primary = hour angle, plus pi when the tube is
// flipped to the west of the pier; secondary = declination, or pi minus the
// declination when flipped, in [-pi/2, 3pi/2). A German meridian flip thus
// turns the primary by half a turn and takes the secondary over the pole.
#pragma once

#include <optional>

#include "angles.h"

namespace celaris::sim {

struct Axes {
    double primary = 0.0;
    double secondary = 0.0;
};

Axes AxesOf(HaDec mechanical, bool flipped);
// Hour angle in (-pi, pi], declination in [-pi/2, pi/2]. Exactly at the
// pole both readings are right; `flippedAtPole` picks the one of the side
// the tube is on, so that a slew to the pole reports the right ascension it
// was given.
HaDec PositionOf(Axes a, bool flippedAtPole);
bool IsFlipped(Axes a);

class AxisMotion {
  public:
    enum Axis { kPrimary = 0, kSecondary = 1 };

    AxisMotion(Axes start, double t);

    Axes At(double t) const;

    // Steady rates, radians per second. `tracking` turns the primary and also
    // runs during a slew (a slew aims in the tracking frame); the drifts
    // (rate offsets, MoveAxis) hold outside slews.
    void SetRates(double t, double tracking, double driftPrimary, double driftSecondary);
    // A guide pulse: `rate` on one axis from t until `end`.
    void StartPulse(double t, Axis axis, double rate, double end);
    bool PulseActive(double t) const;
    void StopPulses(double t);

    // Both axes set off at once towards `target`, each by the shorter way
    // round, at `rate`; the slew counts as running `settle` seconds longer.
    void StartSlew(double t, Axes target, double rate, double settle);
    void StopSlew(double t);
    bool SlewActive(double t) const;
    // When the running slew ends, settling included.
    double SlewEnd() const;

  private:
    struct Slew {
        double remaining[2];  // still to go on each axis, radians
        double rate;
        double moveEnd;  // both axes arrived
        double end;      // settled
    };
    struct Pulse {
        double rate = 0.0;
        double end = 0.0;
    };

    void Rebase(double t);

    Axes anchor_;
    double anchorTime_;
    double tracking_ = 0.0;
    double drift_[2] = {0.0, 0.0};
    Pulse pulse_[2];
    std::optional<Slew> slew_;
};

}  // namespace celaris::sim
