// The Alpaca driver: what it sends (exact casing, ids, verbs), how it
// reads answers and maps errors back, and a chain of two hubs where the
// second drives the first over Alpaca. Discovery of a running hub.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <mutex>

#include "alpaca_fixture.h"
#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers/alpaca/alpaca_telescope.h"
#include "celaris/drivers/alpaca/discovery.h"
#include "celaris/hub/telescope.h"
#include "error_of.h"
#include "hub_thread.h"

using namespace celaris;
using namespace celaris::test;

namespace {

// A device that records what it is sent and answers what the test says.
class FakeDevice {
  public:
    struct Seen {
        std::string method, path, query, body;
    };
    FakeDevice() {
        http_.set_tcp_nodelay(true);
        http_.Get(".*", [this](const httplib::Request& q, httplib::Response& r) { Answer(q, r); });
        http_.Put(".*", [this](const httplib::Request& q, httplib::Response& r) { Answer(q, r); });
        port_ = http_.bind_to_any_port("127.0.0.1");
        thread_ = std::thread([this] { http_.listen_after_bind(); });
    }
    ~FakeDevice() {
        http_.stop();
        thread_.join();
    }
    int port() const { return port_; }
    void Reply(int status, std::string body) {
        std::lock_guard lock(m_);
        status_ = status;
        body_ = std::move(body);
    }
    Seen last() {
        std::lock_guard lock(m_);
        return last_;
    }

  private:
    void Answer(const httplib::Request& q, httplib::Response& r) {
        std::lock_guard lock(m_);
        const size_t mark = q.target.find('?');
        last_ = {q.method, q.path, mark == std::string::npos ? "" : q.target.substr(mark + 1),
                 q.body};
        r.status = status_;
        r.set_content(body_, "application/json");
    }
    httplib::Server http_;
    std::thread thread_;
    int port_ = 0;
    std::mutex m_;
    int status_ = 200;
    std::string body_ =
        R"({"ClientTransactionID":0,"ServerTransactionID":1,"ErrorNumber":0,"ErrorMessage":""})";
    Seen last_;
};

std::string Ok(const std::string& value) {
    return R"({"ClientTransactionID":0,"ServerTransactionID":1,"ErrorNumber":0,"ErrorMessage":"","Value":)" +
           value + "}";
}

}  // namespace

TEST(AlpacaDriver, SendsExactCasingIdsAndCountingTransactions) {
    FakeDevice device;
    AlpacaTelescope d({QStringLiteral("127.0.0.1"), device.port(), 3});
    const std::string id = std::to_string(d.clientId());

    d.Put("targetrightascension", 5.5);  // member names in any case
    auto seen = device.last();
    EXPECT_EQ(seen.method, "PUT");
    EXPECT_EQ(seen.path, "/api/v1/telescope/3/targetrightascension");
    EXPECT_EQ(seen.body, "TargetRightAscension=5.5&ClientID=" + id + "&ClientTransactionID=1");

    device.Reply(200, Ok("1"));
    EXPECT_EQ(d.Call("DestinationSideOfPier", {12.0, 45.25}).toInt(), 1);
    seen = device.last();
    EXPECT_EQ(seen.method, "GET");
    EXPECT_EQ(seen.query,
              "RightAscension=12&Declination=45.25&ClientID=" + id + "&ClientTransactionID=2");

    device.Reply(200, Ok("\"ok\""));
    EXPECT_EQ(d.Call("CommandString", {QStringLiteral("X a&b")}).toString(), "ok");
    EXPECT_EQ(device.last().body,
              "Command=X%20a%26b&Raw=false&ClientID=" + id + "&ClientTransactionID=3");

    device.Reply(200, Ok("\"2024-03-01T21:05:09.5Z\""));
    d.Put("UTCDate", d.Get("UTCDate"));
    EXPECT_EQ(device.last().body,
              "UTCDate=2024-03-01T21%3A05%3A09.500Z&ClientID=" + id + "&ClientTransactionID=5");
}

