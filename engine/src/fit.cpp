#include "fit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include "message.h"
#include "model.h"
#include "trimcore/ifit_statistics.h"

namespace trimcore {

namespace {

// Singular values below this fraction of the largest are treated as zero:
// the directions the observations cannot separate stay at zero.
constexpr double kSingularValueThreshold = 1e-5;

// Into [0, 2pi) by at most one turn either way.
double ReduceOnce(double angle) {
    if (angle < 0.0) return angle + kTwoPi;
    if (angle >= kTwoPi) return angle - kTwoPi;
    return angle;
}

// The term with fit index k (0-based): HOffset, DecOffset, PolarLeftRight,
// PolarVertical, Collimation, AxisNonPerp, TubeFlex, then DecFlex on a German
// mount or ForkFlex on a fork mount.
double& Term(EngineState& s, int k) {
    switch (k) {
        case 0:
            return s.hOffset;
        case 1:
            return s.decOffset;
        case 2:
            return s.polarLeftRight;
        case 3:
            return s.polarVertical;
        case 4:
            return s.collimation;
        case 5:
            return s.axisNonPerp;
        case 6:
            return s.tubeFlex;
        default:
            return s.german ? s.decFlex : s.forkFlex;
    }
}

static_assert(kTrimcoreTermCount == kStatisticsTerms);

// The statistics index (interface number less one) of the term with fit
// index k.
int StatisticsIndex(int k, bool german) {
    static constexpr LONG kByFitIndex[kFitTerms - 1] = {
        kTrimcoreTermHOffset,       kTrimcoreTermDecOffset,   kTrimcoreTermPolarLeftRight,
        kTrimcoreTermPolarVertical, kTrimcoreTermCollimation, kTrimcoreTermAxisNonPerp,
        kTrimcoreTermTubeFlex};
    if (k < kFitTerms - 1) return kByFitIndex[k] - 1;
    return (german ? kTrimcoreTermDecFlex : kTrimcoreTermForkFlex) - 1;
}

// An entry of the projector onto the cut directions above this means the
// two terms share a direction the observations did not determine; rounding
// leaves the entries of other terms near 1e-16.
constexpr double kUnresolvedLoad = 1e-9;

// Records sigma and sigma^2 (A^T A)^-1 = sigma^2 V diag(1/w^2) V^T from the
// fit's decomposition (w after the cut, V m x m column-major) and its
// residuals. The pseudo-inverse alone would give a cut direction zero
// variance and make the worst-determined terms look the best, so the entries
// that direction touches are infinite instead, with the sign they take as its
// singular value tends to zero.
void RecordStatistics(EngineState& s, int m, std::span<const double> w, std::span<const double> v,
                      std::span<const double> residuals) {
    FitStatistics& st = s.statistics;
    st = {};
    st.observations = s.count;
    st.fittedTerms = m;
    const size_t rows = residuals.size();
    if (rows > static_cast<size_t>(m)) {
        double squares = 0.0;
        for (double r : residuals) squares += r * r;
        st.sigma = std::sqrt(squares / static_cast<double>(rows - m));
    }
    const double variance = st.sigma * st.sigma;
    const bool german = s.german != 0;
    for (int i = 0; i < m; ++i) {
        const int a = StatisticsIndex(i, german);
        st.fitted[a] = 1;
        for (int j = 0; j < m; ++j) {
            double kept = 0.0, cut = 0.0;
            for (int c = 0; c < m; ++c) {
                const double vi = v[static_cast<size_t>(c) * m + i];
                const double vj = v[static_cast<size_t>(c) * m + j];
                if (w[c] == 0.0)
                    cut += vi * vj;
                else
                    kept += (vi / w[c]) * (vj / w[c]);
            }
            st.covariance[a][StatisticsIndex(j, german)] =
                std::fabs(cut) > kUnresolvedLoad
                    ? std::copysign(std::numeric_limits<double>::infinity(), cut)
                    : variance * kept;
        }
    }
}

}  // namespace

bool AddObservation(EngineState& s, double haTrue, double decTrue, double haScope,
                    double decScope) {
    if (s.count >= kMaxObservations) return false;

    // Keep tan and 1/cos of both declinations finite.
    decTrue = NudgeOffPole(decTrue);
    decScope = NudgeOffPole(decScope);

    // Take the refraction out of the scope position. The pressure-temperature
    // factor is applied whatever the temperature.
    const AltAz horizon = HADecToAltAz(haScope, decScope, s.latitude, s.pressure, s.temperature);
    const double alt = horizon.alt - ScaledRefraction(horizon.alt, s.pressure, s.temperature);
    HADec scope = AltAzToHADec(horizon.az, alt, s.latitude);

    // Bring the hour angles within half a turn of each other, so that a star
    // across the 0/2pi seam from the mount's reading is not a whole turn off.
    haTrue = ReduceOnce(haTrue);
    scope.ha = ReduceOnce(scope.ha);
    if (std::fabs(scope.ha - haTrue) > kPi) {
        if (scope.ha > haTrue)
            scope.ha -= kTwoPi;
        else
            haTrue -= kTwoPi;
    }

    // On the flipped side of the pier both positions take the flipped
    // representation, chosen by the signs of the scope position alone so that
    // the pair moves together.
    if (s.inverted) {
        const double turn = scope.ha > 0.0 ? -kPi : kPi;
        scope.ha += turn;
        haTrue += turn;
        const double pole = scope.dec > 0.0 ? kPi : -kPi;
        scope.dec = pole - scope.dec;
        decTrue = pole - decTrue;
    }

    s.count += 1;
    s.observations[s.count] = {scope.dec, scope.ha, decTrue, haTrue};
    // No fit has seen this observation yet: no residual from an earlier
    // calibration may show through under its number.
    s.residuals[s.count] = {0.0, 0.0};
    return true;
}

int FittedTermCount(const EngineState& s) {
    if (!s.recalibrationMode) return kFitTerms;
    return s.fixedInstallation ? 2 : 4;
}

void DesignSystem(const EngineState& s, int m, std::span<double> design, std::span<double> y) {
    const int n = s.count;
    const int rows = 2 * n;
    const bool german = s.german != 0;
    const TermVector held = ActiveTerms(s);
    for (int i = 0; i < n; ++i) {
        const ObservationRecord& o = s.observations[i + 1];
        TermVector ha, de;
        Basis(o.scopeHA, o.scopeDec, s.latitude, german, ha, de);
        double yHA = o.trueHA - o.scopeHA;
        double yDec = o.trueDec - o.scopeDec;
        for (int k = m; k < kFitTerms; ++k) {
            yHA -= held[k] * ha[k];
            yDec -= held[k] * de[k];
        }
        for (int k = 0; k < m; ++k) {
            design[static_cast<size_t>(k) * rows + 2 * i] = ha[k];
            design[static_cast<size_t>(k) * rows + 2 * i + 1] = de[k];
        }
        y[2 * i] = yHA;
        y[2 * i + 1] = yDec;
    }
}

void FitTerms(EngineState& s, int maxSweeps) {
    const int n = s.count;
    const int m = FittedTermCount(s);
    const size_t rows = 2 * static_cast<size_t>(n);
    const size_t cells = rows * m;
    const bool german = s.german != 0;

    // All work arrays in one block: the design matrix, its decomposition
    // (U, w, V), the right-hand side and the solution. One allocation per
    // fit, freed on return.
    std::vector<double> work(2 * cells + rows + m + m * m + m);
    const std::span<double> design(work.data(), cells), u(design.end(), cells), y(u.end(), rows),
        w(y.end(), m), v(w.end(), m * m), a(v.end(), m);
    DesignSystem(s, m, design, y);
    std::copy(design.begin(), design.end(), u.begin());

    // Least squares by singular value decomposition; a failure to converge is
    // reported and the fit goes on with what the decomposition reached.
    if (!Svdcmp(u, static_cast<int>(rows), m, w, v, maxSweeps)) ShowMessage(kNoConvergenceMessage);
    ZeroSmallSingularValues(w, kSingularValueThreshold);
    SolveFromSvd(u, w, v, static_cast<int>(rows), m, y, a);

    // The fitted terms replace the stored ones; a full fit also clears the
    // flexure term the mount type does not use.
    for (int k = 0; k < m; ++k) Term(s, k) = a[k];
    if (m == kFitTerms) (german ? s.forkFlex : s.decFlex) = 0.0;

    // Residuals of each equation against the fitted terms.
    for (int k = 0; k < m; ++k)
        for (size_t r = 0; r < rows; ++r) y[r] -= design[k * rows + r] * a[k];
    for (int i = 0; i < n; ++i) s.residuals[i + 1] = {y[2 * i], y[2 * i + 1]};
    RecordStatistics(s, m, w, v, y);
}

void GetObservationError(const EngineState& s, int32_t index, double& raError, double& decError) {
    if (index < 1 || index > s.count) {
        raError = 0.0;
        decError = 0.0;
        return;
    }
    // An hour-angle error is a right-ascension error of the opposite sign.
    raError = -s.residuals[index].haResidual;
    decError = s.residuals[index].decResidual;
}

}  // namespace trimcore
