// Mean obliquity of the ecliptic (Laskar 1986).
#include "reductions.h"

namespace trimcore::astro {

namespace {
// Arc seconds and powers of T/100 (units of 10000 Julian years).
constexpr double kLaskar[] = {84381.448, -4680.93, -1.55, 1999.25, -51.38, -249.67,
                              -39.05,    7.12,     27.87, 5.79,    2.45};
}  // namespace

double MeanObliquity(double T) {
    return Polynomial(kLaskar, 10, T / 100.0) * kArcsecToRad;
}

}  // namespace trimcore::astro
