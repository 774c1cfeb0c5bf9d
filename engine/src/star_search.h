// The brightest star in a camera image.
#pragma once

#include "celaris/com/types.h"

namespace trimcore {

// bm holds a two-dimensional VT_ARRAY | VT_I4 safe array, dimension 1 the
// column (x), varying fastest. Writes the centroid of the brightest star in
// the array's index numbering and returns S_OK. x = y = -1 whenever no
// position results: S_OK when there is no star (an image under 21 pixels
// either way, a centroid box summing to 0); E_POINTER for a null bm; E_FAIL
// for any other variant type (by-reference arrays included) or an array that
// is not two-dimensional with 4-byte elements; or the failing status of the
// bound and lock calls. The array is never left locked.
HRESULT FindBrightestStar(VARIANT* bm, double& x, double& y);

}  // namespace trimcore
