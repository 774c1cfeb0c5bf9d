// The calibration store on a real engine: fits recover known terms, the
// residual bookkeeping with unused observations, remove and undo, the
// statistics, the model terms kept after every fit, and opening files.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <cmath>
#include <random>

#include "celaris/calibration/calibration_file.h"
#include "celaris/calibration/calibration_store.h"
#include "celaris/dispatch/com_error.h"
#include "celaris/hub/program.h"
#include "celaris/profile/settings.h"
#include "scripted_ui.h"

using namespace celaris;
using namespace celaris::calibration;

namespace {

constexpr double kArcsec = M_PI / 180.0 / 3600.0;

// Terms of a plausible mount, radians, in the engine's order; the fork
// flexure is left at zero (a German mount fits DecFlex).
const ModelTerms kTruth = {300 * kArcsec, -200 * kArcsec, 120 * kArcsec, -60 * kArcsec,
                           240 * kArcsec, -180 * kArcsec, 90 * kArcsec,  0.0,
                           45 * kArcsec};

struct Sighting {
    double raTrue, decTrue, raScope, decScope;
};

class StoreTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("profile.json"));
        program = std::make_unique<hub::Program>(ui, path);
        program->settings().IsGerman = true;
        engine()->put_German(-1);
        store = std::make_unique<CalibrationStore>(*program);
    }
    ISVD* engine() { return program->hub().engine().get(); }

    // Where a mount with kTruth points for true positions spread over the
    // sky, with Gaussian noise of sigma arc seconds on the scope position.
    std::vector<Sighting> Sky(int count, double noiseArcsec, double lst, unsigned seed = 7) {
        ISVD* e = engine();
        const double put[] = {kTruth[0], kTruth[1], kTruth[2], kTruth[3], kTruth[4],
                              kTruth[5], kTruth[6], kTruth[7], kTruth[8]};
        e->put_HOffset(put[0]);
        e->put_DecOffset(put[1]);
        e->put_Collimation(put[2]);
        e->put_AxisNonPerp(put[3]);
        e->put_PolarLeftRight(put[4]);
        e->put_PolarVertical(put[5]);
        e->put_TubeFlex(put[6]);
        e->put_ForkFlex(put[7]);
        e->put_DecFlex(put[8]);
        e->put_ApplyCorrections(-1);
        std::mt19937 rng(seed);
        std::normal_distribution<double> noise(0.0, noiseArcsec * kArcsec);
        std::vector<Sighting> out;
        for (int i = 0; i < count; ++i) {
            const double ha = -1.4 + 2.8 * i / std::max(1, count - 1);  // radians
            const double dec = -0.3 + 1.5 * ((i * 7) % count) / count;
            double haScope = 0, decScope = 0;
            e->GetScopeHADec(ha, dec, &haScope, &decScope);
            out.push_back({lst - ha, dec, lst - haScope + noise(rng), decScope + noise(rng)});
        }
        return out;
    }
    void AddAll(const std::vector<Sighting>& sky, double lst) {
        int i = 0;
        for (const auto& s : sky)
            store->Add2Cal(s.raTrue, s.decTrue, s.raScope, s.decScope, lst,
                           QStringLiteral("Star %1").arg(++i), false, true);
    }

    QTemporaryDir dir;
    QString path;
    test::ScriptedUi ui;
    std::unique_ptr<hub::Program> program;
    std::unique_ptr<CalibrationStore> store;
};

