// Synchronous motions over real HTTP on the simulated mount: the waiting
// call holds only its own worker, so other clients are served meanwhile and
// another client's AbortSlew stops the mount and ends the call; positions
// are fresh after every command; the setup page names a site mismatch.
#include <atomic>

#include "alpaca_fixture.h"
#include "celaris/dispatch/errors.h"

using namespace celaris;
using namespace celaris::test;

namespace {

constexpr char kManualSimulator[] = "Test.ManualSimulator";
constexpr double kStartUnix = 1710892800.0;  // 2024-03-20T00:00:00Z

// The mount's clock moves only when the test moves it, on this thread.
struct ManualMount {
    std::shared_ptr<ManualClock> clock;
    SimulatorOptions options;
    SimulatedMount* mount = nullptr;
};
ManualMount& Manual() {
    static ManualMount m;
    return m;
}

class MotionWaitTest : public AlpacaServerTest {
  protected:
    void SetUp() override {
        static const bool once = [] {
            DriverFactory::Instance().Register(QString::fromLatin1(kManualSimulator),
                                               [](const QString&) -> std::unique_ptr<Driver> {
                                                   auto m = std::make_unique<SimulatedMount>(
                                                       Manual().options, Manual().clock);
                                                   Manual().mount = m.get();
                                                   return m;
                                               });
            return true;
        }();
        (void)once;
        Manual() = ManualMount{std::make_shared<ManualClock>(kStartUnix), {}, nullptr};
        Manual().options.slewRateDegPerSec = 10.0;
        Manual().options.hiddenTerms = HiddenTerms::None();
        AlpacaServerTest::SetUp();
        profile::WriteScope(program->profile(), QString::fromLatin1(kManualSimulator));
        program->hub().SetClock([c = Manual().clock] { return c->NowUnixSeconds(); });
        program->hub().SetLog([this](const QString& line) { hubLog << line; });
        Serve();
    }
    SimulatedMount& mount() { return *Manual().mount; }
    // Positions the hub holds are what the mount reports now.
    void ExpectFresh(const char* after) {
        EXPECT_DOUBLE_EQ(state().ScopeRA, mount().RightAscension()) << after;
        EXPECT_DOUBLE_EQ(state().ScopeDec, mount().Declination()) << after;
    }
    // An hour angle's right ascension now, as a form value.
    std::string RaAt(double hourAngle) {
        return std::to_string(std::fmod(mount().SiderealTime() - hourAngle + 48.0, 24.0));
    }

    QStringList hubLog;
};

// A request on a thread of its own, answered while this thread runs events.
class Pending {
  public:
    Pending(int port, std::string path, std::string form)
        : worker_([this, port, path = std::move(path), form = std::move(form)] {
              httplib::Client c("127.0.0.1", port);
              c.set_read_timeout(std::chrono::seconds(30));
              reply_ = HttpClient::Make(c.Put(path, form, "application/x-www-form-urlencoded"));
              done_ = true;
          }) {}
    ~Pending() {
        if (worker_.joinable()) worker_.join();
    }
    bool done() const { return done_; }
    // Waits (running events) for the answer.
    Reply Wait() {
        WaitUntil([&] { return done(); }, 20000);
        worker_.join();
        return reply_;
    }

  private:
    Reply reply_;
    std::atomic<bool> done_{false};
    std::thread worker_;
};

}  // namespace

TEST_F(MotionWaitTest, AnotherClientsAbortEndsASynchronousSlew) {
    ASSERT_EQ(Put("connected", "Connected=true&ClientID=1").error(), 0);
    ASSERT_EQ(Put("connected", "Connected=true&ClientID=2").error(), 0);
    // The mount's clock stands still: without an abort the slew never ends.
    Pending slew(server->port(), kApi + "slewtocoordinates",
                 "RightAscension=" + RaAt(-3.0) + "&Declination=10&ClientID=1");
    ASSERT_TRUE(WaitUntil([&] { return mount().Slewing(); }, 5000));
    // Others are served meanwhile.
    for (int i = 0; i < 3; ++i) {
        const Reply r = Get("slewing?ClientID=2");
        EXPECT_EQ(r.error(), 0);
        EXPECT_EQ(r.value(), QJsonValue(true));
        EXPECT_EQ(Get("declination?ClientID=2").error(), 0);
    }
    EXPECT_FALSE(slew.done());

    const Reply abort = Put("abortslew", "ClientID=2");
    EXPECT_EQ(abort.error(), 0);
    EXPECT_FALSE(mount().Slewing());
    const Reply ended = slew.Wait();
    EXPECT_EQ(ended.status, 200);
    EXPECT_EQ(ended.error(), 0x40B);
    EXPECT_EQ(ended.message(), "SlewToCoordinates ended early: AbortSlew stopped the mount.");
    EXPECT_EQ(Get("slewing?ClientID=2").value(), QJsonValue(false));
    ExpectFresh("AbortSlew");
}

TEST_F(MotionWaitTest, PositionsAreFreshAfterEveryCommand) {
    ASSERT_EQ(Put("connected", "Connected=true").error(), 0);
    ExpectFresh("Connected");
    EXPECT_NEAR(Get("declination").value().toDouble(), 90.0, 0.1);

    // Time runs while the mount moves, so the synchronous calls end.
    QTimer ticks;
    QObject::connect(&ticks, &QTimer::timeout, [this] {
        if (mount().Slewing()) Manual().clock->Advance(1.0);
    });
    ticks.start(5);
    const Reply slew = Put("slewtocoordinates", "RightAscension=" + RaAt(2.0) + "&Declination=20");
    EXPECT_EQ(slew.error(), 0) << slew.message().toStdString();
    ticks.stop();
    ExpectFresh("SlewToCoordinates");
    EXPECT_FALSE(mount().Slewing());
    EXPECT_EQ(Get("slewing").value(), QJsonValue(false));
    EXPECT_NEAR(Get("declination").value().toDouble(), 20.0, 0.05);

    ASSERT_EQ(Put("synctocoordinates", "RightAscension=3&Declination=25").error(), 0);
    ExpectFresh("SyncToCoordinates");

    ticks.start(5);
    const Reply park = Put("park", "");
    ticks.stop();
    EXPECT_EQ(park.error(), 0) << park.message().toStdString();
    EXPECT_EQ(Get("atpark").value(), QJsonValue(true));
    ExpectFresh("Park");
    // Motion refused while parked: the refusal comes at once.
    EXPECT_EQ(Put("slewtocoordinates", "RightAscension=3&Declination=25").error(), 0x408);
}

TEST_F(MotionWaitTest, TheSetupPageNamesAMountOnAnotherSite) {
    Manual().options.longitudeDeg = -75.5;
    ASSERT_EQ(Put("connected", "Connected=true").error(), 0);
    ASSERT_EQ(hubLog.size(), 1);
    EXPECT_TRUE(hubLog[0].contains("longitude -75.5000")) << hubLog[0].toStdString();
    const Reply page = client->Get("/setup");
    EXPECT_NE(page.body.find("Site warning"), std::string::npos);
}
