#include "horizon.h"

#include <algorithm>
#include <cmath>

namespace celaris::sim {

AltAz HorizonFromEquatorial(HaDec p, double latitudeRad) {
    const double sinLat = std::sin(latitudeRad), cosLat = std::cos(latitudeRad);
    const double sinDec = std::sin(p.dec), cosDec = std::cos(p.dec);
    const double cosHa = std::cos(p.ha);
    AltAz h;
    h.altitude = std::asin(std::clamp(sinLat * sinDec + cosLat * cosDec * cosHa, -1.0, 1.0));
    // East component (-cos dec sin H) over north component.
    h.azimuth =
        WrapTwoPi(std::atan2(-cosDec * std::sin(p.ha), sinDec * cosLat - cosDec * sinLat * cosHa));
    return h;
}

HaDec EquatorialFromHorizon(AltAz h, double latitudeRad) {
    const double sinLat = std::sin(latitudeRad), cosLat = std::cos(latitudeRad);
    const double sinAlt = std::sin(h.altitude), cosAlt = std::cos(h.altitude);
    const double cosAz = std::cos(h.azimuth);
    HaDec p;
    p.dec = std::asin(std::clamp(sinLat * sinAlt + cosLat * cosAlt * cosAz, -1.0, 1.0));
    p.ha = std::atan2(-cosAlt * std::sin(h.azimuth), sinAlt * cosLat - cosAlt * sinLat * cosAz);
    return p;
}

}  // namespace celaris::sim
