// indi_celaris_telescope under Debian's indiserver (free port, fresh HOME,
// stopped by process id), in front of a Celaris hub on its own thread on
// the built-in simulator, driven with Celaris's own INDI client.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <thread>

#include "celaris/drivers/indi/indi_client.h"
#include "celaris/drivers/indi/indi_server.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "celaris/hub/program.h"
#include "hub_thread.h"

namespace celaris::test {

inline constexpr char kDevice[] = "Celaris";
inline constexpr double kArcmin = 3.14159265358979323846 / 180.0 / 60.0;

// A simulated mount with its usual hidden errors that slews 20 deg/s: a
// long slew lasts a few seconds, long enough to abort it.
inline void RegisterBriskSimulator() {
    static const bool once = [] {
        DriverFactory::Instance().Register(QStringLiteral("Test.BriskSimulator"),
                                           [](const QString&) -> std::unique_ptr<Driver> {
                                               SimulatorOptions o;
                                               o.slewRateDegPerSec = 20.0;
                                               return std::make_unique<SimulatedMount>(o);
                                           });
        return true;
    }();
    (void)once;
}

// A hub with a model of its own (a few arc minutes in several terms), on
// a free loopback port, or on `port`.
inline HubThread::Setup ModelHub(int port = 0) {
    RegisterBriskSimulator();
    HubThread::Setup s;
    s.driverId = QStringLiteral("Test.BriskSimulator");
    s.settings = {{"PollInterval", "0.2"}};
    s.configure = [](hub::Program& p) {
        p.settings().HourOffsetRad = 4 * kArcmin;
        p.settings().DecOffsetRad = -3 * kArcmin;
        p.settings().CollimationRad = 2 * kArcmin;
        p.UpdateEngineTerms();
    };
    s.server.port = port;
    return s;
}

// Polls pred every 50 ms until it holds; false after the time-out.
inline bool WaitFor(const std::function<bool()>& pred,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return pred();
}

class CelarisIndiRig {
  public:
    using Pred = std::function<bool(const indi::Property&)>;

    CelarisIndiRig() : hub_(std::make_unique<HubThread>(ModelHub())) {
        indi::IndiServerOptions o;
        o.drivers = {QStringLiteral(CELARIS_INDI_DRIVER)};
        o.home = home_.path();
        o.logFile = home_.filePath(QStringLiteral("indiserver.log"));
        server_ = indi::IndiServer::Start(o, QStringLiteral("test"));
        client_ = std::make_unique<indi::IndiClient>(QStringLiteral("127.0.0.1"), server_->port());
        QString error;
        EXPECT_TRUE(client_->Open(std::chrono::seconds(5), &error)) << error.toStdString();
        client_->GetProperties();
    }

    HubThread& hub() { return *hub_; }
    int hubPort() const { return hub_->port(); }
    void StopHub() { hub_.reset(); }
    void StartHub(int port) { hub_ = std::make_unique<HubThread>(ModelHub(port)); }
    indi::IndiClient& client() { return *client_; }
    indi::IndiServer& server() { return *server_; }

    // The property once pred holds, or whatever it is after the time-out.
    std::optional<indi::Property> Await(
        const char* name, const Pred& pred,
        std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        client_->WaitUntil(indi::IndiClient::Clock::now() + timeout, [&](const indi::CacheView& v) {
            const indi::Property* p = v.Find(Dev(), QString::fromLatin1(name));
            return p != nullptr && pred(*p);
        });
        return client_->Find(Dev(), QString::fromLatin1(name));
    }
    std::optional<indi::Property> Await(
        const char* name, indi::PropertyState state,
        std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return Await(
            name, [state](const indi::Property& p) { return p.state == state; }, timeout);
    }
    bool Defined(const char* name) {
        return client_->Find(Dev(), QString::fromLatin1(name)).has_value();
    }

    uint64_t Switch(const char* name, const char* element) {
        return client_->SendSwitches(Dev(), QString::fromLatin1(name),
                                     {{QString::fromLatin1(element), true}});
    }
    uint64_t Numbers(const char* name, const QList<QPair<QString, double>>& values) {
        return client_->SendNumbers(Dev(), QString::fromLatin1(name), values);
    }
    // Sends the coordinates with ON_COORD_SET at `mode` (TRACK, SLEW, SYNC).
    uint64_t Coordinates(const char* mode, double raHours, double decDeg) {
        Switch("ON_COORD_SET", mode);
        Await("ON_COORD_SET",
              [&](const indi::Property& p) { return p.IsOn(QString::fromLatin1(mode)); });
        return Numbers("EQUATORIAL_EOD_COORD", {{"RA", raHours}, {"DEC", decDeg}});
    }
    // Whether one of the device's messages after seq contains `text`.
    bool SaidAfter(uint64_t seq, const QString& text,
                   std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
        return client_->WaitUntil(indi::IndiClient::Clock::now() + timeout,
                                  [&](const indi::CacheView& v) {
                                      for (const auto& m : v.MessagesAfter(Dev(), seq))
                                          if (m.text.contains(text)) return true;
                                      return false;
                                  }) == indi::WaitResult::Satisfied;
    }

    // Points the driver at the hub, polls every 100 ms, connects.
    bool Connect(int hubPort) {
        if (!Await("CELARIS_HUB_ADDRESS", [](const indi::Property&) { return true; })) return false;
        client_->SendTexts(
            Dev(), QStringLiteral("CELARIS_HUB_ADDRESS"),
            {{QStringLiteral("ADDRESS"), QStringLiteral("127.0.0.1:%1").arg(hubPort)},
             {QStringLiteral("DEVICE"), QStringLiteral("0")}});
        Await("CELARIS_HUB_ADDRESS", indi::PropertyState::Ok);
        if (Await("POLLING_PERIOD", [](const indi::Property&) { return true; }))
            Numbers("POLLING_PERIOD", {{"PERIOD_MS", 100.0}});
        Switch("CONNECTION", "CONNECT");
        const auto c = Await("CONNECTION", [](const indi::Property& p) {
            return p.state == indi::PropertyState::Alert ||
                   (p.state == indi::PropertyState::Ok && p.IsOn(QStringLiteral("CONNECT")));
        });
        if (!c || c->state != indi::PropertyState::Ok) return false;
        return Await("EQUATORIAL_EOD_COORD", [](const indi::Property&) { return true; })
            .has_value();
    }

    static QString Dev() { return QString::fromLatin1(kDevice); }

  private:
    QTemporaryDir home_;
    std::unique_ptr<HubThread> hub_;
    std::unique_ptr<indi::IndiServer> server_;
    std::unique_ptr<indi::IndiClient> client_;
};

}  // namespace celaris::test