TEST_F(StoreTest, AFullCalibrationRecoversTheTermsAndKeepsThemAtOnce) {
    const double lst = 1.0;
    const auto sky = Sky(24, 0.0, lst);
    store->StartCalibration();
    EXPECT_TRUE(store->Calibrating());
    int counted = 0;
    QObject::connect(store.get(), &CalibrationStore::observationsChanged, [&] { ++counted; });
    AddAll(sky, lst);
    EXPECT_EQ(counted, 24);
    EXPECT_EQ(store->ObservationCount(), 24);
    EXPECT_EQ(program->status().controls().ObservationCount, 24);
    EXPECT_FALSE(store->controls().CalibrationSaved);

    // The fit is linear in the terms; what is left is the model's
    // curvature at terms of a few arc minutes.
    const ModelTerms terms = store->Terms();
    for (int t = 0; t < kTermCount; ++t)
        EXPECT_NEAR(terms[t], kTruth[t], 3 * kArcsec) << TermName(t).toStdString();
    for (int i = 1; i <= 24; ++i) EXPECT_LT(store->at(i).SkyError(), 5 * kArcsec);

    // Killed right now, the next start still has the model.
    profile::Profile reread(path);
    const profile::Settings saved = profile::ReadAllSettings(reread);
    EXPECT_DOUBLE_EQ(saved.HourOffsetRad, terms[0]);
    EXPECT_DOUBLE_EQ(saved.PolarLRRad, terms[4]);
    EXPECT_DOUBLE_EQ(saved.DecFlexRad, terms[8]);
}

// The automatic run adds an observation while the mount already heads for
// the next point, whose pier side the engine has taken: the observation
// must still be filed under the side it was taken on.
TEST_F(StoreTest, AnObservationIsFiledUnderItsOwnPierSideWhereverTheMountIsHeading) {
    const double lst = 1.0;
    const auto east = Sky(12, 0.0, lst, 3);
    engine()->put_Inverted(-1);
    auto west = Sky(12, 0.0, lst, 5);
    store->StartCalibration();
    int i = 0;
    for (size_t k = 0; k < east.size(); ++k) {
        for (const auto& [s, flipped] : {std::pair{east[k], false}, std::pair{west[k], true}}) {
            // The engine's side is the other one, as after ApplyPierSide for
            // a next point across the meridian.
            engine()->put_Inverted(flipped ? 0 : -1);
            store->Add2Cal(s.raTrue, s.decTrue, s.raScope, s.decScope, lst,
                           QStringLiteral("Star %1").arg(++i), flipped, true);
            LONG inverted = 1;
            engine()->get_Inverted(&inverted);
            EXPECT_EQ(inverted != 0, !flipped) << "the mount's side is left as it was";
        }
    }
    const ModelTerms added = store->Terms();
    for (int t = 0; t < kTermCount; ++t)
        EXPECT_NEAR(added[t], kTruth[t], 3 * kArcsec) << TermName(t).toStdString();
    EXPECT_LT(store->statistics().rms, 3 * kArcsec);
    // The refit from the list agrees with the fit built up point by point.
    store->Recalculate();
    for (int t = 0; t < kTermCount; ++t)
        EXPECT_NEAR(store->Terms()[t], added[t], 0.01 * kArcsec) << TermName(t).toStdString();
}

TEST_F(StoreTest, TheFiguresOfAFitComeWithTheEnginesStandardErrors) {
    const double lst = 1.0;
    store->StartCalibration();
    AddAll(Sky(40, 5.0, lst), lst);
    const FitStatistics& st = store->statistics();
    ASSERT_TRUE(st.valid);
    EXPECT_EQ(st.used, 40);
    EXPECT_EQ(st.fittedTerms, 8);
    EXPECT_FALSE(st.terms[7].fitted);  // a German mount holds ForkFlex
    for (int t = 0; t < kTermCount; ++t) {
        if (!st.terms[t].fitted) continue;
        EXPECT_GT(st.terms[t].standardError, 0.1 * kArcsec) << TermName(t).toStdString();
        EXPECT_LT(st.terms[t].standardError, 20 * kArcsec) << TermName(t).toStdString();
        // The truth lies within a few standard errors of the fit.
        EXPECT_LT(std::abs(st.terms[t].value - kTruth[t]),
                  4 * st.terms[t].standardError + 3 * kArcsec)
            << TermName(t).toStdString();
    }
    EXPECT_TRUE(st.warnings.isEmpty()) << st.warnings.join('\n').toStdString();
    EXPECT_GT(st.psd, st.rms);
    EXPECT_NEAR(st.rms / kArcsec, 5.0 * std::sqrt(2.0), 3.0);

    // The same mount seen in one corner of the sky cannot tell its terms
    // apart.
    store->StartCalibration();
    std::vector<Sighting> patch = Sky(40, 5.0, lst);
    for (auto& s : patch) {
        s.decScope += 0.05 * (s.decTrue - 0.45) - (s.decTrue - 0.45);
        s.decTrue = 0.45 + 0.05 * (s.decTrue - 0.45);
    }
    for (int i = 0; i < 12; ++i) {
        const auto& s = patch[i];
        store->Add2Cal(lst - 0.02 * i, s.decTrue, lst - 0.02 * i + (s.raScope - s.raTrue),
                       s.decScope, lst, QStringLiteral("p"), false, true);
    }
    EXPECT_FALSE(store->statistics().warnings.isEmpty());
}

