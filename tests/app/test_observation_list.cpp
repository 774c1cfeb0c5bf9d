// The observation list, the model terms window's fit figures and the main
// window's calibration frame: their rules on a real store and engine, then
// the windows clicked through offscreen.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "celaris/calibration/documents_folder.h"

#include "alpaca_fixture.h"
#include "desktop.h"
#include "observation_list_model.h"
#include "sample_calibration.h"
#include "sample_mount.h"

using namespace celaris;
using namespace celaris::models;
using calibration::Observation;

namespace {

constexpr double kArcsec = M_PI / 180.0 / 3600.0;

Observation At(const QString& name, double raHours, double decDeg) {
    Observation o;
    o.Name = name;
    o.RATrue = raHours * M_PI / 12.0;
    o.DecTrue = decDeg * M_PI / 180.0;
    o.DecScope = o.DecTrue;
    return o;
}

class ObservationListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::RegisterFastSimulator();
        qputenv("CELARIS_DOCUMENTS_DIR", dir.filePath("docs").toUtf8());
        program = std::make_unique<hub::Program>(ui, dir.filePath("profile.json"));
        store = std::make_unique<calibration::CalibrationStore>(*program);
        list = std::make_unique<ObservationListModel>(*program, *store);
    }
    void TearDown() override {
        list.reset();
        store.reset();
        program.reset();
        qunsetenv("CELARIS_DOCUMENTS_DIR");
    }
    // Stars over the sky seen through a mount that is off by tens of arc
    // seconds, named "Star 1", "Star 2", ...
    void Add(int count) {
        for (int k = 0; k < count; ++k) {
            const int i = store->ObservationCount();
            const double ra = (1.0 + 1.7 * i) * M_PI / 12.0;
            const double dec = (-25.0 + 11.0 * i) * M_PI / 180.0;
            const double lst = ra + (i % 3 - 1) * 0.6;
            store->Add2Cal(ra, dec, ra + 40 * kArcsec * std::sin(i + 1.0),
                           dec + 25 * kArcsec * std::cos(2.0 * i), lst,
                           QStringLiteral("Star %1").arg(i + 1), false, true);
        }
    }
    QStringList Names() const {
        QStringList names;
        for (const auto& l : list->lstObservations) names << l.text.left(21).trimmed();
        return names;
    }
    QTemporaryDir dir;
    test::ScriptedUi ui;
    std::unique_ptr<hub::Program> program;
    std::unique_ptr<calibration::CalibrationStore> store;
    std::unique_ptr<ObservationListModel> list;
};

}  // namespace

TEST(ObservationLine, ColumnsAndFormats) {
    Observation o = At("Vega", 12.5 + 1.26 / 3600, 12.5);
    o.DecScope = M_PI / 3;  // the RA error on the sky is half the residual
    o.RAResidual = 20 * kArcsec;
    o.DecResidual = -24 * kArcsec;
    EXPECT_EQ(FormatObservationLine(o, true),
              QStringLiteral("Vega                 12:30:01.3   12º30'00\"    26.00    10.00   "
                             "-24.00"));
    EXPECT_EQ(FormatObservationLine(o, false),
              QStringLiteral("Vega                 12:30:01.3   12º30'00\"  N/A        N/A        "
                             "N/A      "));

    // Plus and minus 12° 30' start in the same column, the sign's place
    // blank for the northern one.
    const QString north = FormatObservationLine(At("N", 3, 12.5), true);
    const QString south = FormatObservationLine(At("S", 3, -12.5), true);
    EXPECT_EQ(north.indexOf("12º30'"), south.indexOf("12º30'"));
    EXPECT_EQ(north.size(), south.size());

    // A long name keeps the RA column where it is and says it was cut; a
    // residual that rounds to zero has no sign.
    Observation longName = At("Comet C/2023 A3 (Tsuchinshan-ATLAS)", 3, 0);
    longName.DecResidual = -1e-9;
    const QString line = FormatObservationLine(longName, true);
    EXPECT_EQ(line.left(22), QStringLiteral("Comet C/2023 A3 (Tsu…0"));
    EXPECT_TRUE(line.endsWith("     0.00     0.00     0.00")) << line.toStdString();
}

