// Angle folding and polynomial evaluation shared by the reductions.
#include <cmath>

#include "reductions.h"

namespace trimcore::astro {

double NormalizeAngle(double x) {
    const double r = x - kTwoPi * std::floor(x / kTwoPi);
    // A tiny negative x rounds up to exactly 2pi; keep the range half-open.
    return r < kTwoPi ? r : 0.0;
}

double Polynomial(const double* c, int n, double x) {
    double v = c[n];
    for (int i = n - 1; i >= 0; --i) v = v * x + c[i];
    return v;
}

}  // namespace trimcore::astro
