// The connection model and the pass-through members.
#include "hub_fixture.h"

using namespace celaris;
using namespace celaris::test;

TEST_F(HubTest, TwoClientsShareOneDriverAndCountConnections) {
    auto a = std::make_unique<hub::Telescope>(*hub);
    auto b = std::make_unique<hub::Telescope>(*hub);
    a->SetConnected(true);
    ASSERT_EQ(MadeDrivers().size(), 1);
    ScriptedDriver& d = driver();
    EXPECT_EQ(d.Value("Connected").toBool(), true);
    EXPECT_EQ(hub->state().ConnectionCount, 1);

    b->SetConnected(true);
    EXPECT_EQ(MadeDrivers().size(), 1);  // the driver is untouched
    EXPECT_EQ(hub->state().ConnectionCount, 2);

    a->SetConnected(false);
    EXPECT_EQ(hub->state().ConnectionCount, 1);
    EXPECT_TRUE(hub->state().DriverConnected);
    EXPECT_EQ(d.Calls("put Connected false").size(), 0);

    // B goes away without disconnecting: its destruction disconnects.
    b.reset();
    EXPECT_EQ(hub->state().ConnectionCount, 0);
    EXPECT_FALSE(hub->state().DriverConnected);
    EXPECT_EQ(hub->state().ScopeDriver, nullptr);
}

TEST_F(HubTest, AReadingClientSeesTheSharedConnectionButCannotDropIt) {
    auto holder = Connect();
    hub::Telescope reader(*hub);
    EXPECT_TRUE(reader.Connected());
    reader.SetConnected(false);  // holds nothing, changes nothing
    EXPECT_EQ(hub->state().ConnectionCount, 1);
    EXPECT_TRUE(hub->state().DriverConnected);
    // Every member works for it.
    EXPECT_EQ(reader.Name(), "Celaris-Scripted Mount");
}

TEST_F(HubTest, RepeatedConnectFromOneObjectCountsOnce) {
    auto a = Connect();
    a->SetConnected(true);
    EXPECT_EQ(hub->state().ConnectionCount, 1);
    a.reset();
    EXPECT_FALSE(hub->state().DriverConnected);
}

TEST_F(HubTest, NoDriverSelectedLeavesTheHubIdle) {
    profile.scope.clear();
    hub::Telescope t(*hub);
    const auto e = ErrorOf([&] { t.SetConnected(true); });
    EXPECT_EQ(e.number(), static_cast<int32_t>(0x80040403));
    EXPECT_EQ(e.source(), "ASCOM Telescope Hub for Celaris");
    EXPECT_EQ(e.description(), "Telescope driver not selected in Celaris.");
    EXPECT_FALSE(hub->state().DriverConnected);
    EXPECT_FALSE(t.Connected());
}

TEST_F(HubTest, ProbesSwallowErrorsAndFlagsSayWhatWorked) {
    RegisterScriptedDriver();
    // The next driver made refuses both pier-side members.
    DriverFactory::Instance().Register(QStringLiteral("Test.NoPier"), [](const QString&) {
        auto d = std::make_unique<ScriptedDriver>();
        d->Fail("SideOfPier", ComError(0x80040400, "Drv", "no pier"));
        d->Fail("DestinationSideOfPier", ComError(0x80040400, "Drv", "no pier"));
        d->Set("CanSetPierSide", false);
        MadeDrivers().append(d.get());
        return std::unique_ptr<Driver>(std::move(d));
    });
    profile.scope = "Test.NoPier";
    auto t = Connect();
    EXPECT_TRUE(hub->state().DriverConnected);
    EXPECT_FALSE(hub->state().CanReadSideOfPier);
    EXPECT_FALSE(hub->state().CanDestinationSideOfPier);
    EXPECT_FALSE(hub->state().CanSetPierSide);
    // The probe asked for the side of RA 12 h, Dec 45 degrees.
    EXPECT_EQ(driver().Calls("call DestinationSideOfPier(12,45)").size(), 1);
    const auto e = ErrorOf([&] { t->SideOfPier(); });
    EXPECT_EQ(e.number(), static_cast<int32_t>(0x80040400));
    EXPECT_EQ(e.description(), "SideOfPier is not implemented by this telescope driver object.");
    const auto s = ErrorOf([&] { t->SetSideOfPier(PierSide::pierWest); });
    EXPECT_EQ(s.description(),
              "Set SideOfPier is not implemented by this telescope driver object.");
}

