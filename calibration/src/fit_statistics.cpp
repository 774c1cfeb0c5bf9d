#include "celaris/calibration/fit_statistics.h"

#include <cmath>
#include <limits>

namespace celaris::calibration {

namespace {

QString Arcsec(double radians) {
    return QString::number(radians * kRadiansToArcsec, 'f', 1) + QLatin1Char('"');
}

}  // namespace

double RootMeanSquare(std::span<const double> values) {
    if (values.size() < 2) return kOneArcMinuteRad;
    double sum = 0.0;
    for (double x : values) sum += x * x;
    const double r = std::sqrt(sum / static_cast<double>(values.size() - 1));
    return std::isfinite(r) ? r : 0.0;
}

double StdDevError(const QList<Observation>& list) {
    // Residuals as the engine gives them: no cos(dec) on the RA one.
    QList<double> errors;
    errors.reserve(list.size());
    for (const auto& o : list) errors.append(std::hypot(o.RAResidual, o.DecResidual));
    return RootMeanSquare(errors) * kRadiansToArcsec;
}

QString TermName(int term) {
    static const char* const kNames[kTermCount] = {"HOffset",     "DecOffset",      "Collimation",
                                                   "AxisNonPerp", "PolarLeftRight", "PolarVertical",
                                                   "TubeFlex",    "ForkFlex",       "DecFlex"};
    return term >= 0 && term < kTermCount ? QString::fromLatin1(kNames[term]) : QString();
}

bool FitStatistics::IsOutlier(int index) const {
    return index >= 1 && index <= normalisedResidual.size() &&
           normalisedResidual.at(index - 1) > kOutlierSigma;
}

FitStatistics ComputeFitStatistics(const QList<Observation>& list, const ModelTerms& terms,
                                   const EngineFit& fit) {
    FitStatistics st;
    QList<double> all, east, west;
    double sumSquares = 0.0;
    for (const auto& o : list) {
        if (!o.Use) continue;
        const double e = o.SkyError();
        all.append(e);
        (o.IsWestOfPier() ? west : east).append(e);
        sumSquares += e * e;
    }
    st.used = static_cast<int>(all.size());
    st.usedEast = static_cast<int>(east.size());
    st.usedWest = static_cast<int>(west.size());
    st.fittedTerms = fit.fittedTerms;
    st.valid = fit.fittedTerms > 0 && st.used > 0;
    st.rms = RootMeanSquare(all);
    if (st.used > st.fittedTerms)
        st.psd = st.rms * std::sqrt(static_cast<double>(st.used) / (st.used - st.fittedTerms));
    st.rmsEast = east.isEmpty() ? 0.0 : RootMeanSquare(east);
    st.rmsWest = west.isEmpty() ? 0.0 : RootMeanSquare(west);

    // Each observation's sky error against the size the fit leads one to
    // expect: 2n equations less k terms share the squared residuals, two
    // equations (RA and Dec) make one sky error.
    const double dof = 2.0 * st.used - st.fittedTerms;
    const double expected = dof > 0 ? std::sqrt(2.0 * sumSquares / dof) : 0.0;
    st.normalisedResidual.reserve(list.size());
    for (const auto& o : list)
        st.normalisedResidual.append(o.Use && expected > 0 ? o.SkyError() / expected : 0.0);

    constexpr double kInf = std::numeric_limits<double>::infinity();
    for (int t = 0; t < kTermCount; ++t) {
        auto& term = st.terms[t];
        term.value = terms[t];
        term.fitted = fit.fitted[t];
        if (!term.fitted) continue;
        const double var = fit.covariance[t][t];
        term.standardError = std::isfinite(var) && var >= 0 ? std::sqrt(var) : kInf;
    }
    if (!st.valid) return st;

    if (st.used * 2 <= st.fittedTerms)
        st.warnings.append(QStringLiteral("Too few observations: %1 for %2 terms.")
                               .arg(st.used)
                               .arg(st.fittedTerms));
    for (int t = 0; t < kTermCount; ++t) {
        const auto& term = st.terms[t];
        if (!term.fitted || term.standardError <= std::abs(term.value)) continue;
        st.warnings.append(
            std::isfinite(term.standardError)
                ? QStringLiteral("%1 is not determined: its standard error %2 exceeds the term %3.")
                      .arg(TermName(t), Arcsec(term.standardError), Arcsec(term.value))
                : QStringLiteral("%1 is not determined by these observations.").arg(TermName(t)));
    }
    for (int a = 0; a < kTermCount; ++a)
        for (int b = a + 1; b < kTermCount; ++b) {
            if (!st.terms[a].fitted || !st.terms[b].fitted) continue;
            const double va = fit.covariance[a][a], vb = fit.covariance[b][b];
            if (!(va > 0 && vb > 0) || !std::isfinite(va) || !std::isfinite(vb)) continue;
            const double r = fit.covariance[a][b] / std::sqrt(va * vb);
            if (std::abs(r) > kCorrelationLimit)
                st.warnings.append(
                    QStringLiteral("%1 and %2 are correlated (%3): observe over more of the sky.")
                        .arg(TermName(a), TermName(b), QString::number(r, 'f', 2)));
        }
    return st;
}

}  // namespace celaris::calibration
