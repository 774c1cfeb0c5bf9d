// The windows clicked through offscreen: they mirror their models, forward
// the user's actions, and show the real dialogs of the Ui service.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "alpaca_fixture.h"
#include "desktop.h"

using namespace celaris;

namespace {

class WindowsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::RegisterFastSimulator();
        path = dir.filePath("profile.json");
    }
    void Start() {
        program = std::make_unique<hub::Program>(ui, path);
        store = std::make_unique<calibration::CalibrationStore>(*program);
        desktop = std::make_unique<windows::Desktop>(*program, *store, nullptr);
    }
    void TearDown() override {
        desktop.reset();
        store.reset();
        program.reset();
    }
    template <typename T>
    T* Find(QWidget& w, const char* name) {
        T* found = w.findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    QTemporaryDir dir;
    QString path;
    test::ScriptedUi ui;
    std::unique_ptr<hub::Program> program;
    std::unique_ptr<calibration::CalibrationStore> store;
    std::unique_ptr<windows::Desktop> desktop;
};

}  // namespace

TEST_F(WindowsTest, MainWindowWithNoDriverChosen) {
    Start();
    auto& w = desktop->main();
    program->status().UpdateStatus();
    EXPECT_EQ(w.windowTitle(), "Celaris");
    EXPECT_EQ(Find<QPlainTextEdit>(w, "txtStatus")->toPlainText(),
              "Link: None Selected\nNot Connected");
    EXPECT_EQ(Find<QCheckBox>(w, "chkApplyCorr")->toolTip(),
              "Apply corrections to current scope coordinates");
    auto* inverted = Find<QComboBox>(w, "cmbInverted");
    EXPECT_EQ(inverted->count(), 3);
    EXPECT_EQ(inverted->itemData(0).toInt(), 2);
    EXPECT_EQ(inverted->currentText(), "Auto");
    EXPECT_FALSE(inverted->isEnabled());  // not a German mount
    EXPECT_FALSE(Find<QPushButton>(w, "cmdNorth")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(w, "cmdStopSlew")->isEnabled());
    // The pick list and the calibration frame wait for their store.
    EXPECT_FALSE(Find<QComboBox>(w, "cmbNearStars")->isEnabled());
    EXPECT_FALSE(Find<QPushButton>(w, "cmdStartCal")->isEnabled());

    // The nudge step follows its box and unit.
    auto* incr = Find<QLineEdit>(w, "txtNudgeIncr");
    incr->setEnabled(true);
    incr->clear();
    QTest::keyClicks(incr, "5");
    desktop->mainModel().SetNudgeUnit(1);
    EXPECT_DOUBLE_EQ(desktop->mainModel().NudgeStep, 5 * 2.908882086657213e-4);
    EXPECT_EQ(Find<QComboBox>(w, "cmbDegMinSec")->currentText(), "ArcMin");
    desktop->mainModel().SetNudgeUnit(2);
    EXPECT_EQ(desktop->mainModel().NudgeStep, 5 * 4.848136811095355e-6);
    desktop->mainModel().SetNudgeUnit(0);
    EXPECT_EQ(desktop->mainModel().NudgeStep, 5 * 0.017453292519943278);
    desktop->mainModel().SetNudgeUnit(1);

    // On Top is a setting.
    Find<QCheckBox>(w, "chkOnTop")->click();
    EXPECT_FALSE(program->settings().OnTop);
}

TEST_F(WindowsTest, SouthernSetupExchangesTheNudgeButtonsAtOnce) {
    Start();
    desktop->main().show();
    auto& setup = desktop->setup();
    auto* north = Find<QPushButton>(desktop->main(), "cmdNorth");
    auto* south = Find<QPushButton>(desktop->main(), "cmdSouth");
    auto* east = Find<QPushButton>(desktop->main(), "cmdEast");
    auto* west = Find<QPushButton>(desktop->main(), "cmdWest");
    QApplication::processEvents();
    EXPECT_LT(north->y(), south->y());
    EXPECT_LT(west->x(), east->x());

    setup.show();
    auto* lat = Find<QLineEdit>(setup, "SiteParam_0");
    lat->setText("-33 52 00");
    auto* poll = Find<QLineEdit>(setup, "txtPollInterval");
    poll->setText("0");
    QTest::mouseClick(Find<QPushButton>(setup, "OKButton"), Qt::LeftButton);
    QApplication::processEvents();
    EXPECT_FALSE(setup.isVisible());
    EXPECT_NEAR(program->settings().Latitude, -(33 + 52 / 60.0), 1e-12);
    EXPECT_EQ(program->settings().PollInterval, 0.1);
    EXPECT_TRUE(desktop->mainModel().nudgeExchanged);
    EXPECT_GT(north->y(), south->y()) << north->y() << " " << south->y();
    EXPECT_GT(west->x(), east->x());

    // German enables the flip limits at once; Cancel keeps the edited texts.
    setup.show();
    auto* flipE = Find<QLineEdit>(setup, "txtFlipLimitE");
    EXPECT_FALSE(flipE->isEnabled());
    Find<QCheckBox>(setup, "German")->click();
    EXPECT_TRUE(flipE->isEnabled());
    EXPECT_TRUE(program->settings().IsGerman);
    poll->setText("7");
    QTest::mouseClick(Find<QPushButton>(setup, "CancelButton"), Qt::LeftButton);
    EXPECT_EQ(program->settings().PollInterval, 0.1);
    setup.show();
    EXPECT_EQ(poll->text(), "7");
    setup.hide();
}