TEST(ObservationLine, ResizeRuleAndFileNames) {
    // A roomy window keeps its size; the list is 120 narrower, 1125 lower.
    EXPECT_EQ(ObservationListResize(8000, 3500, 3240),
              (ObservationListLayout{8000, 3500, 7880, 2375}));
    // Too small: the width to the Undo button plus 100, the height snaps.
    EXPECT_EQ(ObservationListResize(2000, 1400, 3240),
              (ObservationListLayout{3340, 1425, 3220, 300}));
    EXPECT_EQ(WithCalibrationExtension("/tmp/night1"), "/tmp/night1.clb");
    EXPECT_EQ(WithCalibrationExtension("/tmp/night1.txt"), "/tmp/night1.txt");
    // The calibration filter as the Qt dialog takes it.
    EXPECT_EQ(FileDialogFilters("Calibration (*.clb)| *.clb|All Files (*.*)|*.*"),
              (QStringList{"Calibration (*.clb)", "All Files (*)"}));
    EXPECT_EQ(FileDialogSuffix("Calibration (*.clb)| *.clb|All Files (*.*)|*.*"), "clb");
    EXPECT_EQ(FileDialogSuffix("All files (*)"), "");
}

TEST_F(ObservationListTest, ErrorsShowFromTheFifthObservationOn) {
    EXPECT_FALSE(list->cmdRemoveEnabled || list->cmdSaveEnabled || list->cmdShowPlotEnabled);
    QSignalSpy plot(list.get(), &ObservationListModel::plotToggleRequested);
    list->ShowPlot();
    EXPECT_EQ(plot.count(), 0);  // nothing to plot

    Add(4);
    ASSERT_EQ(list->lstObservations.size(), 4);
    for (const auto& l : list->lstObservations)
        EXPECT_TRUE(l.text.endsWith("  N/A        N/A        N/A      ")) << l.text.toStdString();
    Add(1);
    ASSERT_EQ(list->lstObservations.size(), 5);
    for (const auto& l : list->lstObservations) {
        EXPECT_FALSE(l.text.contains("N/A"));
        EXPECT_EQ(l.text, FormatObservationLine(store->at(l.index), true));
    }
    EXPECT_TRUE(list->cmdRemoveEnabled && list->cmdUpdateEnabled && list->cmdSaveEnabled &&
                list->cmdShowPlotEnabled);
    list->ShowPlot();
    EXPECT_EQ(plot.count(), 1);
}

TEST_F(ObservationListTest, RemoveThenUndoPutsTheObservationLast) {
    Add(6);
    list->Select(2);
    EXPECT_FALSE(list->cmdUndoEnabled());
    list->Remove();
    EXPECT_EQ(Names(), (QStringList{"Star 1", "Star 2", "Star 4", "Star 5", "Star 6"}));
    EXPECT_TRUE(list->cmdUndoEnabled());
    EXPECT_EQ(list->selected, 2);  // the highlight stays at its place
    list->Undo();
    EXPECT_EQ(Names(), (QStringList{"Star 1", "Star 2", "Star 4", "Star 5", "Star 6", "Star 3"}));
    EXPECT_FALSE(list->cmdUndoEnabled());
    EXPECT_EQ(store->statistics().used, 6);  // refitted with it

    // Removing the last line leaves no highlight.
    list->Select(5);
    list->Remove();
    EXPECT_EQ(list->selected, -1);
    list->Remove();  // nothing highlighted: nothing removed
    EXPECT_EQ(store->ObservationCount(), 5);
}

TEST_F(ObservationListTest, UntickingRefitsAtOnceAndTheLineKeepsItsPlace) {
    Add(6);
    store->SetCalibrationSaved(true);
    const QStringList before = Names();
    QList<bool> checks(6, true);
    checks[1] = false;
    list->TakeUseFlags(checks);
    EXPECT_EQ(Names(), before);
    EXPECT_FALSE(store->at(2).Use);
    EXPECT_FALSE(list->lstObservations[1].checked);
    EXPECT_TRUE(list->lstObservations[1].text.endsWith("     0.00     0.00     0.00"));
    EXPECT_EQ(store->statistics().used, 5);
    EXPECT_FALSE(store->controls().CalibrationSaved);

    // Without corrections the lines only follow; nothing is refitted.
    store->SetApplyCorrChecked(false);
    store->SetCalibrationSaved(true);
    checks[1] = true;
    list->TakeUseFlags(checks);
    EXPECT_TRUE(list->lstObservations[1].checked);
    EXPECT_TRUE(list->lstObservations[1].text.endsWith("     0.00     0.00     0.00"));
    EXPECT_FALSE(store->controls().CalibrationSaved);
    // Unchanged boxes change nothing.
    store->SetCalibrationSaved(true);
    list->TakeUseFlags(checks);
    EXPECT_TRUE(store->controls().CalibrationSaved);
}

