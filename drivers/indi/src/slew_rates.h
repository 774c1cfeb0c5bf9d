// The discrete speeds of TELESCOPE_SLEW_RATE. INDI names the rates but does
// not say how fast they are; the speed is read from the element's label as
// the INDI telescope simulator moves ("Guide" one times sidereal,
// "Centering" 0.5 deg/s, "Find" 2.5 deg/s, "Max" 6 deg/s), or from a name or
// label "Nx" (N times sidereal), else from the element's rank (sidereal
// times powers of eight).
#pragma once

#include <QList>
#include <QString>

#include "celaris/drivers/indi/indi_property.h"

namespace celaris::indi {

inline constexpr double kSiderealArcsecPerSecond = 15.041067178669;
inline constexpr double kSiderealDegPerSecond = kSiderealArcsecPerSecond / 3600.0;

struct SlewRate {
    QString element;
    double degPerSecond = 0.0;
};

// In the property's order.
QList<SlewRate> SlewRates(const Property& slewRate);

// The rate closest to `degPerSecond` by ratio (rates span orders of
// magnitude); the list must not be empty.
const SlewRate& NearestRate(const QList<SlewRate>& rates, double degPerSecond);

}  // namespace celaris::indi