TEST(AlpacaDriver, ReadsAnswersByKindAndMapsFailuresToErrors) {
    FakeDevice device;
    AlpacaTelescope d({QStringLiteral("127.0.0.1"), device.port(), 0});
    const QString source = QStringLiteral("Alpaca telescope 127.0.0.1:%1/0").arg(device.port());

    device.Reply(200, Ok("[0,1,2]"));
    EXPECT_EQ(d.Get("TrackingRates").value<TrackingRates>(), (TrackingRates{0, 1, 2}));
    device.Reply(200, Ok(R"([{"Maximum":4.5,"Minimum":0}])"));
    EXPECT_EQ(d.Call("AxisRates", {0}).value<AxisRates>(), (AxisRates{{0.0, 4.5}}));
    device.Reply(200, Ok("true"));
    EXPECT_EQ(d.Get("Slewing"), QVariant(true));

    // The device's own error: 0x80040000 + n, its text, our source.
    device.Reply(200, R"({"ErrorNumber":1026,"ErrorMessage":"Target not set","Value":0})");
    auto e = ErrorOf([&] { d.Get("TargetDeclination"); });
    EXPECT_EQ(e.number(), static_cast<int32_t>(0x80040402));
    EXPECT_EQ(e.description(), "Target not set");
    EXPECT_EQ(e.source(), source);

    // Wrong kind of value, refused request, failing device, not Alpaca.
    device.Reply(200, Ok("\"12\""));
    EXPECT_EQ(ErrorOf([&] { d.Get("RightAscension"); }).number(), kAlpacaCommunicationError);
    device.Reply(400, "Parameter RightAscension \"nan\" is not a number.");
    e = ErrorOf([&] { d.Put("TargetRightAscension", std::nan("")); });
    EXPECT_EQ(e.number(), ascom_error::kInvalidValue);
    EXPECT_TRUE(e.description().contains("is not a number")) << e.description().toStdString();
    device.Reply(500, "boom");
    EXPECT_EQ(ErrorOf([&] { d.Get("Slewing"); }).number(), kAlpacaCommunicationError);
    device.Reply(200, "<html>");
    EXPECT_EQ(ErrorOf([&] { d.Get("Slewing"); }).number(), kAlpacaCommunicationError);

    // Names and argument counts are checked before anything is sent.
    EXPECT_EQ(ErrorOf([&] { d.Get("NoSuchMember"); }).number(), ascom_error::kUnknownName);
    EXPECT_EQ(ErrorOf([&] { d.Get("AxisRates"); }).number(), ascom_error::kUnknownName);
    EXPECT_EQ(ErrorOf([&] { d.Call("MoveAxis", {0}); }).number(), ascom_error::kBadParamCount);
}

TEST(AlpacaDriver, AnUnreachableDeviceIsAClearErrorNotAWait) {
    // A port nobody listens on: bind one, note it, close it.
    int port = 0;
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof a;
        ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
        port = ntohs(a.sin_port);
        ::close(fd);
    }
    AlpacaTelescope d({QStringLiteral("127.0.0.1"), port, 0});
    QElapsedTimer clock;
    clock.start();
    const auto e = ErrorOf([&] { d.Put("Connected", true); });
    EXPECT_EQ(e.number(), kAlpacaCommunicationError);
    EXPECT_TRUE(e.description().contains("cannot connect")) << e.description().toStdString();
    EXPECT_LT(clock.elapsed(), 3000);

    RegisterAlpacaDriver();
    EXPECT_EQ(ErrorOf([] { DriverFactory::Instance().Create("alpaca:nohost"); }).number(),
              ascom_error::kInvalidValue);
}

namespace {

// A mount without hidden errors or refraction, so that hub A's positions
// are the mount's own.
constexpr char kPerfectSimulator[] = "Test.PerfectSimulator";

void RegisterPerfectSimulator() {
    static const bool once = [] {
        DriverFactory::Instance().Register(QString::fromLatin1(kPerfectSimulator),
                                           [](const QString&) -> std::unique_ptr<Driver> {
                                               SimulatorOptions o;
                                               o.hiddenTerms = HiddenTerms::None();
                                               o.pressureKPa = 0.0;
                                               o.slewRateDegPerSec = 360.0;
                                               return std::make_unique<SimulatedMount>(o);
                                           });
        return true;
    }();
    (void)once;
}

HubThread::Setup PerfectHub() {
    RegisterPerfectSimulator();
    HubThread::Setup s;
    s.driverId = QString::fromLatin1(kPerfectSimulator);
    // Model zero (the default) and refraction off; a quick poll.
    s.settings = {{"Pressure", "0"}, {"PollInterval", "0.2"}};
    s.configure = [](hub::Program& p) {
        p.settings().Pressure = 0.0;
        hub::Check(p.hub().engine()->put_Pressure(0.0), "Pressure");
    };
    return s;
}

}  // namespace