TEST_F(ObservationListTest, UpdateAndOpenFollowTheCalibration) {
    list->Load();
    EXPECT_FALSE(list->cmdUpdateEnabled);  // nothing to refit
    store->StartCalibration();
    EXPECT_FALSE(list->cmdUpdateEnabled || list->cmdOpenEnabled());
    Add(2);
    EXPECT_TRUE(list->cmdUpdateEnabled);  // every refresh sets it from the count
    store->StopCalibration();
    EXPECT_TRUE(list->cmdOpenEnabled());
}

TEST_F(ObservationListTest, SaveAndOpenThroughTheFileDialogs) {
    Add(5);
    const QString docs = calibration::DocumentsFolder();
    ui.QueueFileName(docs + "night1");
    list->Save();
    ASSERT_EQ(ui.fileRequests().size(), 1);
    const auto saveRequest = ui.fileRequests()[0];
    EXPECT_EQ(saveRequest.directory, docs);
    EXPECT_TRUE(saveRequest.fileName.isEmpty());
    EXPECT_EQ(saveRequest.filter, "Calibration (*.clb)| *.clb|All Files (*.*)|*.*");
    EXPECT_TRUE(QFile::exists(docs + "night1.clb"));
    EXPECT_TRUE(store->controls().CalibrationSaved);

    // Unsaved: the caution first; Cancel keeps everything.
    Add(1);
    ui.ClearRecord();
    ui.QueueAnswer(dispatch::MessageAnswer::Cancel);
    list->Open();
    EXPECT_EQ(ui.shown(), (QList<dispatch::Message>{dispatch::ConfirmDiscardMessage()}));
    EXPECT_TRUE(ui.fileRequests().isEmpty());
    EXPECT_EQ(store->ObservationCount(), 6);

    // OK: the dialog in the documents folder; a name typed without its
    // extension finds the file.
    ui.QueueAnswer(dispatch::MessageAnswer::Ok);
    ui.QueueFileName(docs + "night1");
    list->Open();
    ASSERT_EQ(ui.fileRequests().size(), 1);
    EXPECT_EQ(ui.fileRequests()[0].directory, docs);
    EXPECT_EQ(store->ObservationCount(), 5);
    EXPECT_EQ(list->lstObservations.size(), 5);
    EXPECT_TRUE(list->cmdUpdateEnabled);
    // The next save proposes the opened file.
    ui.ClearRecord();
    list->Save();  // cancelled: nothing written
    EXPECT_EQ(ui.fileRequests()[0].fileName, docs + "night1.clb");

    // Saved: no caution. A broken file: the error box, the list stays.
    QFile broken(docs + "broken.clb");
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
    broken.write("2\r\n1,2,3\r\n");
    broken.close();
    ui.ClearRecord();
    ui.QueueFileName(docs + "broken.clb");
    list->Open();
    ASSERT_EQ(ui.shown().size(), 1);
    EXPECT_EQ(ui.shown()[0].icon, dispatch::MessageIcon::Critical);
    EXPECT_TRUE(ui.shown()[0].text.startsWith("Error Number: "));
    EXPECT_EQ(store->ObservationCount(), 5);
}

TEST_F(ObservationListTest, TheSamplesPutEachTermWhereTheEngineAndTheStoreReadIt) {
    // Nine different values: a term put in another's place shows.
    const calibration::ModelTerms terms{1e-4, 2e-4, 3e-4, 4e-4, 5e-4, 6e-4, 7e-4, 8e-4, 9e-4};
    ISVD* e = program->hub().engine().get();
    PutMountErrors(e, terms);
    using Getter = HRESULT (ISVD::*)(double*);
    constexpr Getter kGetters[] = {
        &ISVD::get_HOffset,     &ISVD::get_DecOffset,      &ISVD::get_Collimation,
        &ISVD::get_AxisNonPerp, &ISVD::get_PolarLeftRight, &ISVD::get_PolarVertical,
        &ISVD::get_TubeFlex,    &ISVD::get_ForkFlex,       &ISVD::get_DecFlex};
    for (size_t t = 0; t < terms.size(); ++t) {
        double v = 0;
        ASSERT_EQ((e->*kGetters[t])(&v), S_OK) << t;
        EXPECT_EQ(v, terms[t]) << t;
    }
    SetSettingsTerms(program->settings(), terms);
    EXPECT_EQ(store->Terms(), terms);
    EXPECT_EQ(SettingsTerms(program->settings()), terms);
}