TEST_F(WindowsTest, HorizonEditorResetAndCancelKeepTheProfile) {
    Start();
    auto& h = desktop->horizon();
    const auto before = program->settings().HorizonRad;
    h.show();
    QTest::mouseClick(Find<QPushButton>(h, "cmdReset"), Qt::LeftButton);
    auto* t0 = Find<QLineEdit>(h, "txtHorizon_0");
    QTest::keyClicks(t0, "5");  // "30.05"
    QTest::mouseClick(Find<QPushButton>(h, "CmdCancel"), Qt::LeftButton);
    EXPECT_EQ(program->settings().HorizonRad, before);

    h.show();
    EXPECT_EQ(t0->text(), "30.0");  // refilled from the profile
    t0->selectAll();
    QTest::keyClicks(t0, "95");
    EXPECT_EQ(Find<QSlider>(h, "sldrHorizon_0")->value(), 0);
    QTest::mouseClick(Find<QPushButton>(h, "cmdOK"), Qt::LeftButton);
    EXPECT_NEAR(program->settings().HorizonRad[0] * 180 / M_PI, 95.0, 1e-12);
}

TEST_F(WindowsTest, NightModeIsRememberedAndTurnsThePaletteRed) {
    Start();
    auto* action = desktop->main().findChild<QAction*>("mnuNightMode");
    ASSERT_NE(action, nullptr);
    action->trigger();
    EXPECT_TRUE(desktop->mainModel().NightMode);
    EXPECT_EQ(QApplication::palette().color(QPalette::WindowText).green(), 0);
    EXPECT_EQ(QApplication::palette().color(QPalette::Window), QColor(0, 0, 0));
    EXPECT_TRUE(models::ReadNightMode(program->profile()));
    action->trigger();
    EXPECT_FALSE(models::ReadNightMode(program->profile()));
    EXPECT_NE(QApplication::palette().color(QPalette::Window), QColor(0, 0, 0));
}

TEST(QtUi, MessageBoxesHaveTheirIconsButtonsAndTexts) {
    windows::QtUi ui;
    QString title, text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    QMessageBox::StandardButtons buttons;
    const auto answerWith = [&](QMessageBox::StandardButton press) {
        QTimer::singleShot(0, [&, press] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_NE(box, nullptr);
            title = box->windowTitle();
            text = box->text();
            icon = box->icon();
            buttons = box->standardButtons();
            box->button(press)->click();
        });
    };
    answerWith(QMessageBox::Cancel);
    EXPECT_TRUE(ui.ConfirmDiscard());
    EXPECT_EQ(title, "A Note of Caution");
    EXPECT_EQ(icon, QMessageBox::Warning);
    EXPECT_EQ(buttons, QMessageBox::Ok | QMessageBox::Cancel);
    EXPECT_TRUE(text.startsWith("Your current Calibration has not been saved.\nIf you wish"));

    answerWith(QMessageBox::Ok);
    ui.ShowError(dispatch::ErrHubNotConnected());
    EXPECT_EQ(title, "Celaris");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(buttons, QMessageBox::Ok);
    EXPECT_EQ(text,
              "Error Number: -2147220478\nSource: ASCOM Telescope Hub for Celaris\nTelescope not "
              "connected.");

    answerWith(QMessageBox::Ok);
    ui.ReportFailing("Slewing");
    EXPECT_EQ(text,
              "The telescope driver reports that Slewing is supported.\nHowever, it reports an "
              "error when Slewing is called.");
}

TEST_F(WindowsTest, ScreenshotsOfEveryWindow) {
    Start();
    program->status().UpdateStatus();
    calibration::AutoCalibration run(*program, *store);
    run.Load();
    const QString resolution = run.txtResolution;
    desktop->SetAutoCalibration(&run);
    const auto terms = store->Terms();
    const QStringList files = desktop->Screenshots(QStringLiteral(SCREENSHOT_DIR));
    // The sample calibration the pictures show is gone again.
    EXPECT_EQ(store->ObservationCount(), 0);
    EXPECT_EQ(store->Terms(), terms);
    // The calculator's picture leaves the run's resolution as it was.
    EXPECT_EQ(run.txtResolution, resolution);
    for (const char* name : {"frmMain", "frmSetup", "frmHorizon", "frmErrors", "frmObservations",
                             "frmSlewing", "frmAbout", "frmStarfixCal", "frmPixelCalc"}) {
        const QFileInfo f(QStringLiteral(SCREENSHOT_DIR "/%1.png").arg(name));
        EXPECT_TRUE(files.contains(f.filePath())) << name;
        EXPECT_GT(f.size(), 1000) << name;
    }
    EXPECT_TRUE(windows::AboutBox::SystemInfo(*program).contains("libtrimcore"));
    desktop.reset();  // its Auto Calibration window refers to the run
}
