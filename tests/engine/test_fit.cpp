// Observations, the fit of the model terms and the residuals, on the
// internal functions.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <string>
#include <vector>

#include "fit.h"
#include "model.h"
#include "trimcore/isvd.h"

using namespace trimcore;

namespace {

constexpr double kDeg = 0.017453292519943278;
constexpr double kArcmin = kDeg / 60.0;
constexpr double kArcsec = kDeg / 3600.0;
const double kNaN = std::numeric_limits<double>::quiet_NaN();

// Latitude 40 degrees; with known terms of 0.5' to 4' when asked.
EngineState Site(double pressure, bool german = true, bool withTerms = false) {
    EngineState s;
    s.latitude = 40.0 * kDeg;
    s.pressure = pressure;
    s.temperature = 10.0;
    s.german = german;
    if (withTerms) {
        s.hOffset = 2.5 * kArcmin;
        s.decOffset = -1.5 * kArcmin;
        s.polarLeftRight = 3.0 * kArcmin;
        s.polarVertical = -2.0 * kArcmin;
        s.collimation = 1.0 * kArcmin;
        s.axisNonPerp = -0.5 * kArcmin;
        s.tubeFlex = 4.0 * kArcmin;
        s.decFlex = 1.2 * kArcmin;
        s.forkFlex = -0.8 * kArcmin;
    }
    return s;
}

// n stars spread evenly between 22 and 85 degrees altitude (a Fibonacci
// lattice), unrefracted.
std::vector<HADec> Stars(int n) {
    const double lo = std::sin(22.0 * kDeg), hi = std::sin(85.0 * kDeg);
    std::vector<HADec> stars;
    for (int i = 0; i < n; ++i)
        stars.push_back(AltAzToHADec(i * 2.399963229728653,
                                     std::asin(lo + (hi - lo) * (i + 0.5) / n), 40.0 * kDeg));
    return stars;
}

struct Observation {
    double haTrue, decTrue, haScope, decScope;
    bool inverted;
};

// The scope reading GetScopeHADec predicts for a star.
Observation Predicted(EngineState model, HADec star, bool inverted) {
    model.inverted = inverted;
    const HADec scope = GetScopeHADec(model, star.ha, star.dec);
    return {star.ha, star.dec, scope.ha, scope.dec, inverted};
}

// An observation the fit's own model describes exactly: the star is taken as
// the unrefracted scope position, the model gives the true position in the
// observation's frame, and the reading gets back the refraction that
// AddObservation takes out. Free of the approximations of GetScopeHADec.
Observation Exact(const EngineState& model, HADec star, bool inverted) {
    const HADec frame = inverted ? FlipSide(star.ha, star.dec) : star;
    const HADec d = ModelOffsets(model, frame.ha, frame.dec);
    HADec truth{frame.ha + d.ha, frame.dec + d.dec};
    if (inverted)
        truth = {truth.ha + (star.ha > 0.0 ? kPi : -kPi),
                 (star.dec > 0.0 ? kPi : -kPi) - truth.dec};
    const AltAz h = HADecToAltAz(star.ha, star.dec, model.latitude, 0.0, 10.0);
    double raw = h.alt;  // solves raw - R(raw) = h.alt
    for (int i = 0; i < 50; ++i) raw = h.alt + ScaledRefraction(raw, model.pressure, 10.0);
    const HADec scope = AltAzToHADec(h.az, raw, model.latitude);
    return {truth.ha, truth.dec, scope.ha, scope.dec, inverted};
}

// Stars alternately on either side of the pier, added after Calibrate or
// Recalibrate.
void AddStars(EngineState& s, const EngineState& model, int n, bool exact) {
    const auto stars = Stars(n);
    for (int i = 0; i < n; ++i) {
        const Observation o =
            exact ? Exact(model, stars[i], i % 2) : Predicted(model, stars[i], i % 2);
        s.inverted = o.inverted;
        ASSERT_TRUE(AddObservation(s, o.haTrue, o.decTrue, o.haScope, o.decScope));
    }
}

// Largest difference of the eight active terms, arc seconds.
double WorstTermError(const EngineState& a, const EngineState& b) {
    const TermVector ta = ActiveTerms(a), tb = ActiveTerms(b);
    double worst = 0.0;
    for (int k = 0; k < kFitTerms; ++k) worst = std::max(worst, std::fabs(ta[k] - tb[k]));
    return worst / kArcsec;
}

// Largest residual of the stored observations, arc seconds.
double WorstResidual(const EngineState& s) {
    double worst = 0.0, ra, dec;
    for (int i = 1; i <= s.count; ++i) {
        GetObservationError(s, i, ra, dec);
        worst = std::max({worst, std::fabs(ra), std::fabs(dec)});
    }
    return worst / kArcsec;
}

// Collects the texts the engine shows while in scope.
struct MessageCapture {
    std::vector<std::string> texts;
    MessageCapture() {
        TrimcoreSetMessageHandler(
            [](const char* t, void* me) { static_cast<MessageCapture*>(me)->texts.push_back(t); },
            this);
    }
    ~MessageCapture() { TrimcoreSetMessageHandler(nullptr, nullptr); }
};

}  // namespace