TEST_F(StoreTest, UnusedObservationsKeepZeroResidualsAndTheNumberingOfTheOthers) {
    const double lst = 2.0;
    const auto sky = Sky(12, 20.0, lst);
    store->StartCalibration();
    AddAll(sky, lst);

    // Unticking the third refits without it; it keeps its place.
    QList<bool> flags(12, true);
    flags[2] = false;
    ASSERT_TRUE(store->TakeUseFlags(flags));
    EXPECT_FALSE(store->TakeUseFlags(flags));  // nothing changed: no refit
    EXPECT_EQ(store->at(3).Name, QStringLiteral("Star 3"));
    EXPECT_EQ(store->at(3).RAResidual, 0.0);
    EXPECT_EQ(store->at(3).DecResidual, 0.0);
    const double residual4 = store->at(4).DecResidual;
    EXPECT_NE(residual4, 0.0);

    // A new observation without Use neither moves the fit nor shifts the
    // residuals of the used ones after it.
    const ModelTerms before = store->Terms();
    store->Add2Cal(sky[0].raTrue + 0.01, sky[0].decTrue, sky[0].raScope + 0.02, sky[0].decScope,
                   lst, QStringLiteral("far off"), false, false);
    EXPECT_EQ(store->Terms(), before);
    EXPECT_EQ(store->at(13).RAResidual, 0.0);
    EXPECT_DOUBLE_EQ(store->at(4).DecResidual, residual4);
    store->Add2Cal(sky[5].raTrue, sky[5].decTrue, sky[5].raScope, sky[5].decScope, lst,
                   QStringLiteral("again"), false, true);
    const double lastResidual = store->at(14).DecResidual;
    store->Recalculate();
    EXPECT_NEAR(store->at(14).DecResidual, lastResidual, 1e-12);
    EXPECT_EQ(store->at(13).DecResidual, 0.0);

    // Unused records still count in StdDevError (all records, used or not).
    double sum = 0;
    for (const auto& o : store->observations())
        sum += o.RAResidual * o.RAResidual + o.DecResidual * o.DecResidual;
    EXPECT_NEAR(StdDevError(store->observations()), std::sqrt(sum / 13) * kRadiansToArcsec, 1e-9);
}

TEST_F(StoreTest, AddingWithCorrectionsOffLeavesResidualsUntilTheRefit) {
    const double lst = 0.5;
    const auto sky = Sky(8, 10.0, lst);
    store->StartCalibration();
    store->ApplyCorr(false);
    AddAll(sky, lst);
    for (const auto& o : store->observations()) EXPECT_EQ(o.RAResidual, 0.0);
    store->Recalculate();
    int nonZero = 0;
    for (const auto& o : store->observations()) nonZero += o.RAResidual != 0.0;
    EXPECT_EQ(nonZero, 8);
    // chkApplyCorr is still ticked: the refit leaves the engine applying.
    LONG applying = 0;
    engine()->get_ApplyCorrections(&applying);
    EXPECT_NE(applying, 0);
}

