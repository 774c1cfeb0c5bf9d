// The last fit's statistics as IFitStatistics reports them, against
// sigma^2 (A^T A)^-1 computed by Eigen from the fit's own design matrix.
#include <gtest/gtest.h>

#include <Eigen/Dense>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "fit.h"
#include "model.h"
#include "svd_object.h"

using namespace trimcore;

namespace {

constexpr double kDeg = 0.017453292519943278;
constexpr double kArcmin = kDeg / 60.0;
constexpr double kArcsec = kDeg / 3600.0;
constexpr double kNoise = 5.0 * kArcsec;

// Interface number of each fit index on a German mount.
constexpr LONG kTermOfFitIndex[kFitTerms] = {1, 2, 5, 6, 3, 4, 7, 9};

// Roughly normal deviates of standard deviation 1, the same on every run.
struct Noise {
    uint64_t x = 0x9E3779B97F4A7C15ull;
    double operator()() {
        double sum = -6.0;
        for (int i = 0; i < 12; ++i) {
            x ^= x << 13, x ^= x >> 7, x ^= x << 17;
            sum += static_cast<double>(x >> 11) * 0x1.0p-53;
        }
        return sum;
    }
};

// An engine object and a plain state fed the same calls: the object answers
// through the interface, the state gives the oracle its design matrix.
struct Engine {
    SVDObject* object = new SVDObject;
    IFitStatistics* stats = nullptr;
    EngineState mirror;
    EngineState model;  // the mount the observations come from
    Noise noise;

    Engine() {
        object->QueryInterface(IID_IFitStatistics, reinterpret_cast<void**>(&stats));
        model.latitude = 40.0 * kDeg;
        model.german = 1;
        model.hOffset = 2.5 * kArcmin, model.decOffset = -1.5 * kArcmin;
        model.polarLeftRight = 3.0 * kArcmin, model.polarVertical = -2.0 * kArcmin;
        model.collimation = 1.0 * kArcmin, model.axisNonPerp = -0.5 * kArcmin;
        model.tubeFlex = 4.0 * kArcmin, model.decFlex = 1.2 * kArcmin;
        // A recalibration holds the terms it does not fit at their true values.
        mirror = model;
        object->put_German(1);
        object->put_Latitude(model.latitude);
        object->put_HOffset(model.hOffset);
        object->put_DecOffset(model.decOffset);
        object->put_PolarLeftRight(model.polarLeftRight);
        object->put_PolarVertical(model.polarVertical);
        object->put_Collimation(model.collimation);
        object->put_AxisNonPerp(model.axisNonPerp);
        object->put_TubeFlex(model.tubeFlex);
        object->put_DecFlex(model.decFlex);
    }
    ~Engine() {
        stats->Release();
        object->Release();
    }
    // Seen with the model's terms plus noise in both coordinates.
    void Observe(double ha, double dec) {
        const HADec d = ModelOffsets(model, ha, dec);
        const double haTrue = ha + d.ha + kNoise * noise(),
                     decTrue = dec + d.dec + kNoise * noise();
        object->AddObservation(haTrue, decTrue, ha, dec);
        trimcore::AddObservation(mirror, haTrue, decTrue, ha, dec);
    }
    void ObserveSpread(int n) {
        for (int i = 0; i < n; ++i) {
            const double alt = std::asin(0.4 + 0.55 * (i + 0.5) / n);
            const HADec p = AltAzToHADec(i * 2.399963229728653, alt, mirror.latitude);
            Observe(p.ha, p.dec);
        }
    }
    double Covariance(LONG a, LONG b) {
        double c = -1.0;
        EXPECT_EQ(stats->GetTermCovariance(a, b, &c), S_OK) << a << " " << b;
        return c;
    }
    double Correlation(LONG a, LONG b) {
        return Covariance(a, b) / std::sqrt(Covariance(a, a) * Covariance(b, b));
    }
};

}  // namespace

