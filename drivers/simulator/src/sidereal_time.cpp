#include "sidereal_time.h"

#include "angles.h"
#include "celaris/ascom/sidereal_time.h"

namespace celaris::sim {

double GreenwichMeanSiderealTime(double unixSeconds) {
    return WrapTwoPi(ascom::GreenwichMeanSiderealTimeDeg(unixSeconds) * kDegToRad);
}

double LocalMeanSiderealTime(double unixSeconds, double longitudeRad) {
    return WrapTwoPi(GreenwichMeanSiderealTime(unixSeconds) + longitudeRad);
}

}  // namespace celaris::sim
