// The windows' rules without widgets: shared rules, setup clamps, horizon
// editing and import, model terms.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTimeZone>

#include "celaris/hub/telescope.h"

#include "alpaca_fixture.h"
#include "errors_model.h"
#include "horizon_model.h"
#include "main_model.h"
#include "setup_model.h"
#include "window_rules.h"

using namespace celaris;
using namespace celaris::models;

TEST(WindowRules, KeepOnScreenPullsWindowsBackOntoTheDesktop) {
    // 1024 x 768 pixels = 15360 x 11520 twips.
    EXPECT_EQ(KeepOnScreen({-100, -5, 3000, 4000}, 1024, 768), (TwipRect{0, 0, 3000, 4000}));
    EXPECT_EQ(KeepOnScreen({11000, 14000, 3000, 4000}, 1024, 768),
              (TwipRect{8520, 11360, 3000, 4000}));
    EXPECT_EQ(KeepOnScreen({300, 300, 3000, 4000}, 1024, 768), (TwipRect{300, 300, 3000, 4000}));
}

TEST(WindowRules, NightColourIsRedOfTheMeanBrightness) {
    EXPECT_EQ(NightColour(30, 60, 91, true), (Rgb{60, 0, 0}));
    EXPECT_EQ(NightColour(30, 60, 91, false), (Rgb{30, 60, 91}));
}

TEST(WindowRules, SiderealTimeAndAltAzAgreeWithReferenceValues) {
    // GMST at 2000-01-01 12:00 UT is 18.697374558 h.
    const QDateTime j2000(QDate(2000, 1, 1), QTime(12, 0), QTimeZone::utc());
    EXPECT_NEAR(LocalSiderealHours(j2000, 0.0), 18.697374558, 2e-6);
    EXPECT_NEAR(LocalSiderealHours(j2000, -75.0), 18.697374558 - 5.0, 2e-6);
    // On the meridian: altitude 90 - |lat - dec|, azimuth south or north.
    auto aa = RaDecToAltAz(6.0, 20.0, 45.0, 6.0);
    EXPECT_NEAR(aa.altDeg, 65.0, 1e-9);
    EXPECT_NEAR(aa.azDeg, 180.0, 1e-9);
    aa = RaDecToAltAz(6.0, 70.0, 45.0, 6.0);
    EXPECT_NEAR(aa.altDeg, 65.0, 1e-9);
    EXPECT_NEAR(std::fmod(aa.azDeg, 360.0), 0.0, 1e-9);
    // Six hours east: rising in the east half of the sky.
    aa = RaDecToAltAz(12.0, 0.0, 45.0, 6.0);
    EXPECT_NEAR(aa.altDeg, 0.0, 1e-9);
    EXPECT_NEAR(aa.azDeg, 90.0, 1e-9);
}

TEST(WindowRules, DisplayFormats) {
    EXPECT_EQ(FormatRA(12.5 + 1.25 / 3600), "12:30:01.3");
    EXPECT_EQ(FormatDec(-45.5), "-45° 30' 00\"");
    EXPECT_EQ(FormatAltAz(275.5), "275° 30'");
    EXPECT_EQ(FormatLST(23.999), "23:59:56");
    EXPECT_EQ(ErrorsModel::FormatTerm(-0.001), "-00º03'26\"");
}

namespace {

class ModelTest : public ::testing::Test {
  protected:
    void SetUp() override {
        test::RegisterFastSimulator();
        path = dir.filePath("profile.json");
    }
    std::unique_ptr<hub::Program> Start() { return std::make_unique<hub::Program>(ui, path); }
    QTemporaryDir dir;
    QString path;
    test::ScriptedUi ui;
};

}  // namespace