TEST(AlpacaChain, AHubDrivenThroughAnotherFollowsItsOwnModel) {
    HubThread a(PerfectHub());
    RegisterAlpacaDriver();

    QTemporaryDir dir;
    const QString path = dir.filePath("profile.json");
    {
        profile::Profile p(path);
        profile::WriteScope(p, a.progId());
        p.WriteValue(profile::kHubDriverId, "PollInterval", "0.2");
    }
    test::ScriptedUi ui;
    hub::Program b(ui, path);
    // Hub B's own model: a few arc minutes in several terms.
    const double arcmin = 0.017453292519943278 / 60.0;
    b.settings().HourOffsetRad = 4 * arcmin;
    b.settings().DecOffsetRad = -3 * arcmin;
    b.settings().CollimationRad = 2 * arcmin;
    b.settings().PolarLRRad = 1.5 * arcmin;
    b.UpdateEngineTerms();
    b.StartTimer();

    auto client = std::make_unique<hub::Telescope>(b.hub());
    client->SetConnected(true);
    ASSERT_TRUE(b.hub().state().DriverConnected);
    EXPECT_EQ(a.Run([](hub::Program& p) { return int(p.hub().state().ConnectionCount); }), 1);

    const double ra = 2.75, dec = 62.5;
    client->SlewToCoordinatesAsync(ra, dec);
    ASSERT_TRUE(WaitUntil([&] { return !client->Slewing(); }, 10000));
    // One more poll on each side after the mount has stopped.
    ASSERT_TRUE(WaitUntil(
        [&, start = QDateTime::currentMSecsSinceEpoch()] {
            return QDateTime::currentMSecsSinceEpoch() - start > 1000;
        },
        2000));

    // What B reads raw is what the mount reports: A adds nothing.
    const auto mount = a.Run([](hub::Program& p) {
        Driver* d = p.hub().driver();
        return std::pair(d->Get("RightAscension").toDouble(), d->Get("Declination").toDouble());
    });
    EXPECT_NEAR(b.hub().state().ScopeRA, mount.first, 1e-9);
    EXPECT_NEAR(b.hub().state().ScopeDec, mount.second, 1e-9);
    // B's model took the mount there, and B's model brings it back.
    const double arcsec = 1.0 / 3600.0;
    EXPECT_NEAR(client->RightAscension(), ra, arcsec / 15.0);
    EXPECT_NEAR(client->Declination(), dec, arcsec);
    b.hub().UpdateSiderealTime();
    const hub::RaDec expected = b.hub().ScopeToTrueRADec(mount.first, mount.second);
    EXPECT_NEAR(client->RightAscension(), expected.ra, 1e-9);
    EXPECT_NEAR(client->Declination(), expected.dec, 1e-9);
    // ... and the model really moved it: the mount is not at the target.
    EXPECT_GT(std::abs(mount.second - dec), arcmin);

    // The mount's errors come through both hubs with their number and text.
    const auto e = ErrorOf([&] { client->CommandString("X"); });
    EXPECT_EQ(e.number(), ascom_error::kNotImplemented);
    EXPECT_EQ(e.description(), "CommandString is not implemented.");
    EXPECT_EQ(e.source(), QStringLiteral("Alpaca telescope 127.0.0.1:%1/0").arg(a.port()));

    client->SetConnected(false);
    client.reset();
    EXPECT_EQ(a.Run([](hub::Program& p) { return int(p.hub().state().ConnectionCount); }), 0);
    b.Shutdown();
}

TEST(AlpacaDiscovery, ABroadcastOnLoopbackFindsTheHub) {
    HubThread::Setup setup = PerfectHub();
    setup.server.discoveryPort = 0;
    setup.server.discoveryOnLoopback = true;
    setup.server.uniqueId = QStringLiteral("6f1c2a8e-0d1b-4c2e-9d77-3a5b2c1d0e9f");
    HubThread hub(setup);
    ASSERT_GT(hub.discoveryPort(), 0);

    // The exchange itself: a broadcast to the loopback network.
    const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
    ASSERT_GE(fd, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &on, sizeof on);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(hub.discoveryPort()));
    ::inet_pton(AF_INET, "127.255.255.255", &to.sin_addr);
    const std::string request = "alpacadiscovery1";
    ASSERT_EQ(::sendto(fd, request.data(), request.size(), 0, reinterpret_cast<sockaddr*>(&to),
                       sizeof to),
              ssize_t(request.size()));
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 3000), 1);
    char answer[256];
    const auto n = ::recv(fd, answer, sizeof answer, 0);
    ::close(fd);
    ASSERT_GT(n, 0);
    const QJsonObject o = QJsonDocument::fromJson(QByteArray(answer, int(n))).object();
    EXPECT_EQ(o.keys(), QStringList{"AlpacaPort"});
    EXPECT_EQ(o["AlpacaPort"].toInt(), hub.port());

    // The discovery client finds the telescope behind it and lists it.
    AlpacaDiscoveryOptions options;
    options.port = hub.discoveryPort();
    options.wait = std::chrono::milliseconds(300);
    options.targets = {QStringLiteral("127.255.255.255")};
    const auto found = DiscoverAlpacaTelescopes(options);
    ASSERT_EQ(found.size(), 1);
    EXPECT_EQ(found[0].progId(), hub.progId());
    EXPECT_EQ(found[0].uniqueId, setup.server.uniqueId);
    QTemporaryDir dir;
    profile::Profile store(dir.filePath("profile.json"));
    EXPECT_EQ(AddDiscoveredTelescopes(store, found), 1);
    EXPECT_EQ(AddDiscoveredTelescopes(store, found), 0);
    const auto listed =
        drivers_list::InstalledDrivers(store, dir.filePath("none.xml")).Find(hub.progId());
    ASSERT_TRUE(listed.has_value());
    EXPECT_EQ(listed->description, found[0].deviceName);
}

TEST(AlpacaDiscovery, ALoopbackOnlyServerDoesNotAnswer) {
    HubThread::Setup setup = PerfectHub();
    setup.server.discoveryPort = 0;
    HubThread hub(setup);
    EXPECT_EQ(hub.discoveryPort(), 0);
}
