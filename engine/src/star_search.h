// The brightest star in a camera image.
#pragma once

#include "celaris/com/types.h"

namespace trimcore {

// bm holds a two-dimensional VT_I4 safe array (dimension 1 is x). Writes the
// centroid of the brightest star, or -1, -1 when none is found.
HRESULT FindBrightestStar(VARIANT* bm, double& x, double& y);

}  // namespace trimcore
