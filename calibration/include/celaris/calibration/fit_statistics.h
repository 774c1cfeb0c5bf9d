// The figures serious users read after a fit: the root-mean-square of the
// residuals, each fitted term with its standard error, the spread east and
// west of the pier, outliers and a warning when the fit is poorly
// constrained. Pure functions over the store's records.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <span>

#include "celaris/calibration/observation.h"

namespace celaris::calibration {

// The nine model terms in the engine's order: HOffset, DecOffset,
// Collimation, AxisNonPerp, PolarLeftRight, PolarVertical, TubeFlex,
// ForkFlex, DecFlex (radians).
inline constexpr int kTermCount = 9;
using ModelTerms = std::array<double, kTermCount>;

// One arc minute in radians: what the RMS gives with fewer than two values.
inline constexpr double kOneArcMinuteRad = 2.908882086657213e-4;
inline constexpr double kRadiansToArcsec = 57.29577951308238 * 3600.0;

// sqrt(sum x^2 / (n - 1)), no mean subtracted; one arc minute for n < 2;
// 0 when the sum is not finite.
double RootMeanSquare(std::span<const double> values);

// The scripting interface's StdDevError, arc seconds: over every record,
// used or not, of sqrt(RAResidual^2 + DecResidual^2) (no declination
// factor); exactly 60 with at most one record.
double StdDevError(const QList<Observation>& list);

// What the engine knows of its last fit (zeros when it has none).
struct EngineFit {
    int observations = 0;  // n
    int fittedTerms = 0;   // k
    std::array<bool, kTermCount> fitted{};
    // sigma^2 (A^T A)^-1, radians^2; rows and columns in term order.
    std::array<std::array<double, kTermCount>, kTermCount> covariance{};
};

struct TermFigure {
    bool fitted = false;
    double value = 0.0;          // radians
    double standardError = 0.0;  // radians; infinite when not determined
};

struct FitStatistics {
    bool valid = false;   // a fit has run on the current list
    int used = 0;         // n: used observations
    int fittedTerms = 0;  // k
    double rms = 0.0;     // radians on the sky, RootMeanSquare of the used
    double psd = 0.0;     // rms * sqrt(n / (n - k)); 0 when n <= k
    double rmsEast = 0.0, rmsWest = 0.0;
    int usedEast = 0, usedWest = 0;
    std::array<TermFigure, kTermCount> terms{};
    // Per record of the list (index i - 1): the sky error over its expected
    // size; 0 for unused records.
    QList<double> normalisedResidual;
    // Human-readable warnings when the fit is poorly constrained.
    QStringList warnings;

    // Record index (1-based) lies beyond 3 sigma.
    bool IsOutlier(int index) const;
};

// The threshold of IsOutlier, in normalised residuals.
inline constexpr double kOutlierSigma = 3.0;
// Two terms correlated beyond this make the fit poorly constrained.
inline constexpr double kCorrelationLimit = 0.95;

// The figures for the list after a fit with these terms.
FitStatistics ComputeFitStatistics(const QList<Observation>& list, const ModelTerms& terms,
                                   const EngineFit& fit);

// The engine's property name of term t (0-based), for messages.
QString TermName(int term);

}  // namespace celaris::calibration
