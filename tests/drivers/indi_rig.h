// A real INDI telescope simulator for the INDI driver's tests: Debian's
// indiserver with indi_simulator_telescope on a free port, under a fresh
// HOME (the simulator keeps its park position and site there), stopped by
// its process id when the rig goes, whether the test passed or not.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <chrono>
#include <csignal>
#include <functional>
#include <memory>
#include <thread>

#include "celaris/dispatch/com_error.h"
#include "celaris/drivers/indi/indi_client.h"
#include "celaris/drivers/indi/indi_server.h"
#include "celaris/drivers/indi/indi_telescope.h"
#include "error_of.h"

namespace celaris::test {

inline constexpr char kSimDevice[] = "Telescope Simulator";

class IndiSimulatorRig {
  public:
    IndiSimulatorRig() {
        options_.drivers = {QStringLiteral("indi_simulator_telescope")};
        options_.home = home_.path();
        server_ = indi::IndiServer::Start(options_, QStringLiteral("test"));
        options_.port = server_->port();
    }

    // The server dies as in a crash (SIGKILL; its drivers end with it).
    void Crash() {
        tuner_.reset();
        ::kill(server_->pid(), SIGKILL);
        server_->Stop();
    }
    // A new server on the same port, with the same home.
    void StartAgain() { server_ = indi::IndiServer::Start(options_, QStringLiteral("test")); }

    int port() const { return options_.port; }
    pid_t pid() const { return server_->pid(); }
    indi::IndiServer& server() { return *server_; }
    QString id() const {
        return QStringLiteral("indi:127.0.0.1:%1/%2").arg(port()).arg(QLatin1String(kSimDevice));
    }
    QString home() const { return home_.path(); }

    // A second client that sets what only the simulator has (its poll
    // period, flip hour angle) and reads the wire directly.
    indi::IndiClient& tuner() {
        if (!tuner_) {
            tuner_ = std::make_unique<indi::IndiClient>(QStringLiteral("127.0.0.1"), port());
            EXPECT_TRUE(tuner_->Open(std::chrono::seconds(5), nullptr));
            tuner_->GetProperties();
        }
        return *tuner_;
    }
    // The simulator's property as its own client sees it, once the
    // predicate holds (or after the time-out).
    std::optional<indi::Property> Await(
        const char* name, const std::function<bool(const indi::Property&)>& pred,
        std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
        tuner().WaitUntil(indi::IndiClient::Clock::now() + timeout, [&](const indi::CacheView& v) {
            const indi::Property* p =
                v.Find(QString::fromLatin1(kSimDevice), QString::fromLatin1(name));
            return p != nullptr && pred(*p);
        });
        return tuner().Find(QString::fromLatin1(kSimDevice), QString::fromLatin1(name));
    }
    // Polls the simulator every 100 ms instead of 250 ms: slews end sooner
    // and the tests wait less.
    void SpeedUp() {
        Await("POLLING_PERIOD", [](const indi::Property&) { return true; });
        tuner().SendNumbers(QString::fromLatin1(kSimDevice), QStringLiteral("POLLING_PERIOD"),
                            {{QStringLiteral("PERIOD_MS"), 100.0}});
        Await("POLLING_PERIOD", [](const indi::Property& p) {
            return p.Number(QStringLiteral("PERIOD_MS")) == 100.0;
        });
    }

  private:
    QTemporaryDir home_;
    indi::IndiServerOptions options_;
    std::unique_ptr<indi::IndiServer> server_;
    std::unique_ptr<indi::IndiClient> tuner_;
};

// Fast time-outs for tests; slews in the tests take seconds, not minutes.
inline indi::IndiOptions TestOptions() {
    indi::IndiOptions o;
    o.connectTimeout = std::chrono::seconds(5);
    o.deviceTimeout = std::chrono::seconds(10);
    o.commandTimeout = std::chrono::seconds(3);
    o.slewTimeout = std::chrono::seconds(40);
    return o;
}

// Waits until pred holds, polling every 50 ms; false after the time-out.
inline bool Eventually(const std::function<bool()>& pred,
                       std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (pred()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return pred();
}

// Right ascension (hours) at the hour angle `haHours` now, for a mount
// whose sidereal time is `lstHours`.
inline double RaAtHourAngle(double lstHours, double haHours) {
    double ra = std::fmod(lstHours - haHours, 24.0);
    return ra < 0.0 ? ra + 24.0 : ra;
}

}  // namespace celaris::test
