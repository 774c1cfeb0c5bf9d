#include "drawing.h"

#include <cmath>

namespace celaris::models {

Nearest NearestPosition(const std::vector<PixelPos>& positions, QPointF point) {
    Nearest best;
    for (size_t i = 0; i < positions.size(); ++i) {
        const double d = std::hypot(positions[i].x - point.x(), positions[i].y - point.y());
        if (d < best.distance) best = {static_cast<int>(i), d};
    }
    return best;
}

}  // namespace celaris::models
