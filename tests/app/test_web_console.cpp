// The browser console over real HTTP: the setup form through the setup
// window's own rules (every clamp and message), the horizon, the settings
// file, who may change things, the headers, and the status with its
// observation list, the automatic run's section and the map's stars.
#include <gtest/gtest.h>

#include <QFile>

#include <cmath>

#include "alpaca_fixture.h"
#include "celaris/alpaca/server.h"
#include "celaris/calibration/auto_calibration.h"
#include "main_model.h"
#include "manual_calibration.h"
#include "raw_http.h"
#include "web_console.h"

using namespace celaris;
using namespace celaris::test;

namespace {

constexpr double kDeg = M_PI / 180.0;
const std::string kConsoleApi = "/setup/console/api/";

class WebConsoleTest : public AlpacaServerTest {
  protected:
    void SetUp() override {
        AlpacaServerTest::SetUp();
        qputenv("CELARIS_DOCUMENTS_DIR", dir.filePath("docs").toUtf8());
        // The program as main.cpp makes it: boxes pass through the console's Ui.
        program.reset();
        program = std::make_unique<hub::Program>(consoleUi, path);
        store = std::make_unique<calibration::CalibrationStore>(*program);
        console = std::make_unique<models::WebConsole>(*program, *store, consoleUi);
    }
    void TearDown() override {
        client.reset();
        server.reset();
        console.reset();
        store.reset();
        program.reset();
        qunsetenv("CELARIS_DOCUMENTS_DIR");
    }
    void ServeConsole(alpaca::ServerOptions options = {}) {
        options.address = QStringLiteral("127.0.0.1");
        options.port = 0;
        options.discoveryPort = -1;
        server = std::make_unique<alpaca::AlpacaServer>(program->hub(), options);
        server->SetConsole(console.get());
        server->Start();
        client = std::make_unique<HttpClient>(server->port());
    }
    Reply Post(const std::string& name, const std::string& form,
               const httplib::Headers& headers = {}) {
        return OffThread([&] {
            return HttpClient::Make(client->raw().Post(kConsoleApi + name, headers, form,
                                                       "application/x-www-form-urlencoded"));
        });
    }
    // The setup window's OK with one box changed.
    Reply Ok(const std::string& form) { return Post("setup", form); }
    QStringList Messages(const Reply& r) {
        QStringList m;
        for (const auto& v : r.json.value(QStringLiteral("messages")).toArray()) m << v.toString();
        return m;
    }