TEST_F(StoreTest, RemoveAndUndoPutTheObservationBackAtTheEnd) {
    const double lst = 3.0;
    const auto sky = Sky(6, 5.0, lst);
    store->StartCalibration();
    AddAll(sky, lst);
    store->SetCalibrationSaved(true);

    store->RemoveObservation(0);  // outside the list: nothing happens
    store->RemoveObservation(7);
    EXPECT_EQ(store->ObservationCount(), 6);
    EXPECT_FALSE(store->controls().cmdUndoEnabled);

    store->RemoveObservation(3);
    EXPECT_EQ(store->ObservationCount(), 5);
    EXPECT_EQ(store->at(3).Name, QStringLiteral("Star 4"));
    EXPECT_TRUE(store->controls().cmdUndoEnabled);
    EXPECT_FALSE(store->controls().CalibrationSaved);

    store->Undo();
    EXPECT_EQ(store->ObservationCount(), 6);
    EXPECT_EQ(store->at(6).Name, QStringLiteral("Star 3"));
    EXPECT_NE(store->at(6).RAResidual, 0.0);  // refitted with it
    EXPECT_FALSE(store->controls().cmdUndoEnabled);
    store->Undo();  // only the last removal
    EXPECT_EQ(store->ObservationCount(), 6);

    for (int i = 0; i < 6; ++i) store->RemoveObservation(1);
    EXPECT_EQ(store->ObservationCount(), 0);
    EXPECT_EQ(program->status().controls().ObservationCount, 0);
}

TEST_F(StoreTest, StdDevErrorOfNoneOneAndManyRecords) {
    QList<Observation> list;
    EXPECT_DOUBLE_EQ(StdDevError(list), 60.0);
    Observation o;
    o.RAResidual = 3 * kArcsec;
    o.DecResidual = 4 * kArcsec;
    list.append(o);
    EXPECT_DOUBLE_EQ(StdDevError(list), 60.0);
    list.append(o);
    list.append(o);
    // sqrt(3 * 25 / 2) arc seconds, no mean subtracted, no cos(dec).
    EXPECT_NEAR(StdDevError(list), std::sqrt(37.5), 1e-9);
    const double values[] = {1.0};
    EXPECT_DOUBLE_EQ(RootMeanSquare(values), kOneArcMinuteRad);
}

TEST_F(StoreTest, StatisticsSplitThePierSidesAndFlagOutliers) {
    QList<Observation> list;
    for (int i = 0; i < 20; ++i) {
        Observation o;
        o.DecScope = 0.0;
        o.RAResidual = (i % 2 ? 2.0 : -2.0) * kArcsec;
        o.DecResidual = (i % 3 ? 1.0 : -1.0) * kArcsec;
        o.WestOfPier = WestOfPierValue(i >= 10);
        if (i >= 10) o.DecResidual *= 3;
        list.append(o);
    }
    list[7].DecResidual = 60 * kArcsec;  // an arc minute off: a misidentified star
    list[12].Use = false;
    list[12].DecResidual = 600 * kArcsec;  // unused: never an outlier
    EngineFit fit;
    fit.observations = 19;
    fit.fittedTerms = 8;
    const auto st = ComputeFitStatistics(list, ModelTerms{}, fit);
    EXPECT_TRUE(st.valid);
    EXPECT_EQ(st.used, 19);
    EXPECT_EQ(st.usedEast, 10);
    EXPECT_EQ(st.usedWest, 9);
    EXPECT_GT(st.rmsEast, st.rmsWest);  // the outlier is east
    EXPECT_GT(st.rmsWest, 0.0);
    EXPECT_NEAR(st.psd, st.rms * std::sqrt(19.0 / 11.0), 1e-15);
    EXPECT_TRUE(st.IsOutlier(8));
    EXPECT_FALSE(st.IsOutlier(13));
    int outliers = 0;
    for (int i = 1; i <= 20; ++i) outliers += st.IsOutlier(i);
    EXPECT_EQ(outliers, 1);
}

