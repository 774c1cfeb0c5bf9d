#include "slew_steps.h"

#include <algorithm>
#include <cmath>

namespace celaris::indi_driver {

double NearestOffered(const AxisRates& ranges, double wanted) {
    double best = 0.0;
    double bestDistance = INFINITY;
    for (const AxisRate& r : ranges) {
        const double lo = std::min(r.minimum, r.maximum);
        const double hi = std::max(r.minimum, r.maximum);
        const double inside = std::clamp(wanted, lo, hi);
        const double distance = std::abs(inside - wanted);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = inside;
        }
    }
    return best;
}

QList<double> SlewSteps(const AxisRates& offered) {
    // "Stopped" is no speed to move at.
    AxisRates ranges;
    for (const AxisRate& r : offered)
        if (std::max(r.minimum, r.maximum) > 0.0) ranges.append(r);
    double fastest = 0.0;
    for (const AxisRate& r : ranges) fastest = std::max({fastest, r.minimum, r.maximum});
    if (!(fastest > 0.0)) return {};
    const double wanted[] = {8.0 * kSiderealDegPerSec, 64.0 * kSiderealDegPerSec, fastest / 2.0,
                             fastest};
    QList<double> steps;
    for (double w : wanted) {
        double rate = NearestOffered(ranges, std::min(w, fastest));
        if (!steps.isEmpty()) rate = std::max(rate, steps.last());
        steps.append(rate);
    }
    return steps;
}

}  // namespace celaris::indi_driver
