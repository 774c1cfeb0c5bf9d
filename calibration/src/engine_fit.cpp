#include "engine_fit.h"

#include "trimcore/ifit_statistics.h"

namespace celaris::calibration {

EngineFit ReadEngineFit(hub::EngineRef& engine) {
    EngineFit fit;
    IFitStatistics* stats = nullptr;
    if (engine->QueryInterface(IID_IFitStatistics, reinterpret_cast<void**>(&stats)) != S_OK ||
        stats == nullptr)
        return fit;  // an engine without statistics: figures without errors
    LONG n = 0, k = 0;
    if (stats->get_FitObservationCount(&n) == S_OK && stats->get_FittedTermCount(&k) == S_OK) {
        fit.observations = n;
        fit.fittedTerms = k;
        for (int t = 0; t < kTermCount; ++t) {
            LONG fitted = 0;
            fit.fitted[t] = stats->get_TermFitted(t + 1, &fitted) == S_OK && fitted != 0;
        }
        for (int a = 0; a < kTermCount; ++a)
            for (int b = 0; b < kTermCount; ++b) {
                double v = 0.0;
                // S_FALSE: undetermined, the value is infinite and kept.
                if (SUCCEEDED(stats->GetTermCovariance(a + 1, b + 1, &v))) fit.covariance[a][b] = v;
            }
    }
    stats->Release();
    return fit;
}

}  // namespace celaris::calibration