    models::ConsoleUi consoleUi{ui};
    std::unique_ptr<calibration::CalibrationStore> store;
    std::unique_ptr<models::WebConsole> console;
};

TEST_F(WebConsoleTest, SetupFormClampsAsTheWindow) {
    ServeConsole();
    auto& s = program->settings();
    struct Case {
        const char* form;
        const double* setting;
        double expected;
    };
    const Case cases[] = {
        {"txtPollInterval=0", &s.PollInterval, 0.1},
        {"txtPollInterval=25", &s.PollInterval, 10.0},
        {"txtSlewPause=-3", &s.SlewPause, 3.0},
        {"txtSlewPause=100", &s.SlewPause, 60.0},
        {"txtDeclimit=2", &s.DecLimitRad, 0.08726646259971639},
        {"txtDeclimit=120", &s.DecLimitRad, 1.570796326794895},
        {"txtAltLimit=-30", &s.AltLimitRad, 30 * kDeg},
        {"txtBacklash=36", &s.BacklashRad, 0.01 * kDeg},
        {"SiteParam0=-33%C2%B0%2030'%200%22", &s.Latitude, -33.5},
        {"SiteParam1=151.25", &s.Longitude, 151.25},
        {"SiteParam2=95.5", &s.Pressure, 95.5},
    };
    for (const Case& c : cases) {
        const Reply r = Ok(c.form);
        ASSERT_EQ(r.status, 200) << c.form;
        EXPECT_TRUE(r.json.value("ok").toBool()) << c.form;
        EXPECT_NEAR(*c.setting, c.expected, 1e-12) << c.form;
    }
    // OK applies the poll interval to the status loop too: 0.1 s, every tick.
    ASSERT_TRUE(Ok("txtPollInterval=0").json.value("ok").toBool());
    EXPECT_EQ(program->status().m_PollInterval, 0);
}

TEST_F(WebConsoleTest, SetupFormRefusesAsTheWindowWithItsMessages) {
    ServeConsole();
    auto& s = program->settings();
    const QString flip = QStringLiteral("The pier flip limits must be between 0 and 45 degrees");
    // An east flip limit of 60 is refused for every mount.
    for (const char* german : {"true", "false"}) {
        const Reply r = Ok(std::string("German=") + german + "&txtFlipLimitE=60&txtFlipLimitW=5");
        EXPECT_FALSE(r.json.value("ok").toBool());
        EXPECT_EQ(Messages(r), QStringList{flip}) << german;
    }
    // A west limit of 60: a fork mount has none to check, a German one does.
    EXPECT_TRUE(Ok("German=false&txtFlipLimitE=5&txtFlipLimitW=60").json.value("ok").toBool());
    EXPECT_NEAR(s.FlipLimitWRad, 60 * kDeg, 1e-12);
    EXPECT_EQ(Messages(Ok("German=true&txtFlipLimitW=60")), QStringList{flip});
    // A refused flip limit stops OK before the poll interval is taken.
    const double poll = s.PollInterval;
    Ok("German=true&txtFlipLimitW=60&txtPollInterval=7");
    EXPECT_EQ(s.PollInterval, poll);
    ASSERT_TRUE(Ok("txtFlipLimitW=5").json.value("ok").toBool());

    // Unreadable boxes end OK with the program's error message; the values
    // before the failing one stay.
    const Reply atm = Ok("SiteParam0=12&SiteParam2=abc");
    EXPECT_FALSE(atm.json.value("ok").toBool());
    ASSERT_EQ(Messages(atm).size(), 1);
    EXPECT_TRUE(Messages(atm)[0].contains("Atm (kPa): \"abc\" is not a number."))
        << Messages(atm)[0].toStdString();
    EXPECT_EQ(s.Latitude, 12.0);
    const Reply lat = Ok("SiteParam0=north&SiteParam2=100");
    EXPECT_TRUE(Messages(lat).join("").contains("Lat (deg N+): \"north\" is not an angle."));

    // A check box that is neither ticked nor clear changes nothing at all.
    const Reply tick = Ok("German=maybe&txtPollInterval=3");
    EXPECT_EQ(Messages(tick), QStringList{"German: \"maybe\" is not true or false."});
    EXPECT_NE(s.PollInterval, 3.0);
}

TEST_F(WebConsoleTest, OkWritesTheSettingsFileAndHorizonFollowsTheEditor) {
    ServeConsole();
    ASSERT_TRUE(Ok("SiteParam0=47.25&chkJ2000=true").json.value("ok").toBool());
    {
        profile::Profile stored(path);
        profile::Settings read;
        profile::ReadSetupSettings(stored, read);
        EXPECT_DOUBLE_EQ(read.Latitude, 47.25);
        EXPECT_TRUE(read.J2000);
    }
    // Letters give 0, 95 stays 95, fractions keep their fraction.
    std::string form;
    for (int k = 0; k < 16; ++k)
        form += "&txtHorizon" + std::to_string(k) + "=" +
                (k == 3   ? std::string("abc")
                 : k == 4 ? std::string("95")
                          : std::string("12.5"));
    const Reply r = Post("horizon", form.substr(1));
    ASSERT_TRUE(r.json.value("ok").toBool());
    const auto& h = program->settings().HorizonRad;
    EXPECT_DOUBLE_EQ(h[3], 0.0);
    EXPECT_NEAR(h[4], 95 * kDeg, 1e-12);
    EXPECT_NEAR(h[0], 12.5 * kDeg, 1e-12);
    profile::Settings read;
    profile::Profile stored(path);
    profile::ReadHorizonSettings(stored, read);
    EXPECT_NEAR(read.HorizonRad[0], 12.5 * kDeg, 1e-12);
    // Reset fills the boxes only; the profile waits for OK.
    const Reply reset = Post("horizon-reset", "");
    EXPECT_EQ(reset.json["setup"].toObject()["txtHorizon"].toArray()[0].toString(), "30.0");
    EXPECT_NEAR(program->settings().HorizonRad[0], 12.5 * kDeg, 1e-12);
}

TEST_F(WebConsoleTest, DriverChoiceTakesOnlyAnInstalledDriver) {
    ServeConsole();
    const Reply list =
        OffThread([&] { return HttpClient::Make(client->raw().Get(kConsoleApi + "drivers")); });
    ASSERT_FALSE(list.json.value("drivers").toArray().isEmpty());
    const Reply bad = Post("choose", "driver=No.Such.Driver");
    EXPECT_FALSE(bad.json.value("ok").toBool());
    EXPECT_EQ(program->settings().Scope, QString::fromLatin1(kFastSimulator));
    const Reply good = Post("choose", "driver=Celaris.Simulator");
    EXPECT_TRUE(good.json.value("ok").toBool()) << good.body;
    EXPECT_EQ(profile::Profile(path).GetValue(QString::fromLatin1(profile::kHubDriverId), "Scope"),
              "Celaris.Simulator");
}

TEST_F(WebConsoleTest, ChangesNeedThisMachineOrThePassword) {
    alpaca::ServerOptions o;
    // Connections from 127.0.0.2 stand in for a computer elsewhere.
    o.peerIsLocal = [](const std::string& peer) { return peer == "127.0.0.1"; };
    ServeConsole(o);
    const double lat = program->settings().Latitude;
    RawHttp remote(server->port(), "127.0.0.2");
    const std::string form = "SiteParam0=10";
    const auto post = [&](RawHttp& c, const std::string& extra) {
        c.Send("POST /setup/console/api/setup HTTP/1.1\r\nHost: x\r\n" + extra +
               "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
               std::to_string(form.size()) + "\r\n\r\n" + form);
        return OffThread([&] { return c.Read(std::chrono::seconds(10)); });
    };
    const auto refused = post(remote, "");
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->status, 403);
    EXPECT_EQ(program->settings().Latitude, lat);
    // Reading stays open to everyone.
    remote.Send("GET /setup/console/api/status HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(OffThread([&] { return remote.Read(std::chrono::seconds(10)); })->status, 200);

    // A page of another site in the user's browser cannot post here.
    RawHttp local(server->port());
    EXPECT_EQ(post(local, "Origin: http://evil.example\r\n")->status, 403);
    EXPECT_EQ(program->settings().Latitude, lat);

    server.reset();
    o.setupPassword = QStringLiteral("s3cret");
    ServeConsole(o);
    RawHttp remote2(server->port(), "127.0.0.2");
    const auto wrong = post(
        remote2, "Authorization: Basic " + QByteArray("u:nope").toBase64().toStdString() + "\r\n");
    EXPECT_EQ(wrong->status, 401);
    EXPECT_TRUE(wrong->Has("WWW-Authenticate: Basic"));
    EXPECT_EQ(program->settings().Latitude, lat);
    const auto right = post(remote2, "Authorization: Basic " +
                                         QByteArray("u:s3cret").toBase64().toStdString() + "\r\n");
    EXPECT_EQ(right->status, 200);
    EXPECT_EQ(program->settings().Latitude, 10.0);
}

TEST_F(WebConsoleTest, PagesAndAnswersAreNeverCachedAndRunOnlyOwnScripts) {
    ServeConsole();
    RawHttp c(server->port());
    for (const char* target : {"/setup", "/setup/v1/telescope/0/setup", "/setup/console/status.js",
                               "/setup/console/console.css", "/setup/console/api/setup"}) {
        c.Send(std::string("GET ") + target + " HTTP/1.1\r\nHost: x\r\n\r\n");
        const auto r = OffThread([&] { return c.Read(std::chrono::seconds(10)); });
        ASSERT_TRUE(r) << target;
        EXPECT_EQ(r->status, 200) << target;
        EXPECT_TRUE(r->Has("Cache-Control: no-store")) << target;
        EXPECT_TRUE(r->Has("script-src 'self';")) << target;
    }
    c.Send("GET /setup/console/..%2Fsetup.html HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(OffThread([&] { return c.Read(std::chrono::seconds(10)); })->status, 404);
    // The pages run no script of their own inline.
    QFile page(":/console/status.html");
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_FALSE(page.readAll().contains("<script>"));
}

TEST_F(WebConsoleTest, UseFlagOfTheListRefits) {
    ServeConsole();
    for (int i = 0; i < 6; ++i) {
        const double ra = (1.0 + 1.7 * i) * M_PI / 12.0;
        const double dec = (-25.0 + 11.0 * i) * kDeg;
        store->Add2Cal(ra, dec, ra + 4e-4 * std::sin(i + 1.0), dec + 2e-4 * std::cos(2.0 * i),
                       ra + (i % 3 - 1) * 0.6, QStringLiteral("Star %1").arg(i + 1), false, true);
    }
    const Reply before = Post("update", "");
    const auto lines =
        before.json["status"].toObject()["observations"].toObject()["lines"].toArray();
    ASSERT_EQ(lines.size(), 6);
    const QString usedBefore =
        before.json["status"].toObject()["fit"].toObject()["used"].toString();
    const Reply after = Post("use", "line=2&use=false");
    ASSERT_TRUE(after.json.value("ok").toBool()) << after.body;
    EXPECT_FALSE(store->observations().at(2).Use);
    EXPECT_NE(after.json["status"].toObject()["fit"].toObject()["used"].toString(), usedBefore);
    EXPECT_FALSE(Post("use", "line=9&use=false").json.value("ok").toBool());
    // Save by name lands in the documents folder; a path outside is refused.
    EXPECT_TRUE(Post("save", "name=night1").json.value("ok").toBool());
    EXPECT_TRUE(QFile::exists(dir.filePath("docs/night1.clb")));
    EXPECT_FALSE(Post("save", "name=..%2Fescape").json.value("ok").toBool());
    // The plot and the map come as the shapes the windows paint.
    EXPECT_FALSE(after.json["status"].toObject()["plot"].toObject()["shapes"].toArray().isEmpty());
}

// The map's stars are the pick list's, three discs each as the window
// paints them: the console's own main model without windows, the window's
// with them.
TEST_F(WebConsoleTest, MapShowsThePickListStars) {
    ServeConsole();
    const auto discs = [&] {
        const Reply r =
            OffThread([&] { return HttpClient::Make(client->raw().Get(kConsoleApi + "status")); });
        int n = 0;
        for (const auto& v : r.json["map"].toObject()["shapes"].toArray())
            if (v.toObject()["k"].toString() == QLatin1String("disc")) ++n;
        return n;
    };
    const int own = discs();
    EXPECT_GT(own, 0);
    EXPECT_EQ(own % 3, 0);

    auto windows = std::make_unique<models::MainModel>(*program, *store);
    windows->manual().Load();
    const int picked = windows->manual().stars().PickCount();
    ASSERT_GT(picked, 0);
    server.reset();
    console = std::make_unique<models::WebConsole>(*program, *store, consoleUi,
                                                   models::ConsoleModels{windows.get()});
    ServeConsole();
    EXPECT_EQ(discs(), 3 * picked);
    server.reset();
    console.reset();
}

// Enough of a camera and a solver for a run to start; the run is never
// ticked, so neither is asked for an image.
struct IdleCamera : camera::Camera {
    QString Description() const override { return QStringLiteral("idle"); }
    void SetLinked(bool) override {}
    bool Linked() override { return true; }
    int MaxBinX() override { return 2; }
    int MaxBinY() override { return 2; }
    int BinX() override { return 1; }
    void SetBinX(int) override {}
    int BinY() override { return 1; }
    void SetBinY(int) override {}
    bool HasFilterWheel() override { return false; }
    QStringList FilterNames() override { return {}; }
    int Filter() override { return 0; }
    void SetFilter(int) override {}
    bool StartExposure(double, bool, int) override { return true; }
    void AbortExposure() override {}
    bool ImageReady() override { return false; }
    void PrepareImage() override {}
    double PixelSizeX() override { return 9; }
    double PixelSizeY() override { return 9; }
    void SaveImage(const QString&) override {}
};

struct IdleSolver : solver::PlateSolver {
    void AttachFITS(const QString&) override {}
    void DetachFITS() override {}
    void UpdateFITS() override {}
    void FindImageStars() override {}
    void FindCatalogStars() override {}
    void Solve() override {}
    bool busy() const override { return false; }
    std::optional<dispatch::ComError> lastError() const override { return std::nullopt; }
    solver::StarCollection ImageStars() const override { return {}; }
    solver::StarCollection CatalogStars() const override { return {}; }
    solver::StarCollection MatchedStars() const override { return {}; }
};

class WebConsoleAutoCalTest : public WebConsoleTest {
  protected:
    void SetUp() override {
        WebConsoleTest::SetUp();
        run = std::make_unique<calibration::AutoCalibration>(*program, *store);
        run->SetManualTicks(true);
        run->Load();
        console->SetAutoCalibration(run.get());
    }
    void TearDown() override {
        client.reset();
        server.reset();
        console.reset();
        run.reset();
        WebConsoleTest::TearDown();
    }
    void GiveDevices() {
        run->SetCameraFactory([] { return std::make_unique<IdleCamera>(); });
        run->SetSolverFactory([] { return std::make_unique<IdleSolver>(); });
    }
    static QJsonObject AutoCal(const Reply& r) {
        return r.json["status"].toObject()["autocal"].toObject();
    }
    std::unique_ptr<calibration::AutoCalibration> run;
};

TEST_F(WebConsoleAutoCalTest, SettingsTakeTheRunsRulesAndMessages) {
    ServeConsole();
    const Reply exposure = Post("autocal-settings", "name=Exposure&value=2.5");
    ASSERT_TRUE(exposure.json.value("ok").toBool()) << exposure.body;
    EXPECT_EQ(AutoCal(exposure)["exposure"].toString(), "2.5");
    ASSERT_TRUE(Post("autocal-settings", "name=Bin&value=2").json.value("ok").toBool());
    ASSERT_TRUE(Post("autocal-settings", "name=Accuracy&value=3").json.value("ok").toBool());
    EXPECT_EQ(run->cmbAccuracy, 3);

    // Refused with the run's own message; the run keeps what it had.
    struct Case {
        const char* form;
        const char* message;
    };
    const Case refused[] = {
        {"name=Exposure&value=abc", "Exposure cannot be set to \"abc\"."},
        {"name=Bin&value=1.5", "Bin cannot be set to \"1.5\"."},
        {"name=Accuracy&value=5", "Accuracy cannot be set to \"5\"."},
        {"name=Shutter&value=1", "\"Shutter\" is not a setting of the automatic calibration."},
    };
    for (const Case& c : refused) {
        const Reply r = Post("autocal-settings", c.form);
        EXPECT_FALSE(r.json.value("ok").toBool()) << c.form;
        EXPECT_EQ(Messages(r), QStringList{QString::fromUtf8(c.message)}) << c.form;
        EXPECT_EQ(run->txtExposure, "2.5") << c.form;
        EXPECT_EQ(run->txtBin, "2") << c.form;
        EXPECT_EQ(run->cmbAccuracy, 3) << c.form;
    }
}

TEST_F(WebConsoleAutoCalTest, StartNeedsACalibrationInProgressThenTheButtonsDriveTheRun) {
    ServeConsole();
    const Reply idle = Post("autocal-start", "");
    EXPECT_FALSE(idle.json.value("ok").toBool());
    ASSERT_EQ(Messages(idle).size(), 1);
    EXPECT_TRUE(Messages(idle)[0].startsWith("No calibration is in progress"));
    EXPECT_FALSE(run->running());
    EXPECT_FALSE(AutoCal(idle)["calibrating"].toBool());

    // A camera that does not link: its box once, and the run stays at rest.
    store->StartCalibration();
    const Reply noCamera = Post("autocal-start", "");
    EXPECT_FALSE(noCamera.json.value("ok").toBool());
    ASSERT_EQ(Messages(noCamera).size(), 1) << Messages(noCamera).join("|").toStdString();
    EXPECT_TRUE(Messages(noCamera)[0].contains("Failed to Link to Camera"));
    EXPECT_FALSE(run->running());
    EXPECT_EQ(AutoCal(noCamera)["lastError"].toString(), "Failed to Link to Camera");

    GiveDevices();
    const QJsonObject started = AutoCal(Post("autocal-start", ""));
    EXPECT_TRUE(run->running());
    EXPECT_EQ(started["state"].toInt(), calibration::kExpose);
    EXPECT_FALSE(started["start"].toBool());
    EXPECT_TRUE(started["stop"].toBool());
    EXPECT_EQ(started["starfixStatus"].toString(), "Starting automatic calibration.");
    // The run's own refusal while it goes on.
    EXPECT_EQ(Messages(Post("autocal-settings", "name=Camera&value=Other")),
              QStringList{"The camera cannot change while the run is going on."});

    const QJsonObject stopped = AutoCal(Post("autocal-stop", ""));
    EXPECT_FALSE(run->running());
    EXPECT_TRUE(stopped["resume"].toBool());
    EXPECT_TRUE(stopped["starfixStatus"].toString().contains("paused by user"));
    EXPECT_TRUE(AutoCal(Post("autocal-resume", ""))["running"].toBool());
}

TEST_F(WebConsoleAutoCalTest, RunChangesNeedThisMachineOrThePassword) {
    alpaca::ServerOptions o;
    o.peerIsLocal = [](const std::string& peer) { return peer == "127.0.0.1"; };
    ServeConsole(o);
    store->StartCalibration();
    GiveDevices();
    RawHttp remote(server->port(), "127.0.0.2");
    const auto post = [&](const std::string& name, const std::string& form) {
        remote.Send("POST /setup/console/api/" + name +
                    " HTTP/1.1\r\nHost: x\r\nContent-Type: "
                    "application/x-www-form-urlencoded\r\nContent-Length: " +
                    std::to_string(form.size()) + "\r\n\r\n" + form);
        return OffThread([&] { return remote.Read(std::chrono::seconds(10)); });
    };
    const QString exposure = run->txtExposure;
    EXPECT_EQ(post("autocal-settings", "name=Exposure&value=9")->status, 403);
    EXPECT_EQ(run->txtExposure, exposure);
    EXPECT_EQ(post("autocal-start", "")->status, 403);
    EXPECT_FALSE(run->running());
    // The run's state is open to read.
    remote.Send("GET /setup/console/api/autocal HTTP/1.1\r\nHost: x\r\n\r\n");
    EXPECT_EQ(OffThread([&] { return remote.Read(std::chrono::seconds(10)); })->status, 200);
}

}  // namespace
