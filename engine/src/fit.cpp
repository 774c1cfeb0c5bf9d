#include "fit.h"

namespace trimcore {

// The reduction and the fit come with the model-fitting work; until then the
// store stays empty.
bool AddObservation(EngineState&, double, double, double, double) { return false; }

void FitTerms(EngineState&) {}

void GetObservationError(const EngineState&, int32_t, double& raError, double& decError) {
    raError = 0.0;
    decError = 0.0;
}

}  // namespace trimcore