TEST_F(ModelTest, SetupOkClampsAndRefusesFlipLimits) {
    auto program = Start();
    SetupModel setup(*program);
    setup.txtPollInterval = "0";
    setup.txtSlewPause = "-3";
    setup.txtDeclimit = "2";
    setup.txtAltLimit = "120";
    setup.txtFlipLimitW = "60";  // a fork mount has no west limit to check
    ASSERT_TRUE(setup.Ok());
    const auto& s = program->settings();
    EXPECT_EQ(s.PollInterval, 0.1);
    EXPECT_EQ(program->status().m_PollInterval, 0);
    EXPECT_EQ(s.SlewPause, 3.0);
    EXPECT_EQ(s.DecLimitRad, 0.08726646259971639);
    EXPECT_EQ(s.AltLimitRad, 1.570796326794895);
    EXPECT_TRUE(ui.shown().isEmpty());

    setup.txtPollInterval = "25";
    setup.txtSlewPause = "100";
    ASSERT_TRUE(setup.Ok());
    EXPECT_EQ(s.PollInterval, 10.0);
    EXPECT_EQ(s.SlewPause, 60.0);

    // East 60 degrees is refused for every mount; what came before stays.
    setup.txtFlipLimitE = "60";
    setup.SiteParam[0] = "-33 30 00";
    setup.txtPollInterval = "3";
    EXPECT_FALSE(setup.Ok());
    ASSERT_EQ(ui.shown().size(), 1);
    EXPECT_EQ(ui.shown()[0].text, "The pier flip limits must be between 0 and 45 degrees");
    EXPECT_EQ(ui.shown()[0].buttons, dispatch::MessageButtons::Ok);
    EXPECT_EQ(s.Latitude, -33.5);
    EXPECT_EQ(s.PollInterval, 10.0);  // step 5 was not reached

    // An unreadable box ends OK with the error box naming it.
    setup.txtFlipLimitE = "5";
    setup.SiteParam[2] = "high";
    EXPECT_FALSE(setup.Ok());
    EXPECT_TRUE(ui.shown().last().text.contains("Atm (kPa): \"high\" is not a number."));
}

TEST_F(ModelTest, SetupLoadsFormatsAndChoosesTheDriver) {
    auto program = Start();
    SetupModel setup(*program);
    EXPECT_EQ(setup.SiteParam[0], "45° 00' 00\"");
    EXPECT_EQ(setup.SiteParam[2], "101.325");
    EXPECT_EQ(setup.SiteParam[3], "15.00");
    EXPECT_EQ(setup.txtFlipLimitE, "5.00");
    EXPECT_EQ(setup.txtBacklash, "60.000");
    EXPECT_EQ(setup.ChooseButton, "Select Telescope");
    ui.QueueDriverChoice(QString::fromLatin1(drivers_list::kSimulatorProgId));
    setup.Choose();
    EXPECT_EQ(ui.chooserShown(), 1);
    EXPECT_EQ(ui.chooserChoices().first().progId, drivers_list::kSimulatorProgId);
    EXPECT_EQ(program->hub().profile().ReadScope(), drivers_list::kSimulatorProgId);
    // A cancelled chooser leaves the choice.
    setup.Choose();
    EXPECT_EQ(program->hub().profile().ReadScope(), drivers_list::kSimulatorProgId);
}

TEST_F(ModelTest, HorizonEditing) {
    auto program = Start();
    HorizonModel h(*program);
    EXPECT_EQ(h.sldrHorizon[3], 60);
    EXPECT_EQ(h.txtHorizon[3], "30.0");
    const auto before = program->settings().HorizonRad;
    h.TextChanged(0, "12");
    h.Reset();
    h.Cancel();
    EXPECT_EQ(program->settings().HorizonRad, before);

    h.TextChanged(1, "95");
    EXPECT_EQ(h.sldrHorizon[1], 0);  // the top of the slider
    h.TextChanged(2, "12.5");
    EXPECT_EQ(h.sldrHorizon[2], 78);  // the nearest whole degree of 77.5
    h.TextChanged(3, "abc");
    EXPECT_EQ(h.sldrHorizon[3], 0);
    h.SliderReleased(4, 70);
    EXPECT_EQ(h.txtHorizon[4], "20");
    h.Ok();
    const auto& p = program->settings().HorizonRad;
    EXPECT_NEAR(p[1] * 180 / M_PI, 95.0, 1e-12);
    EXPECT_NEAR(p[2] * 180 / M_PI, 12.5, 1e-12);
    EXPECT_EQ(p[3], 0.0);
    EXPECT_NEAR(p[4] * 180 / M_PI, 20.0, 1e-12);
    EXPECT_NEAR(p[5], before[5], 1e-15);
}

