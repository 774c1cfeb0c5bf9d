// The sky pattern of the automatic calibration: 204 positions in altitude
// and azimuth laid out in 32 columns of 11.25 degrees round the mount's
// starting position, odd columns walked downwards and even ones upwards so
// that consecutive points are never far apart; rows near the zenith are
// visited by fewer columns.
#pragma once

#include <array>
#include <cstdint>

namespace celaris::calibration {

inline constexpr int kGridPoints = 204;

struct GridPoint {
    double altRad = 0.0;
    double azRad = 0.0;
};
// Index 0 holds grid point 1.
using Grid = std::array<GridPoint, kGridPoints>;

// The nearest 16-bit integer, halves to the even neighbour.
int16_t RoundHalfEven(double x);

struct GridOrigin {
    // Starting altitude index (steps of 10 degrees) as the mount gives it;
    // below 0 when the mount is lower than -5 degrees.
    int a0 = 0;
    // Half a sector beyond the multiple of 11.25 degrees nearest the
    // mount's azimuth, in [0, 2 pi).
    double az0Rad = 0.0;
};
GridOrigin OriginOf(double altRad, double azRad);

// Fills grid from the origin and returns how many points it holds (204). A
// start below -5 degrees would make column 0 longer than the pattern has
// room for; it is built as a start at the 0 degree row, so the pattern
// stays the same 204 points and nothing is written past the grid.
int BuildGrid(const GridOrigin& origin, Grid& grid);

}  // namespace celaris::calibration
