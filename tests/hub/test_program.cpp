// Start-up, the rule that a shown "Telescope not connected." drops the
// connection, and the exit that saves the settings.
#include <QTemporaryDir>

#include "celaris/hub/program.h"
#include "hub_fixture.h"

using namespace celaris;
using namespace celaris::test;

namespace {

class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterScriptedDriver();
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath("profile.json");
    }
    QTemporaryDir dir;
    QString path;
    test::ScriptedUi ui;
};

}  // namespace

TEST_F(ProgramTest, StartUpGivesTheEngineTheSiteAndTheSavedTerms) {
    {
        profile::Profile p(path);
        const QString id = QString::fromLatin1(profile::kHubDriverId);
        p.WriteValue(id, "Latitude", "-33.5");
        p.WriteValue(id, "IsGerman", "true");
        p.WriteValue(id, "HourOffset", "0.00125");
        p.WriteValue(id, "PollInterval", "0.5");
    }
    hub::Program program(ui, path);
    ISVD* e = program.hub().engine().get();
    LONG german = 0;
    double hOffset = 0;
    e->get_German(&german);
    e->get_HOffset(&hOffset);
    EXPECT_EQ(german, 1);
    EXPECT_EQ(hOffset, 0.00125);
    EXPECT_EQ(program.status().m_PollInterval, 2);
    EXPECT_EQ(program.settings().Latitude, -33.5);
    EXPECT_TRUE(profile::Profile(path).IsRegistered(QString::fromLatin1(profile::kHubDriverId)));
}

TEST_F(ProgramTest, OnlyTheHubsOwnNotConnectedErrorDropsTheConnection) {
    profile::WriteScope(*std::make_unique<profile::Profile>(path), "Test.Scripted");
    hub::Program program(ui, path);
    hub::Telescope client(program.hub());
    client.SetConnected(true);
    ASSERT_TRUE(program.hub().state().DriverConnected);

    // A driver's ValueNotSet has the same number but says nothing about the
    // connection.
    ui.ShowError(
        dispatch::ComError(static_cast<int32_t>(0x80040402), "Scripted", "Target not set"));
    EXPECT_TRUE(program.hub().state().DriverConnected);
    EXPECT_TRUE(ui.shown().last().text.startsWith("Error Number: -2147220478\r\n"));

    ui.ShowError(dispatch::ErrHubNotConnected());
    EXPECT_FALSE(program.hub().state().DriverConnected);
    EXPECT_EQ(program.hub().state().ConnectionCount, 1);  // untouched
    EXPECT_NE(program.hub().state().ScopeDriver, nullptr);
    // The next connection makes a new driver object.
    const int made = MadeDrivers().size();
    hub::Telescope other(program.hub());
    other.SetConnected(true);
    EXPECT_EQ(MadeDrivers().size(), made + 1);
}

TEST_F(ProgramTest, ExitSavesTheSettingsAndTheModelTerms) {
    {
        hub::Program program(ui, path);
        program.settings().DecFlexRad = 0.0042;
        program.settings().AntiBacklash = true;
        program.Shutdown();
        program.Shutdown();  // a second call does nothing
    }
    profile::Profile p(path);
    const profile::Settings s = profile::ReadAllSettings(p);
    EXPECT_EQ(s.DecFlexRad, 0.0042);
    EXPECT_TRUE(s.AntiBacklash);
}