TEST_F(ObservationListTest, TheSampleFitFindsTheMountAndFlagsTheBadObservation) {
    ErrorsModel errors(*program);
    errors.SetStore(store.get());
    EXPECT_TRUE(errors.lblStdError[0].isEmpty());
    EXPECT_EQ(errors.lblFitWarnings, "No fit on the current observations.");
    const auto termsBefore = store->Terms();
    {
        SampleCalibration sample(*program, *store);
        ASSERT_TRUE(sample.loaded());
        // Every term the sample was made with is found within a few of its
        // standard errors; nothing was removed for being an outlier.
        const auto truth = SampleMountErrors();
        const auto& st = store->statistics();
        for (int t : {0, 1, 2, 4, 5, 6}) {
            ASSERT_TRUE(st.terms[t].fitted) << t;
            EXPECT_NEAR(st.terms[t].value, truth[t], 4 * st.terms[t].standardError) << t;
        }
        EXPECT_EQ(store->ObservationCount(), 30);
        QStringList flagged;
        for (const auto& l : list->lstObservations)
            if (l.outlier) flagged << l.text.left(21).trimmed();
        EXPECT_EQ(flagged, QStringList{"2024-03-05 22:13:09Z"});
        EXPECT_TRUE(list->lstObservations[7].text.endsWith("  3σ"));

        // The terms window: a standard error beside each fitted term and
        // the figures of the fit.
        EXPECT_TRUE(errors.lblStdError[0].startsWith("± ")) << errors.lblStdError[0].toStdString();
        EXPECT_TRUE(errors.lblStdError[0].endsWith("\""));
        EXPECT_EQ(errors.lblFitUsed, "29 of 30");
        EXPECT_FALSE(errors.lblFitRMS.isEmpty());
        // A fork mount: every observation east of the pier.
        EXPECT_TRUE(errors.lblFitEastWest.endsWith(" (29) / –"))
            << errors.lblFitEastWest.toStdString();
    }
    // Gone again, and the model is the user's as before.
    EXPECT_EQ(store->ObservationCount(), 0);
    EXPECT_EQ(store->Terms(), termsBefore);
    EXPECT_TRUE(store->controls().CalibrationSaved);
    EXPECT_TRUE(errors.lblStdError[0].isEmpty());
}

TEST_F(ObservationListTest, StartCautionModesAndAddToCurrent) {
    MainModel main(*program, *store);
    Add(2);
    ASSERT_FALSE(store->controls().CalibrationSaved);
    int shown = 0;
    ui.QueueAnswer(dispatch::MessageAnswer::Cancel);
    main.StartCal([&] { ++shown; });
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(ui.shown().last(), dispatch::ConfirmDiscardMessage());
    EXPECT_FALSE(main.controls().Calibrating);
    EXPECT_EQ(store->ObservationCount(), 2);

    ui.QueueAnswer(dispatch::MessageAnswer::Ok);
    main.StartCal([&] { ++shown; });
    EXPECT_EQ(shown, 1);
    EXPECT_TRUE(main.controls().Calibrating);
    EXPECT_EQ(store->ObservationCount(), 0);
    EXPECT_TRUE(main.btnCorrectEnabled() && main.cmdStopCalEnabled());
    EXPECT_FALSE(main.controls().cmdStartCalEnabled || main.optFullCalEnabled() ||
                 main.optRecalEnabled());
    main.StopCal();
    EXPECT_FALSE(main.btnCorrectEnabled() || main.cmdStopCalEnabled());
    EXPECT_TRUE(main.controls().cmdStartCalEnabled && main.optRecalEnabled());

    // "Add to current cal" warns when ticked, and only then.
    ui.ClearRecord();
    main.SetAddToCal(true);
    ASSERT_EQ(ui.shown().size(), 1);
    EXPECT_EQ(ui.shown()[0].text,
              "Use this option with caution.\r\nIf the scope has been powered down since the "
              "previous observations were taken, results may vary.");
    EXPECT_EQ(ui.shown()[0].icon, dispatch::MessageIcon::Warning);
    main.SetAddToCal(false);
    EXPECT_EQ(ui.shown().size(), 1);
}

// ---- The windows ---------------------------------------------------------