TEST_F(StoreTest, AFitOverOnePatchOfSkyIsFlaggedAsPoorlyConstrained) {
    // Only the statistics' rules here; the engine's own numbers are tested
    // with the engine.
    EngineFit fit;
    fit.observations = 10;
    fit.fittedTerms = 2;
    fit.fitted[0] = fit.fitted[4] = true;
    fit.covariance[0][0] = 1e-8;
    fit.covariance[4][4] = 1e-8;
    fit.covariance[0][4] = fit.covariance[4][0] = 0.99e-8;
    ModelTerms terms{};
    terms[0] = 1e-3;
    terms[4] = 5e-5;  // smaller than its standard error of 1e-4
    QList<Observation> list(10);
    const auto st = ComputeFitStatistics(list, terms, fit);
    ASSERT_EQ(st.warnings.size(), 2) << st.warnings.join('\n').toStdString();
    EXPECT_TRUE(st.warnings[0].startsWith(QStringLiteral("PolarLeftRight is not determined")));
    EXPECT_TRUE(st.warnings[1].contains(QStringLiteral("HOffset and PolarLeftRight")));
    EXPECT_NEAR(st.terms[0].standardError, 1e-4, 1e-12);
    EXPECT_FALSE(st.terms[1].fitted);
}

TEST_F(StoreTest, OpeningAFileReplacesTheListAndAFailedOneLeavesIt) {
    const double lst = 1.5;
    const auto sky = Sky(16, 5.0, lst);
    store->StartCalibration();
    AddAll(sky, lst);
    const QString file = dir.filePath(QStringLiteral("night.clb"));
    const ModelTerms fitted = store->Terms();
    store->SaveObsFile(file);
    EXPECT_TRUE(store->controls().CalibrationSaved);
    const auto saved = store->observations();

    const QString broken = dir.filePath(QStringLiteral("broken.clb"));
    QFile f(broken);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("3\r\n1,2,3,4,#FALSE#,5,\"a\",#TRUE#\r\n");
    f.close();
    store->SetCalibrationSaved(false);
    EXPECT_THROW(store->OpenObsFile(broken), dispatch::ComError);
    EXPECT_EQ(store->observations(), saved);
    EXPECT_FALSE(store->controls().CalibrationSaved);
    EXPECT_TRUE(store->rememberedPath().isEmpty());

    // Opening with corrections not ticked leaves the terms as they were.
    store->StartCalibration();
    store->controls().chkApplyCorr = false;
    const ModelTerms before = store->Terms();
    store->OpenObsFile(file);
    EXPECT_EQ(store->Terms(), before);
    EXPECT_EQ(store->ObservationCount(), 16);
    EXPECT_EQ(store->at(1).RAResidual, 0.0);
    EXPECT_EQ(store->rememberedPath(), file);
    EXPECT_TRUE(store->controls().CalibrationSaved);

    // Ticked: a full calibration is refitted from the file.
    store->controls().chkApplyCorr = true;
    store->SelectCalibrationType(2);
    store->OpenObsFile(file);
    EXPECT_TRUE(store->controls().FullCalibration());
    EXPECT_NE(store->at(1).RAResidual, 0.0);
    for (int t = 0; t < kTermCount; ++t)
        EXPECT_NEAR(store->Terms()[t], fitted[t], 1e-6 * kArcsec) << TermName(t).toStdString();
}

TEST_F(StoreTest, CalibrationTypeAndAddToCurrent) {
    store->SelectCalibrationType(7);
    EXPECT_EQ(store->controls().calibrationType, CalibrationMode::calPort);
    store->SelectCalibrationType(1);
    EXPECT_EQ(store->controls().calibrationType, CalibrationMode::calPerm);
    store->SetAddToCal(true);
    EXPECT_TRUE(store->controls().FullCalibration());

    // Adding to the current calibration keeps the list.
    const double lst = 1.0;
    const auto sky = Sky(3, 0.0, lst);
    AddAll(sky, lst);
    store->StartCalibration();
    EXPECT_EQ(store->ObservationCount(), 3);
    EXPECT_FALSE(store->controls().calOptionsEnabled);
    store->StopCalibration();
    EXPECT_FALSE(store->Calibrating());
    EXPECT_TRUE(store->controls().calOptionsEnabled);
    store->SetAddToCal(false);
    store->StartCalibration();
    EXPECT_EQ(store->ObservationCount(), 0);
}

}  // namespace
