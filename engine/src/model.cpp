#include "model.h"

#include <cmath>

namespace trimcore {

namespace {
constexpr double kHalfPi = kPi / 2.0;

// Refraction constants: a in arc minutes, b and c in degrees.
constexpr double kRefractionA = 1.02;
constexpr double kRefractionB = 10.3019279;
constexpr double kRefractionC = 5.11;
// 283.15 / 101.325: the factor is 1 at 101.325 kPa and 10 degrees Celsius.
constexpr double kPressureTemperatureFactor = 2.79447322970639;
constexpr double kAbsoluteZeroOffset = 273.15;
constexpr double kTemperatureGuardK = 10.0;
}  // namespace

double NudgeOffPole(double x) {
    if (std::fabs(x - kHalfPi) < kPoleMargin) x = (x > kHalfPi) ? kHalfPi + kPoleMargin
                                                                : kHalfPi - kPoleMargin;
    if (std::fabs(x + kHalfPi) < kPoleMargin) x = (x >= -kHalfPi) ? -kHalfPi + kPoleMargin
                                                                  : -kHalfPi - kPoleMargin;
    return x;
}

void Basis(double H, double dec, double latitude, bool german, TermVector& ha, TermVector& de) {
    dec = NudgeOffPole(dec);
    const double sinH = std::sin(H), cosH = std::cos(H);
    const double sinD = std::sin(dec), cosD = std::cos(dec), tanD = std::tan(dec);
    const double sinP = std::sin(latitude), cosP = std::cos(latitude);
    // HOffset, DecOffset: index offsets of the two axes.
    ha[0] = 1.0;
    de[0] = 0.0;
    ha[1] = 0.0;
    de[1] = 1.0;
    // PolarLeftRight, PolarVertical: polar axis off in azimuth and altitude.
    ha[2] = -tanD * cosH;
    de[2] = sinH;
    ha[3] = tanD * sinH;
    de[3] = cosH;
    // Collimation and non-perpendicular axes.
    ha[4] = 1.0 / cosD;
    de[4] = 0.0;
    ha[5] = tanD;
    de[5] = 0.0;
    // Tube flexure.
    ha[6] = cosP * sinH / cosD;
    de[6] = cosP * cosH * sinD - sinP * cosD;
    // Declination-axis flexure (German) or fork flexure.
    if (german) {
        ha[7] = -(tanD * sinP + cosH * cosP);
        de[7] = 0.0;
    } else {
        ha[7] = 0.0;
        de[7] = cosH;
    }
}

void HABasis(double H, double dec, double latitude, bool german, TermVector& out) {
    TermVector unused;
    Basis(H, dec, latitude, german, out, unused);
}

void DecBasis(double H, double dec, double latitude, bool german, TermVector& out) {
    TermVector unused;
    Basis(H, dec, latitude, german, unused, out);
}

TermVector ActiveTerms(const EngineState& s) {
    return {s.hOffset,     s.decOffset,   s.polarLeftRight, s.polarVertical,
            s.collimation, s.axisNonPerp, s.tubeFlex,       s.german ? s.decFlex : s.forkFlex};
}

HADec ModelOffsets(const EngineState& s, double H, double dec) {
    TermVector ha, de;
    Basis(H, dec, s.latitude, s.german != 0, ha, de);
    const TermVector t = ActiveTerms(s);
    HADec d{0.0, 0.0};
    for (int k = 0; k < kFitTerms; ++k) {
        d.ha += t[k] * ha[k];
        d.dec += t[k] * de[k];
    }
    return d;
}

HADec FlipSide(double H, double dec) {
    return {H > 0.0 ? H - kPi : H + kPi, dec > 0.0 ? kPi - dec : -kPi - dec};
}

double StandardRefraction(double h) {
    const double hDeg = h * 180.0 / kPi;
    const double arcmin =
        kRefractionA / std::tan((hDeg + kRefractionB / (hDeg + kRefractionC)) * kPi / 180.0);
    return arcmin * (kPi / 180.0) / 60.0;
}

double ScaledRefraction(double h, double pressureKPa, double temperatureC) {
    return StandardRefraction(h) * pressureKPa * kPressureTemperatureFactor /
           (temperatureC + kAbsoluteZeroOffset);
}

double Refraction(double h, double pressureKPa, double temperatureC) {
    if (temperatureC + kAbsoluteZeroOffset > kTemperatureGuardK)
        return ScaledRefraction(h, pressureKPa, temperatureC);
    return StandardRefraction(h);
}

AltAz HADecToAltAz(double H, double dec, double latitude, double pressureKPa,
                   double temperatureC) {
    dec = NudgeOffPole(dec);
    const double sinH = std::sin(H), cosH = std::cos(H);
    const double sinD = std::sin(dec), cosD = std::cos(dec), tanD = std::tan(dec);
    const double sinP = std::sin(latitude), cosP = std::cos(latitude);
    AltAz r;
    r.az = std::atan2(sinH, cosH * sinP - tanD * cosP);
    r.alt = std::asin(cosP * cosH * cosD + sinD * sinP);
    r.refraction = Refraction(r.alt, pressureKPa, temperatureC);
    return r;
}

HADec AltAzToHADec(double az, double alt, double latitude) {
    // An altitude carried past the zenith or the nadir (refraction is
    // slightly negative there) is the same point seen from the opposite
    // azimuth. Folding it back keeps tan(alt) from changing sign and putting
    // the result half a turn away; altitudes within +-pi/2 are untouched.
    if (alt > kHalfPi) {
        alt = kPi - alt;
        az += kPi;
    } else if (alt < -kHalfPi) {
        alt = -kPi - alt;
        az += kPi;
    }
    const double sinA = std::sin(az), cosA = std::cos(az);
    const double sinh_ = std::sin(alt), cosh_ = std::cos(alt), tanh_ = std::tan(alt);
    const double sinP = std::sin(latitude), cosP = std::cos(latitude);
    return {std::atan2(sinA, cosA * sinP + tanh_ * cosP),
            std::asin(sinh_ * sinP - cosh_ * cosA * cosP)};
}

HADec GetCorrectedHADec(const EngineState& s, double haScope, double decScope) {
    if (!s.applyCorrections) return {haScope, decScope};
    HADec p{haScope, decScope};
    if (s.inverted) p = FlipSide(p.ha, p.dec);
    // Apply the model at the scope position.
    const HADec d = ModelOffsets(s, p.ha, p.dec);
    p.ha += d.ha;
    p.dec += d.dec;
    if (s.inverted) p = FlipSide(p.ha, p.dec);
    // Take the refraction out.
    AltAz h = HADecToAltAz(p.ha, p.dec, s.latitude, s.pressure, s.temperature);
    return AltAzToHADec(h.az, h.alt - h.refraction, s.latitude);
}

HADec GetScopeHADec(const EngineState& s, double haTrue, double decTrue) {
    if (!s.applyCorrections) return {haTrue, decTrue};
    HADec p{haTrue, decTrue};
    if (s.inverted) p = FlipSide(p.ha, p.dec);
    // Invert the model: two fixed-point evaluations, the first at the true
    // position.
    HADec d = ModelOffsets(s, p.ha, p.dec);
    d = ModelOffsets(s, p.ha - d.ha, p.dec - d.dec);
    HADec q{p.ha - d.ha, p.dec - d.dec};
    if (s.inverted) q = FlipSide(q.ha, q.dec);
    // Put the refraction in.
    AltAz h = HADecToAltAz(q.ha, q.dec, s.latitude, s.pressure, s.temperature);
    return AltAzToHADec(h.az, h.alt + h.refraction, s.latitude);
}

AzAlt GetCorrectedAltAz(const EngineState& s, double azScope, double altScope) {
    if (!s.applyCorrections) return {azScope, altScope};
    const double a = NudgeOffPole(altScope);
    const double sinP = std::sin(s.latitude), cosP = std::cos(s.latitude);
    // Scope horizon position to hour angle and declination.
    const double tanA = std::tan(a);
    double H = std::atan2(std::sin(azScope), cosP * tanA + sinP * std::cos(azScope));
    if (std::isnan(tanA)) H = 0.0;
    const double dec = std::asin(sinP * std::sin(a) - cosP * std::cos(a) * std::cos(azScope));
    const HADec c = GetCorrectedHADec(s, H, dec);
    // Back to the horizon.
    const double tanDc = std::tan(c.dec);
    double az = std::atan2(std::sin(c.ha), sinP * std::cos(c.ha) - cosP * tanDc);
    if (std::isnan(tanDc)) az = 0.0;
    if (az < 0.0) az += kTwoPi;
    const double alt =
        std::asin(cosP * std::cos(c.dec) * std::cos(c.ha) + sinP * std::sin(c.dec));
    return {az, alt};
}

}  // namespace trimcore
