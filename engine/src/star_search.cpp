#include "star_search.h"

namespace trimcore {

// Placeholder until the star search lands.
HRESULT FindBrightestStar(VARIANT*, double& x, double& y) {
    x = -1.0;
    y = -1.0;
    return E_FAIL;
}

}  // namespace trimcore
