#include "hidden_error.h"

#include <algorithm>
#include <cmath>

namespace celaris::sim {

namespace {

// 0.1 arc second: declinations this close to a pole are moved off it so that
// tan and 1/cos stay finite.
constexpr double kPoleMargin = kPi / 180.0 / 36000.0;

double NudgeOffPole(double x) {
    if (std::fabs(x - kHalfPi) < kPoleMargin)
        x = x > kHalfPi ? kHalfPi + kPoleMargin : kHalfPi - kPoleMargin;
    if (std::fabs(x + kHalfPi) < kPoleMargin)
        x = x >= -kHalfPi ? -kHalfPi + kPoleMargin : -kHalfPi - kPoleMargin;
    return x;
}

// The same sky position described from the other side of the pier.
HaDec FlipSide(HaDec p) {
    p.ha = p.ha > 0.0 ? p.ha - kPi : p.ha + kPi;
    p.dec = p.dec > 0.0 ? kPi - p.dec : -kPi - p.dec;
    return p;
}

// Sum of the nine terms times their effect on hour angle and declination.
HaDec ModelOffsets(HaDec p, const PhysicalMount& m) {
    const double dec = NudgeOffPole(p.dec);
    const double sinH = std::sin(p.ha), cosH = std::cos(p.ha);
    const double sinD = std::sin(dec), cosD = std::cos(dec), tanD = std::tan(dec);
    const double sinLat = std::sin(m.latitudeRad), cosLat = std::cos(m.latitudeRad);
    const HiddenTerms& t = m.terms;
    HaDec d;
    // Index offsets.
    d.ha += t.hOffset;
    d.dec += t.decOffset;
    // Polar axis misaligned left-right and vertically.
    d.ha += t.polarLeftRight * (-tanD * cosH) + t.polarVertical * (tanD * sinH);
    d.dec += t.polarLeftRight * sinH + t.polarVertical * cosH;
    // Optical axis and declination axis not square.
    d.ha += t.collimation / cosD + t.axisNonPerp * tanD;
    // Tube flexure.
    d.ha += t.tubeFlex * cosLat * sinH / cosD;
    d.dec += t.tubeFlex * (cosLat * cosH * sinD - sinLat * cosD);
    // Declination axis flexure (German) or fork flexure.
    if (m.german)
        d.ha += t.decFlex * -(tanD * sinLat + cosH * cosLat);
    else
        d.dec += t.forkFlex * cosH;
    return d;
}

}  // namespace

double Refraction(double altitudeRad, double pressureKPa, double temperatureC) {
    // The formula diverges about 5 degrees below the horizon; nothing is
    // seen down there, so the value of 1 degree below stands for all lower.
    const double altDeg = std::max(altitudeRad * 180.0 / kPi, -1.0);
    // Standard refraction in arc minutes, then radians.
    double r = 1.02 / std::tan((altDeg + 10.3019279 / (altDeg + 5.11)) * kPi / 180.0);
    r = r * (kPi / 180.0) / 60.0;
    // Scaled to the air's density.
    const double kelvin = temperatureC + 273.15;
    if (kelvin > 10.0) r = r * pressureKPa * 2.79447322970639 / kelvin;
    return r;
}

HaDec TruePlace(HaDec mechanical, bool inverted, const PhysicalMount& m) {
    HaDec p = mechanical;
    // The errors act on the axes, which the flipped representation describes.
    if (inverted) p = FlipSide(p);
    const HaDec d = ModelOffsets(p, m);
    p.ha += d.ha;
    p.dec += d.dec;
    if (inverted) p = FlipSide(p);
    // Near the pole (where a mount starts, parked) the offsets can carry the
    // declination over it: the same place is then on the other side of the
    // pole, half a turn round in hour angle.
    if (std::fabs(p.dec) > kHalfPi) {
        p.dec = std::copysign(kPi, p.dec) - p.dec;
        p.ha += kPi;
    }

    // To the horizon (azimuth from south, west positive) to take the
    // refraction out of the altitude.
    const double sinLat = std::sin(m.latitudeRad), cosLat = std::cos(m.latitudeRad);
    const double dec = NudgeOffPole(p.dec);
    const double az = std::atan2(std::sin(p.ha), std::cos(p.ha) * sinLat - std::tan(dec) * cosLat);
    double alt = std::asin(
        std::clamp(cosLat * std::cos(p.ha) * std::cos(dec) + std::sin(dec) * sinLat, -1.0, 1.0));
    alt -= Refraction(alt, m.pressureKPa, m.temperatureC);

    // Back to hour angle and declination.
    HaDec out;
    out.ha = std::atan2(std::sin(az), std::cos(az) * sinLat + std::tan(alt) * cosLat);
    out.dec = std::asin(
        std::clamp(std::sin(alt) * sinLat - std::cos(alt) * std::cos(az) * cosLat, -1.0, 1.0));
    return out;
}

}  // namespace celaris::sim