TEST_F(HubTest, ANewObjectResetsTheSharedTarget) {
    auto a = Connect();
    hub->state().TargetRA = 5.0;
    hub->state().TargetDec = 20.0;
    const int before = profile.registrations;
    hub::Telescope b(*hub);
    EXPECT_EQ(hub->state().TargetRA, 0.0);
    EXPECT_EQ(hub->state().TargetDec, 0.0);
    EXPECT_EQ(profile.registrations, before + 1);
}

TEST_F(HubTest, DriverErrorsReachTheClientWithAllFiveItems) {
    auto t = Connect();
    const ComError original(static_cast<int32_t>(0x80040455), "Mount X", "CanSlew broke",
                            "mountx.chm", 42);
    driver().Fail("CanSlew", original);
    const auto e = ErrorOf([&] { t->CanSlew(); });
    EXPECT_EQ(e, original);
    // A refused connection keeps the hub idle and hands the error on.
    DriverFactory::Instance().Register(QStringLiteral("Test.Refuses"), [](const QString&) {
        auto d = std::make_unique<ScriptedDriver>();
        d->Fail("Connected", ComError(static_cast<int32_t>(0x80040407), "Mount Y", "cable"));
        return std::unique_ptr<Driver>(std::move(d));
    });
    auto other =
        std::make_unique<hub::Hub>(settings, profile, ui, std::make_unique<hub::EngineRef>());
    profile.scope = "Test.Refuses";
    hub::Telescope u(*other);
    const auto c = ErrorOf([&] { u.SetConnected(true); });
    EXPECT_EQ(c.source(), "Mount Y");
    EXPECT_FALSE(other->state().DriverConnected);
    EXPECT_EQ(other->state().ConnectionCount, 0);
}

TEST_F(HubTest, DisconnectRefusedByTheDriverStillGivesTheCountBack) {
    auto t = Connect();
    driver().Fail("Connected", ComError(static_cast<int32_t>(0x80040401), "Drv", "busy"));
    const auto e = ErrorOf([&] { t->SetConnected(false); });
    EXPECT_EQ(e.description(), "busy");
    EXPECT_EQ(hub->state().ConnectionCount, 0);
    EXPECT_FALSE(t->ClientConnected());
    EXPECT_TRUE(hub->state().DriverConnected);
    EXPECT_NE(hub->state().ScopeDriver, nullptr);
}

TEST_F(HubTest, IdentityMembersAndNotConnectedErrors) {
    hub::Telescope t(*hub);
    EXPECT_EQ(t.DriverVersion(), "1.4");
    EXPECT_EQ(t.InterfaceVersion(), 2);
    EXPECT_TRUE(t.DriverInfo().startsWith("Celaris Telescope Pointing Correction 1.4.0\r\n"));
    t.SetupDialog();
    for (const auto& call : std::vector<std::function<void()>>{
             [&] { t.Name(); }, [&] { t.Tracking(); }, [&] { t.Description(); },
             [&] { t.RightAscension(); }, [&] { t.SlewToCoordinates(1, 2); },
             [&] { t.AbortSlew(); }, [&] { t.SideOfPier(); }}) {
        const auto e = ErrorOf(call);
        EXPECT_EQ(e.number(), static_cast<int32_t>(0x80040402));
        EXPECT_EQ(e.source(), "ASCOM Telescope Hub for Celaris");
        EXPECT_EQ(e.description(), "Telescope not connected.");
    }
    auto c = Connect();
    EXPECT_EQ(t.InterfaceVersion(), 3);
}

TEST_F(HubTest, MethodsForwardTheClientsArguments) {
    auto t = Connect();
    driver().callResults["CommandString"] = QStringLiteral("ok");
    EXPECT_EQ(t->CommandString("X"), "ok");
    EXPECT_EQ(driver().Calls("call CommandString").last(), "call CommandString(X,false)");
    t->PulseGuide(GuideDirections::guideWest, 250);
    EXPECT_EQ(driver().Calls("call PulseGuide").last(), "call PulseGuide(3,250)");
    t->SetTracking(true);
    EXPECT_EQ(driver().Calls("put Tracking").last(), "put Tracking true");
    driver().Set("Tracking", QStringLiteral("yes"));  // a wrong type is an error, not a guess
    EXPECT_EQ(ErrorOf([&] { t->Tracking(); }).number(), static_cast<int32_t>(0x80020005));
}
