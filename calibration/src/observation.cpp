#include "celaris/calibration/observation.h"

#include <cmath>

namespace celaris::calibration {

double Observation::SkyRAError() const {
    return RAResidual * std::cos(DecScope);
}

double Observation::SkyError() const {
    return std::hypot(SkyRAError(), DecResidual);
}

}  // namespace celaris::calibration