TEST(FitTerms, RecoversKnownTermsOnBothMountTypesWithAndWithoutAir) {
    // Readings from GetScopeHADec carry its approximations (two fixed-point
    // steps, refraction taken at the apparent altitude on the way back);
    // exact readings show the fit itself.
    for (bool exact : {false, true}) {
        for (bool german : {true, false}) {
            for (double pressure : {0.0, 101.325}) {
                const EngineState model = Site(pressure, german, true);
                EngineState s = Site(pressure, german);
                CalibrateState(s);
                AddStars(s, model, 30, exact);
                (german ? s.forkFlex : s.decFlex) = 0.01;
                MessageCapture messages;
                FitTerms(s);

                const double terms = WorstTermError(s, model), residual = WorstResidual(s);
                std::printf(
                    "[  metrics ] %s readings, %s, P = %g: worst term error %.3g\", "
                    "worst residual %.3g\"\n",
                    exact ? "exact" : "GetScopeHADec", german ? "German" : "fork", pressure, terms,
                    residual);
                EXPECT_LT(terms, exact ? 1e-6 : 0.2);
                EXPECT_LT(residual, exact ? 1e-6 : 0.2);
                EXPECT_EQ(german ? s.forkFlex : s.decFlex, 0.0);
                EXPECT_TRUE(messages.texts.empty());
                EXPECT_EQ(s.count, 30);
            }
        }
    }
}

TEST(FitTerms, RecalibrationFitsTheOffsetsAndHoldsTheOtherTerms) {
    for (bool fixed : {true, false}) {
        EngineState s = Site(101.325, true, true);
        RecalibrateState(s, fixed);
        const EngineState held = s;
        // The mount has moved: other offsets, and other polar terms unless
        // the installation is fixed.
        EngineState model = Site(101.325, true, true);
        model.hOffset = -3.25 * kArcmin;
        model.decOffset = 0.75 * kArcmin;
        if (!fixed) model.polarLeftRight = -1.0 * kArcmin, model.polarVertical = 2.25 * kArcmin;
        AddStars(s, model, 12, true);
        FitTerms(s);

        EXPECT_LT(WorstTermError(s, model), 1e-6) << fixed;
        EXPECT_LT(WorstResidual(s), 1e-6) << fixed;
        // Held terms keep their values bit for bit, the unused flexure too.
        EXPECT_EQ(s.collimation, held.collimation);
        EXPECT_EQ(s.axisNonPerp, held.axisNonPerp);
        EXPECT_EQ(s.tubeFlex, held.tubeFlex);
        EXPECT_EQ(s.decFlex, held.decFlex);
        EXPECT_EQ(s.forkFlex, held.forkFlex);
        if (fixed) {
            EXPECT_EQ(s.polarLeftRight, held.polarLeftRight);
        }
    }
}