TEST(HorizonImport, FilesOfOtherProgramsGiveSectorMaxima) {
    // N.I.N.A. style: azimuth altitude per line.
    auto pts = ParseHorizonFile("0 10\n90 20\n180 40\n270 15\n");
    ASSERT_TRUE(pts);
    auto m = SectorMaxima(*pts);
    EXPECT_NEAR(m[0], 10.0 + 10.0 * 11.25 / 90.0, 1e-9);  // rising towards the east
    EXPECT_NEAR(m[4], 20.0 + 20.0 * 11.25 / 90.0, 1e-9);
    EXPECT_NEAR(m[8], 40.0, 1e-9);
    // Stellarium: comments, and a spike inside one sector counts.
    pts = ParseHorizonFile("# my garden\n0 5\n100 5\n101 60\n102 5\n359 5\n");
    ASSERT_TRUE(pts);
    m = SectorMaxima(*pts);
    EXPECT_EQ(m[4], 60.0);  // 101 deg lies in the sector of 90 +- 11.25
    // The next sector starts at 101.25, on the spike's falling side.
    EXPECT_NEAR(m[5], 60.0 - 55.0 * 0.25, 1e-9);
    EXPECT_NEAR(m[12], 5.0, 1e-9);
    // MountWizzard4's JSON and a comma form.
    EXPECT_TRUE(ParseHorizonFile("[[0, 12], [180, 25]]"));
    EXPECT_EQ(ParseHorizonFile("0,12\n180,25\n")->size(), 2);
    // Broken numbers are refused rather than read as zero.
    EXPECT_FALSE(ParseHorizonFile("0 12\n90 high\n"));
}

TEST_F(ModelTest, ModelTermsShowTheFlexureOfTheMountAndReachTheEngine) {
    auto program = Start();
    auto& s = program->settings();
    s.ForkFlexRad = 0.001;
    s.DecFlexRad = -0.002;
    s.HourOffsetRad = 0.0005;
    ErrorsModel errors(*program);
    program->UpdateEngineTerms();  // the window's update now
    EXPECT_EQ(errors.lblMountFlex, ErrorsModel::FormatTerm(0.001));
    double h = 0, fork = 0, dec = 0;
    ISVD* e = program->hub().engine().get();
    e->get_HOffset(&h);
    e->get_ForkFlex(&fork);
    e->get_DecFlex(&dec);
    EXPECT_EQ(h, 0.0005);
    EXPECT_EQ(fork, 0.001);
    EXPECT_EQ(dec, -0.002);
    s.IsGerman = true;
    errors.Update();
    EXPECT_EQ(errors.lblMountFlex, ErrorsModel::FormatTerm(-0.002));
    EXPECT_TRUE(errors.lblMountFlex.startsWith('-'));
}

TEST_F(ModelTest, ClosingAsksAboutUnsavedObservationsThenTheConnection) {
    {
        profile::Profile p(path);
        profile::WriteScope(p, QString::fromLatin1(test::kFastSimulator));
    }
    auto program = Start();
    calibration::CalibrationStore store(*program);
    MainModel main(*program, store);
    EXPECT_TRUE(main.QueryUnload());  // nothing to ask
    EXPECT_TRUE(ui.shown().isEmpty());

    main.calibration().CalibrationSaved = false;
    bool shown = false;
    ui.QueueAnswer(dispatch::MessageAnswer::Cancel);
    EXPECT_FALSE(main.QueryUnload([&] { shown = true; }));
    EXPECT_TRUE(shown);
    EXPECT_EQ(ui.shown().last(), dispatch::ConfirmDiscardMessage());

    main.calibration().CalibrationSaved = true;
    hub::Telescope client(program->hub());
    client.SetConnected(true);
    ui.QueueAnswer(dispatch::MessageAnswer::No);
    EXPECT_FALSE(main.QueryUnload());
    EXPECT_EQ(ui.shown().last().text,
              "Exiting will disconnect the telescope from your control application; do you "
              "want to proceed?");
    EXPECT_EQ(ui.shown().last().title, "Warning");
    EXPECT_EQ(ui.shown().last().buttons, dispatch::MessageButtons::YesNo);
    ui.QueueAnswer(dispatch::MessageAnswer::Yes);
    EXPECT_TRUE(main.QueryUnload());
    client.SetConnected(false);
}