TEST(FitStatistics, MatchEigenOnTheFitsDesignMatrix) {
    // A full model, a recalibration holding five terms, one holding seven.
    for (int fitted : {8, 4, 2}) {
        Engine e;
        if (fitted < 8) {
            e.object->Recalibrate(fitted == 2);
            RecalibrateState(e.mirror, fitted == 2);
        }
        e.ObserveSpread(40);
        ASSERT_EQ(e.object->CalculateErrors(), S_OK);

        const int m = FittedTermCount(e.mirror), rows = 2 * e.mirror.count;
        ASSERT_EQ(m, fitted);
        std::vector<double> design(static_cast<size_t>(rows) * m), y(rows);
        DesignSystem(e.mirror, m, design, y);
        const Eigen::Map<const Eigen::MatrixXd> a(design.data(), rows, m);
        const Eigen::Map<const Eigen::VectorXd> b(y.data(), rows);
        const Eigen::VectorXd x = a.colPivHouseholderQr().solve(b);
        const double sigma = std::sqrt((b - a * x).squaredNorm() / (rows - m));
        const Eigen::MatrixXd cov =
            sigma * sigma * (a.transpose() * a).ldlt().solve(Eigen::MatrixXd::Identity(m, m));

        LONG count = 0;
        double reported = 0.0;
        e.stats->get_FitObservationCount(&count);
        EXPECT_EQ(count, 40);
        e.stats->get_FittedTermCount(&count);
        EXPECT_EQ(count, fitted);
        e.stats->get_ResidualSigma(&reported);
        EXPECT_NEAR(reported, sigma, 1e-10 * sigma);
        EXPECT_NEAR(sigma, kNoise, 0.2 * kNoise);  // the noise put in
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < m; ++j)
                EXPECT_NEAR(e.Covariance(kTermOfFitIndex[i], kTermOfFitIndex[j]), cov(i, j),
                            1e-8 * std::sqrt(cov(i, i) * cov(j, j)))
                    << fitted << ": " << i << ", " << j;
        // Terms held or not in this mount's model: not fitted, no covariance.
        for (LONG t = 1; t <= kTrimcoreTermCount; ++t) {
            bool isFitted = false;
            for (int i = 0; i < m; ++i) isFitted |= kTermOfFitIndex[i] == t;
            LONG flag = -1;
            e.stats->get_TermFitted(t, &flag);
            EXPECT_EQ(flag, isFitted ? 1 : 0) << fitted << ": " << t;
            if (!isFitted) {
                EXPECT_EQ(e.Covariance(t, 1), 0.0) << fitted << ": " << t;
            }
        }
    }
}

TEST(FitStatistics, ASmallPatchOfSkyShowsAPoorlyConstrainedFit) {
    // The same mount and noise seen over the sky and within a 5-degree patch.
    for (bool patch : {false, true}) {
        Engine e;
        if (patch)
            for (int i = 0; i < 40; ++i) e.Observe(0.3 + (i % 8) * 0.0125, 0.6 + (i / 8) * 0.02);
        else
            e.ObserveSpread(40);
        e.object->CalculateErrors();
        double correlation = 0.0, error = 0.0;
        for (int i = 0; i < kFitTerms; ++i) {
            const LONG t = kTermOfFitIndex[i];
            error = std::max(error, std::sqrt(e.Covariance(t, t)));
            for (int j = 0; j < i; ++j)
                correlation =
                    std::max(correlation, std::fabs(e.Correlation(t, kTermOfFitIndex[j])));
        }
        // Over the sky the worst standard error is a fraction of the smallest
        // term (0.5'); in the patch it exceeds the largest (4').
        EXPECT_EQ(correlation > 0.95, patch) << correlation;
        EXPECT_EQ(error > (patch ? 4.0 : 0.1) * kArcmin, patch) << error / kArcsec;
    }
}

TEST(FitStatistics, UndeterminedTermsHaveInfiniteVariance) {
    // Three observations for eight terms, then thirty at one position: two
    // and six combinations of terms undetermined, and no residual to measure
    // in the first.
    for (bool samePlace : {false, true}) {
        Engine e;
        for (int i = 0; i < (samePlace ? 30 : 3); ++i)
            e.Observe(samePlace ? 0.4 : -0.5 + 0.5 * i, samePlace ? 0.7 : 0.2 + 0.3 * i);
        e.object->CalculateErrors();
        double sigma = -1.0, v = 0.0;
        e.stats->get_ResidualSigma(&sigma);
        EXPECT_EQ(sigma == 0.0, !samePlace);
        int unbounded = 0;
        for (LONG t = 1; t <= kTrimcoreTermCount; ++t) {
            const HRESULT hr = e.stats->GetTermCovariance(t, t, &v);
            EXPECT_TRUE(hr == S_OK ? std::isfinite(v) && v >= 0.0 : hr == S_FALSE && v == HUGE_VAL)
                << t;
            unbounded += hr == S_FALSE;
        }
        EXPECT_EQ(unbounded, 8) << samePlace;  // they involve every fitted term
    }
}