namespace {

class ObservationWindowTest : public ObservationListTest {
  protected:
    void SetUp() override {
        ObservationListTest::SetUp();
        desktop = std::make_unique<windows::Desktop>(*program, *store, nullptr);
    }
    void TearDown() override {
        desktop.reset();
        ObservationListTest::TearDown();
    }
    template <typename T>
    T* Find(QWidget& w, const char* name) {
        T* found = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    std::unique_ptr<windows::Desktop> desktop;
};

}  // namespace

TEST_F(ObservationWindowTest, TheMainWindowShowsTheListWithItsControls) {
    Add(5);
    auto& w = desktop->observations();
    QTest::mouseClick(Find<QPushButton>(desktop->main(), "cmdShowObserves"), Qt::LeftButton);
    ASSERT_TRUE(w.isVisible());
    EXPECT_EQ(w.windowTitle(), "Calibration Observations");
    EXPECT_EQ(Find<QLabel>(w, "txtHeadings")->text(), QString::fromUtf8(kObservationHeading));
    const QList<std::pair<const char*, const char*>> tips{
        {"cmdUndo", "Undo last delete"},
        {"cmdRemove", "Delete the currently highlighted observation"},
        {"cmdShowPlot", "Scatter Plot of current data"},
        {"cmdUpdate", "Update the calibration with the currently displayed data"},
        {"cmdOpen", "Load a previous calibration"},
        {"cmdSave", "Save the currently displayed calibration"}};
    for (const auto& [name, tip] : tips) EXPECT_EQ(Find<QPushButton>(w, name)->toolTip(), tip);
    auto* lst = Find<QListWidget>(w, "lstObservations");
    ASSERT_EQ(lst->count(), 5);
    EXPECT_TRUE(QFontInfo(lst->font()).fixedPitch());
    EXPECT_EQ(lst->item(0)->text(), desktop->observationsModel().lstObservations[0].text);

    // A box unticked takes effect when the mouse button is let go, and
    // equally after the Down key.
    lst->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_TRUE(store->at(2).Use);
    QTest::mouseRelease(lst->viewport(), Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_FALSE(store->at(2).Use);
    lst->item(1)->setCheckState(Qt::Checked);
    QTest::keyRelease(lst, Qt::Key_Down);
    EXPECT_TRUE(store->at(2).Use);

    // Remove the highlighted line, then Undo.
    lst->setCurrentRow(0);
    auto* undo = Find<QPushButton>(w, "cmdUndo");
    QTest::mouseClick(Find<QPushButton>(w, "cmdRemove"), Qt::LeftButton);
    QTest::mouseClick(undo, Qt::LeftButton);
    EXPECT_TRUE(lst->item(4)->text().startsWith("Star 1 "));

    // Shrunk below its minimum the window snaps back: 1425 twips high.
    w.resize(100, 40);
    EXPECT_EQ(w.height(), 95);
    EXPECT_GE(w.width() * 15, Find<QPushButton>(w, "cmdUndo")->geometry().right() * 15 + 100);
    EXPECT_EQ(lst->height(), 20);

    // Closing puts its place and size into the settings.
    w.resize(600, 300);
    w.close();
    EXPECT_EQ(program->settings().ObsWidth, 600 * 15);
    EXPECT_EQ(program->settings().ObsHeight, 300 * 15);
    QTest::mouseClick(Find<QPushButton>(desktop->main(), "cmdShowObserves"), Qt::LeftButton);
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(undo->isEnabled());  // loaded anew
    QTest::mouseClick(Find<QPushButton>(desktop->main(), "cmdShowObserves"), Qt::LeftButton);
    EXPECT_FALSE(w.isVisible());
}

TEST_F(ObservationWindowTest, StartsCautionShowsTheList) {
    auto& main = desktop->main();
    Find<QRadioButton>(main, "optReCalPerm")->click();
    Find<QCheckBox>(main, "chkAddToCal")->click();  // the full calibration, no recalibrations
    EXPECT_TRUE(Find<QRadioButton>(main, "optFullCal")->isChecked());
    EXPECT_FALSE(Find<QRadioButton>(main, "optReCalPerm")->isEnabled());
    Find<QCheckBox>(main, "chkAddToCal")->click();

    // Unsaved observations and Cancel: the list is shown, nothing starts.
    Add(3);
    auto* start = Find<QPushButton>(main, "cmdStartCal");
    start->setEnabled(true);  // as when connected
    ui.QueueAnswer(dispatch::MessageAnswer::Cancel);
    start->click();
    EXPECT_TRUE(desktop->observations().isVisible());
    EXPECT_EQ(Find<QListWidget>(desktop->observations(), "lstObservations")->count(), 3);
    ui.QueueAnswer(dispatch::MessageAnswer::Ok);
    start->click();
    EXPECT_TRUE(store->Calibrating());
    EXPECT_FALSE(Find<QPushButton>(desktop->observations(), "cmdOpen")->isEnabled());
    EXPECT_FALSE(Find<QCheckBox>(main, "chkAddToCal")->isEnabled());
}
