#include "celaris/calibration/auto_grid.h"

#include <cmath>
#include <limits>

namespace celaris::calibration {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSector = kPi / 16;          // 11.25 degrees
constexpr double kRow = 0.17453292519943278;  // 10 degrees
constexpr double kTwoPi = 2 * kPi;

}  // namespace

int16_t RoundHalfEven(double x) {
    if (!std::isfinite(x)) return 0;
    const double r = std::nearbyint(x);  // the default rounding mode is to even
    if (r >= std::numeric_limits<int16_t>::max()) return std::numeric_limits<int16_t>::max();
    if (r <= std::numeric_limits<int16_t>::min()) return std::numeric_limits<int16_t>::min();
    return static_cast<int16_t>(r);
}

GridOrigin OriginOf(double altRad, double azRad) {
    GridOrigin o;
    double az0 = RoundHalfEven(azRad / kSector) * kSector + kSector / 2;
    az0 = std::fmod(az0, kTwoPi);
    if (az0 < 0) az0 += kTwoPi;
    o.az0Rad = az0;
    o.a0 = RoundHalfEven(altRad / kRow);
    return o;
}

int BuildGrid(const GridOrigin& origin, Grid& grid) {
    const int a0 = origin.a0 < 0 ? 0 : origin.a0 > 9 ? 9 : origin.a0;
    int n = 0;
    auto add = [&](int altIndex, int column) {
        if (n >= kGridPoints) return;
        double az = origin.az0Rad + column * kSector;
        if (az >= kTwoPi) az -= kTwoPi;
        grid[size_t(n++)] = {altIndex * kRow, az};
    };
    for (int a = a0; a <= 8; ++a) add(a, 0);
    for (int u = 1; u < 32; ++u) {
        if (u % 2 == 1) {
            for (int a = 4; a >= 0; --a) add(a, u);
        } else {
            const int top = u % 8 == 0 ? 8 : u % 4 == 0 ? 7 : 6;
            for (int a = 0; a <= top; ++a) add(a, u);
        }
    }
    for (int a = 0; a < a0; ++a) add(a, 0);
    return n;
}

}  // namespace celaris::calibration