TEST(FitTerms, OneObservationGivesTheMinimumNormSolution) {
    EngineState s = Site(101.325);
    const Observation o = Exact(Site(101.325, true, true), {0.6, 0.3}, false);
    AddObservation(s, o.haTrue, o.decTrue, o.haScope, o.decScope);
    MessageCapture messages;
    FitTerms(s);

    // Two equations in eight unknowns: A^T (A A^T)^-1 y, A A^T being 2 x 2.
    const ObservationRecord& r = s.observations[1];
    TermVector ha, de;
    Basis(r.scopeHA, r.scopeDec, s.latitude, true, ha, de);
    double g11 = 0, g12 = 0, g22 = 0;
    for (int k = 0; k < kFitTerms; ++k)
        g11 += ha[k] * ha[k], g12 += ha[k] * de[k], g22 += de[k] * de[k];
    const double y1 = r.trueHA - r.scopeHA, y2 = r.trueDec - r.scopeDec;
    const double det = g11 * g22 - g12 * g12;
    const double c1 = (g22 * y1 - g12 * y2) / det, c2 = (g11 * y2 - g12 * y1) / det;
    for (int k = 0; k < kFitTerms; ++k)
        EXPECT_NEAR(ActiveTerms(s)[k], c1 * ha[k] + c2 * de[k], 1e-15) << k;
    EXPECT_LT(WorstResidual(s), 1e-10);
    EXPECT_TRUE(messages.texts.empty());
}

TEST(AddObservation, ReducesHourAnglesPierSideAndRefraction) {
    EngineState s = Site(0.0);  // no air: the scope position stays as given
    // Hour angles across the seam come within half a turn: 6.2 against 0.05
    // is 0.133 apart, not -6.15; the caller may pass them unnormalised.
    const double seam[][3] = {{0.05, 6.2, 0.05 + kTwoPi - 6.2},
                              {6.2, 0.05, 6.2 - kTwoPi - 0.05},
                              {-6.2, 0.2, -6.2 + kTwoPi - 0.2},
                              {3.0, -3.0, 6.0 - kTwoPi}};
    for (const auto& c : seam) {
        for (int inverted = 0; inverted < 2; ++inverted) {
            s.inverted = inverted;
            AddObservation(s, c[0], 0.5, c[1], 0.5);
            const ObservationRecord& r = s.observations[s.count];
            EXPECT_NEAR(r.trueHA - r.scopeHA, c[2], 1e-12) << c[1] << " " << inverted;
        }
    }

    // Flipped side: both positions move by the signs of the scope position,
    // so a star across the meridian and the equator from the scope keeps its
    // hour-angle difference and its declination difference changes sign.
    s.count = 0;
    s.inverted = 1;
    AddObservation(s, 0.002, 0.001, -0.001, -0.0005);
    const ObservationRecord r = s.observations[1];
    EXPECT_NEAR(r.scopeHA, kPi - 0.001, 1e-12);
    EXPECT_NEAR(r.trueHA, kPi + 0.002, 1e-12);
    EXPECT_NEAR(r.scopeDec, -kPi + 0.0005, 1e-12);
    EXPECT_NEAR(r.trueDec, -kPi - 0.001, 1e-12);

    // Refraction leaves the scope altitude with the pressure-temperature
    // factor always applied: at -265 C the corrections would skip it.
    for (double temperature : {10.0, -265.0}) {
        for (double pressure : {0.0, 80.0}) {
            EngineState t = Site(pressure);
            t.temperature = temperature;
            AddObservation(t, 0.8, 0.1, 0.8, 0.1);
            const ObservationRecord& o = t.observations[1];
            const AltAz raw = HADecToAltAz(0.8, 0.1, t.latitude, 0, 10);
            const AltAz kept = HADecToAltAz(o.scopeHA, o.scopeDec, t.latitude, 0, 10);
            EXPECT_NEAR(raw.alt - kept.alt, ScaledRefraction(raw.alt, pressure, temperature),
                        1e-13);
            EXPECT_NEAR(raw.az, kept.az, 1e-12);
        }
    }
}

