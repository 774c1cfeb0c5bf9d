// "Auto Calibration" and its pixel size calculator: the calculator's rules
// headless, and the windows mirroring the automatic run without a camera.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>

#include "alpaca_fixture.h"
#include "celaris/profile/settings.h"
#include "desktop.h"
#include "pixel_calculator_model.h"
#include "window_rules.h"

using namespace celaris;

namespace {

class AutoCalTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::RegisterFastSimulator();
        program = std::make_unique<hub::Program>(ui, dir.filePath("profile.json"));
        store = std::make_unique<calibration::CalibrationStore>(*program);
        run = std::make_unique<calibration::AutoCalibration>(*program, *store);
        // 8 and 10 um behind 1000 mm: 1.65 and 2.0625 arc seconds.
        profile::Settings s = program->settings();
        s.PixSizeX = 8;
        s.PixSizeY = 10;
        s.FocalLength = 1000;
        profile::WritePixelCalculatorSettings(program->profile(), s);
        run->Load();
    }
    void TearDown() override {
        desktop.reset();
        run.reset();
        store.reset();
        program.reset();
    }
    profile::Settings Stored() {
        profile::Settings s;
        profile::ReadPixelCalculatorSettings(program->profile(), s);
        return s;
    }
    windows::AutoCalWindow& Window() {
        desktop = std::make_unique<windows::Desktop>(*program, *store, nullptr);
        desktop->SetAutoCalibration(run.get());
        return *desktop->autoCal();
    }
    template <typename T>
    T* Find(QWidget& w, const char* name) {
        T* found = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QTemporaryDir dir;
    test::ScriptedUi ui;
    std::unique_ptr<hub::Program> program;
    std::unique_ptr<calibration::CalibrationStore> store;
    std::unique_ptr<calibration::AutoCalibration> run;
    std::unique_ptr<windows::Desktop> desktop;
};

}  // namespace

TEST_F(AutoCalTest, CalculatorScalesAndRefusesBoxesThatAreNotNumbers) {
    models::PixelCalculatorModel calc(*program, *run);
    calc.Load();
    EXPECT_EQ(calc.txtFocalLength, "1000");
    EXPECT_EQ(calc.lblAPPX, "1.65");
    EXPECT_EQ(calc.lblAPPY, "2.06");
    EXPECT_DOUBLE_EQ(run->resolution(), (1.65 + 2.0625) / 2);
    EXPECT_TRUE(ui.shown().isEmpty());

    for (const char* focal : {"abc", "0"}) {
        ui.ClearRecord();
        calc.txtFocalLength = QString::fromLatin1(focal);
        calc.Calculate();
        ASSERT_EQ(ui.shown().size(), 1) << focal;
        EXPECT_TRUE(ui.shown()[0].text.contains(
            QStringLiteral("Type mismatch: \"%1\" is not a number.").arg(focal)));
        EXPECT_EQ(calc.lblAPPX, "1.65");
        EXPECT_DOUBLE_EQ(run->resolution(), (1.65 + 2.0625) / 2);
    }

    // Close or unload with a bad box: the good ones are not kept either,
    // in memory or in the profile.
    calc.txtSizeX = "5";
    calc.txtSizeY = "five";
    calc.txtFocalLength = "700";
    calc.CloseAndKeep();
    calc.Unload();
    EXPECT_DOUBLE_EQ(program->settings().PixSizeX, 8);
    EXPECT_DOUBLE_EQ(program->settings().FocalLength, 1000);
    EXPECT_DOUBLE_EQ(Stored().PixSizeX, 8);
    EXPECT_DOUBLE_EQ(Stored().FocalLength, 1000);
}

TEST_F(AutoCalTest, CalculatorCloseKeepsTheBoxesAndUnloadFollowsTheRefinedResolution) {
    models::PixelCalculatorModel calc(*program, *run);
    calc.txtSizeX = "7.4";
    calc.txtSizeY = "7.5";
    calc.txtFocalLength = "530";
    calc.CloseAndKeep();
    EXPECT_DOUBLE_EQ(Stored().PixSizeX, 7.4);
    EXPECT_DOUBLE_EQ(Stored().PixSizeY, 7.5);
    EXPECT_DOUBLE_EQ(Stored().FocalLength, 530);

    // A solve refined the plate scale: the focal length is the one that
    // gives it with the X pixel size.
    calc.txtSizeX = "9";
    run->SetResolutionText(QStringLiteral("1.5"));
    calc.Unload();
    EXPECT_DOUBLE_EQ(Stored().PixSizeX, 9);
    EXPECT_DOUBLE_EQ(Stored().FocalLength, 9 * 206.25 / 1.5);
    // A resolution of 0 keeps the focal length rather than store infinity.
    run->SetResolutionText(QStringLiteral("0"));
    calc.Unload();
    EXPECT_DOUBLE_EQ(Stored().FocalLength, 9 * 206.25 / 1.5);
}

