// The fit (CalculateErrors) with 30, 200 and 999 observations, beside Eigen's
// JacobiSVD and BDCSVD solving the same least-squares system in the same run.
// Every variant builds the design matrix from the stored observations, solves
// with the 1e-5 singular value threshold and forms the residuals, so the
// figures differ only in the decomposition.
#include <benchmark/benchmark.h>

#include <Eigen/Dense>
#include <cmath>

#include "fit.h"
#include "model.h"

namespace {

constexpr double kDeg = 0.017453292519943278;
constexpr double kArcmin = kDeg / 60.0;

// A German mount at 40 degrees with n observations spread over the sky above
// 20 degrees altitude, half of them on the flipped side of the pier.
trimcore::EngineState Calibration(int n) {
    trimcore::EngineState model;
    model.german = 1;
    model.latitude = 40 * kDeg;
    model.pressure = 101.325;
    model.temperature = 10;
    model.hOffset = 2.5 * kArcmin;
    model.decOffset = -1.5 * kArcmin;
    model.polarLeftRight = 3 * kArcmin;
    model.polarVertical = -2 * kArcmin;
    model.collimation = kArcmin;
    model.axisNonPerp = -0.5 * kArcmin;
    model.tubeFlex = 4 * kArcmin;
    model.decFlex = 1.2 * kArcmin;

    trimcore::EngineState s = model;
    trimcore::CalibrateState(s);
    const double lo = std::sin(20 * kDeg), hi = std::sin(85 * kDeg);
    for (int i = 0; i < n; ++i) {
        const double alt = std::asin(lo + (hi - lo) * (i + 0.5) / n);
        const trimcore::HADec star =
            trimcore::AltAzToHADec(i * 2.399963229728653, alt, model.latitude);
        model.inverted = s.inverted = i % 2;
        const trimcore::HADec scope = trimcore::GetScopeHADec(model, star.ha, star.dec);
        trimcore::AddObservation(s, star.ha, star.dec, scope.ha, scope.dec);
    }
    return s;
}

void FitTerms(benchmark::State& st) {
    trimcore::EngineState s = Calibration(static_cast<int>(st.range(0)));
    for (auto _ : st) {
        trimcore::FitTerms(s);
        benchmark::DoNotOptimize(s.residuals[1]);
    }
}

template <typename Svd>
void EigenFit(benchmark::State& st) {
    const trimcore::EngineState s = Calibration(static_cast<int>(st.range(0)));
    const int m = trimcore::FittedTermCount(s);
    std::vector<double> design(2 * s.count * m), y(2 * s.count);
    for (auto _ : st) {
        trimcore::DesignSystem(s, m, design, y);
        const Eigen::Map<const Eigen::MatrixXd> a(design.data(), 2 * s.count, m);
        const Eigen::Map<const Eigen::VectorXd> b(y.data(), 2 * s.count);
        Svd svd(a, Eigen::ComputeThinU | Eigen::ComputeThinV);
        svd.setThreshold(1e-5);
        const Eigen::VectorXd x = svd.solve(b);
        const Eigen::VectorXd r = b - a * x;
        benchmark::DoNotOptimize(r.data());
    }
}

void EigenJacobiSVD(benchmark::State& st) {
    EigenFit<Eigen::JacobiSVD<Eigen::MatrixXd>>(st);
}
void EigenBDCSVD(benchmark::State& st) {
    EigenFit<Eigen::BDCSVD<Eigen::MatrixXd>>(st);
}

BENCHMARK(FitTerms)->Arg(30)->Arg(200)->Arg(999)->Unit(benchmark::kMicrosecond);
BENCHMARK(EigenJacobiSVD)->Arg(30)->Arg(200)->Arg(999)->Unit(benchmark::kMicrosecond);
BENCHMARK(EigenBDCSVD)->Arg(30)->Arg(200)->Arg(999)->Unit(benchmark::kMicrosecond);

}  // namespace