TEST(GetObservationError, ResidualsAsRightAscensionErrorsAndTheStoreLimit) {
    // Only the offsets fitted: they become the mean differences.
    EngineState s = Site(0.0);
    RecalibrateState(s, true);
    AddObservation(s, 0.301, 0.5, 0.3, 0.5);
    AddObservation(s, -0.197, 0.502, -0.2, 0.5);
    double ra = 1, dec = 1;
    GetObservationError(s, 1, ra, dec);  // before any fit
    EXPECT_EQ(ra, 0.0);
    EXPECT_EQ(dec, 0.0);
    FitTerms(s);
    EXPECT_NEAR(s.hOffset, 0.002, 1e-12);
    EXPECT_NEAR(s.decOffset, 0.001, 1e-12);
    GetObservationError(s, 1, ra, dec);
    EXPECT_NEAR(ra, 0.001, 1e-12);  // hour angle 0.001 short: right ascension 0.001 long
    EXPECT_NEAR(dec, -0.001, 1e-12);
    for (int index : {3, 0, -5}) {
        GetObservationError(s, index, ra, dec);
        EXPECT_TRUE(ra == 0.0 && dec == 0.0) << index;
    }
    // A new list does not show the old residuals under the new numbers.
    RecalibrateState(s, true);
    AddObservation(s, 0.3, 0.5, 0.3, 0.5);
    GetObservationError(s, 1, ra, dec);
    EXPECT_TRUE(ra == 0.0 && dec == 0.0);

    // 999 observations fit; the thousandth is refused and changes nothing.
    while (s.count < kMaxObservations) ASSERT_TRUE(AddObservation(s, 0.4, 0.5, 0.4, 0.5));
    EXPECT_FALSE(AddObservation(s, 1.0, 1.0, 1.0, 1.0));
    EXPECT_EQ(s.count, kMaxObservations);
    FitTerms(s);
    EXPECT_NEAR(s.hOffset, 0.0, 1e-12);
}

TEST(FitTerms, DegenerateListsEndWithFiniteTerms) {
    const EngineState model = Site(101.325, true, true);
    MessageCapture messages;
    auto expectFinite = [](const EngineState& s) {
        for (double t : ActiveTerms(s)) EXPECT_TRUE(std::isfinite(t));
        EXPECT_TRUE(std::isfinite(WorstResidual(s)));
    };
    // Every observation at one position: rank two at most.
    EngineState s = Site(101.325);
    for (int i = 0; i < 30; ++i) {
        const Observation o = Exact(model, {0.4, 0.7}, i % 2);
        s.inverted = o.inverted;
        AddObservation(s, o.haTrue, o.decTrue, o.haScope, o.decScope);
    }
    FitTerms(s);
    expectFinite(s);
    // Observations at the pole, alone and among other stars.
    for (int stars : {0, 20}) {
        CalibrateState(s);
        AddStars(s, model, stars, true);
        AddObservation(s, 0.3, kPi / 2, 0.2, kPi / 2);
        AddObservation(s, -2.0, kPi / 2, 1.0, kPi / 2 - 1e-9);
        FitTerms(s);
        expectFinite(s);
    }
    // An empty list fits nothing: the fitted terms are zero.
    CalibrateState(s);
    s.collimation = 1.0;
    FitTerms(s);
    EXPECT_EQ(ActiveTerms(s), TermVector{});
    EXPECT_TRUE(messages.texts.empty());
}

TEST(FitTerms, NoConvergenceIsShownAndTheFitStillWritesItsResult) {
    const EngineState model = Site(101.325, true, true);
    // A scope reading that is not a number poisons the design matrix; one in
    // the true position reaches only the right-hand side.
    for (bool inScope : {true, false}) {
        MessageCapture messages;
        EngineState s = Site(101.325);
        AddStars(s, model, 10, true);
        AddObservation(s, inScope ? 0.1 : kNaN, 0.2, inScope ? kNaN : 0.1, 0.2);
        FitTerms(s);
        EXPECT_EQ(messages.texts.size(), inScope ? 1u : 0u);
        if (inScope) {
            EXPECT_EQ(messages.texts[0], "no convergence in 30 svdcmp iterations");
        }
    }
    // Sound data with the sweeps cut off: shown once, and terms and
    // residuals still come from the partial decomposition.
    MessageCapture messages;
    EngineState s = Site(101.325);
    AddStars(s, model, 30, true);
    s.residuals[1] = {7.0, 7.0};
    FitTerms(s, 0);
    EXPECT_EQ(messages.texts, std::vector<std::string>{kNoConvergenceMessage});
    EXPECT_NE(ActiveTerms(s), TermVector{});
    EXPECT_NE(s.residuals[1].haResidual, 7.0);
}