TEST(CatalogFolderPath, EndsInOneSlash) {
    EXPECT_EQ(models::CatalogFolderPath("/data/astrometry"), "/data/astrometry/");
    EXPECT_EQ(models::CatalogFolderPath("/data/astrometry/"), "/data/astrometry/");
}

TEST_F(AutoCalTest, WindowMirrorsTheRunAndForwardsStop) {
    auto& w = Window();
    EXPECT_EQ(w.objectName(), "frmStarfixCal");
    const std::pair<const char*, QString> labels[] = {{"lblCalStatus", "Mount Calibration"},
                                                      {"lblStarfixStatus", "Starfix"},
                                                      {"lblCameraStatus", "Camera"},
                                                      {"lblBin", "Bin (X and Y)"},
                                                      {"lblTimeLeft", ""}};
    for (const auto& [name, text] : labels) EXPECT_EQ(Find<QLabel>(w, name)->text(), text);
    for (const char* name : {"cmdBrowse", "cmdAdvanced"}) Find<QPushButton>(w, name);
    for (const char* name : {"optCatalog_4", "optCatalog_5", "optProjection_2"})
        Find<QRadioButton>(w, name);
    Find<QListWidget>(w, "lstFilters");
    EXPECT_TRUE(Find<QRadioButton>(w, "optCatalog_3")->isChecked());
    EXPECT_TRUE(Find<QRadioButton>(w, "optProjection_1")->isChecked());
    EXPECT_EQ(Find<QLineEdit>(w, "txtCatPath")->text(), program->settings().CatPath);
    EXPECT_EQ(Find<QLineEdit>(w, "txtResolution")->text(), "2");
    EXPECT_EQ(Find<QLineEdit>(w, "txtMaxTime")->text(), run->txtMaxTime);

    auto* progress = Find<QProgressBar>(w, "progbarCal");
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 204);
    auto* accuracy = Find<QComboBox>(w, "cmbAccuracy");
    QStringList items;
    for (int i = 0; i < accuracy->count(); ++i) items << accuracy->itemText(i);
    EXPECT_EQ(items, calibration::AutoCalibration::AccuracyItems());
    run->SelectAccuracy(3);
    EXPECT_EQ(accuracy->currentText(), "~12 Stars");

    auto* start = Find<QPushButton>(w, "cmdStart");
    auto* stop = Find<QPushButton>(w, "cmdStop");
    auto* resume = Find<QPushButton>(w, "cmdResume");
    const auto buttons = [&] {
        return std::array{start->isEnabled(), stop->isEnabled(), resume->isEnabled()};
    };
    EXPECT_EQ(buttons(), (std::array{true, false, false}));
    // As a start leaves the run: only STOP, the bar live.
    run->cmdStartEnabled = run->cmdResumeEnabled = run->txtCatPathEnabled = false;
    run->cmdStopEnabled = run->progbarCalEnabled = true;
    run->progbarCal = 17;
    emit run->changed();
    EXPECT_EQ(buttons(), (std::array{false, true, false}));
    EXPECT_EQ(progress->value(), 17);
    EXPECT_FALSE(Find<QLineEdit>(w, "txtCatPath")->isEnabled());

    stop->click();
    EXPECT_TRUE(run->paused());
    EXPECT_EQ(buttons(), (std::array{true, false, true}));
}

TEST_F(AutoCalTest, PixelCalculatorDialogIsAViewOverItsModel) {
    auto& w = Window();
    auto& calc = w.calculator();
    EXPECT_EQ(calc.objectName(), "frmPixelCalc");
    calc.model().Load();
    EXPECT_EQ(Find<QLineEdit>(calc, "txtSizeX")->text(), "8");
    EXPECT_EQ(Find<QLabel>(calc, "lblAPPY")->text(), "2.06");

    // Typing and Calculate: the scales, and the run's box in the window.
    auto* focal = Find<QLineEdit>(calc, "txtFocalLength");
    focal->selectAll();
    QTest::keyClicks(focal, "500");
    Find<QPushButton>(calc, "cmdCalculate")->click();
    EXPECT_EQ(Find<QLabel>(calc, "lblAPPX")->text(), "3.30");
    EXPECT_EQ(Find<QLineEdit>(w, "txtResolution")->text(), "3.7125");

    calc.show();
    Find<QPushButton>(calc, "cmdClose")->click();
    EXPECT_FALSE(calc.isVisible());
    EXPECT_DOUBLE_EQ(Stored().FocalLength, 500);
}
