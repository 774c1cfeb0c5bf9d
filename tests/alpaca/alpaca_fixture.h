// The hub on this (the main) thread, served over Alpaca on a free loopback
// port, and an HTTP client whose requests run on a helper thread while this
// thread's event loop answers them, as in the program.
#pragma once

#include <gtest/gtest.h>
#include <httplib.h>

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "celaris/alpaca/server.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "celaris/hub/program.h"
#include "celaris/profile/settings.h"
#include "scripted_ui.h"

namespace celaris::test {

// A simulated mount that slews fast enough for tests.
inline constexpr char kFastSimulator[] = "Test.FastSimulator";

inline void RegisterFastSimulator() {
    static const bool once = [] {
        DriverFactory::Instance().Register(QString::fromLatin1(kFastSimulator),
                                           [](const QString&) -> std::unique_ptr<Driver> {
                                               SimulatorOptions o;
                                               o.slewRateDegPerSec = 360.0;
                                               return std::make_unique<SimulatedMount>(o);
                                           });
        return true;
    }();
    (void)once;
}

// Runs fn on a helper thread while this thread's event loop runs.
template <typename Fn>
auto OffThread(Fn fn) {
    std::optional<decltype(fn())> result;
    QEventLoop loop;
    std::thread worker([&] {
        result = fn();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    return std::move(*result);
}

// Lets the event loop run until pred() holds or the time is up.
template <typename Pred>
bool WaitUntil(Pred pred, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!pred()) {
        if (clock.elapsed() > timeoutMs) return false;
        QEventLoop loop;
        QTimer::singleShot(10, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

struct Reply {
    int status = 0;  // 0: no answer at all
    std::string body;
    std::string contentType;
    QJsonObject json;

    int error() const { return json.value(QStringLiteral("ErrorNumber")).toInt(-1); }
    QString message() const { return json.value(QStringLiteral("ErrorMessage")).toString(); }
    QJsonValue value() const { return json.value(QStringLiteral("Value")); }
    qint64 serverTransaction() const {
        return json.value(QStringLiteral("ServerTransactionID")).toInteger();
    }
    qint64 clientTransaction() const {
        return json.value(QStringLiteral("ClientTransactionID")).toInteger(-1);
    }
};

class HttpClient {
  public:
    explicit HttpClient(int port) : http_("127.0.0.1", port) {
        http_.set_keep_alive(true);
        http_.set_tcp_nodelay(true);
        http_.set_read_timeout(std::chrono::seconds(20));
    }
    Reply Get(const std::string& target) {
        return OffThread([&] { return Make(http_.Get(target)); });
    }
    Reply Put(const std::string& path, const std::string& form) {
        return OffThread(
            [&] { return Make(http_.Put(path, form, "application/x-www-form-urlencoded")); });
    }
    httplib::Client& raw() { return http_; }

    static Reply Make(const httplib::Result& res) {
        Reply r;
        if (!res) return r;
        r.status = res->status;
        r.body = res->body;
        r.contentType = res->get_header_value("Content-Type");
        r.json = QJsonDocument::fromJson(QByteArray::fromStdString(res->body)).object();
        return r;
    }

  private:
    httplib::Client http_;
};

inline const std::string kApi = "/api/v1/telescope/0/";

class AlpacaServerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegisterFastSimulator();
        ASSERT_TRUE(dir.isValid());
        path = dir.filePath(QStringLiteral("profile.json"));
        {
            profile::Profile p(path);
            profile::WriteScope(p, QString::fromLatin1(kFastSimulator));
        }
        program = std::make_unique<hub::Program>(ui, path);
    }
    void TearDown() override {
        client.reset();
        server.reset();
        program.reset();
    }

    // Starts the server; options beyond these defaults come from the test.
    void Serve(alpaca::ServerOptions options = {}) {
        options.address = QStringLiteral("127.0.0.1");
        options.port = 0;
        if (options.discoveryPort == 32227) options.discoveryPort = -1;
        options.log = [this](const QString& line) { log.append(line); };
        server = std::make_unique<alpaca::AlpacaServer>(program->hub(), options);
        server->Start();
        client = std::make_unique<HttpClient>(server->port());
    }

    Reply Get(const std::string& memberAndQuery) { return client->Get(kApi + memberAndQuery); }
    Reply Put(const std::string& member, const std::string& form) {
        return client->Put(kApi + member, form);
    }
    hub::HubState& state() { return program->hub().state(); }

    QTemporaryDir dir;
    QString path;
    test::ScriptedUi ui;
    std::unique_ptr<hub::Program> program;
    std::unique_ptr<alpaca::AlpacaServer> server;
    std::unique_ptr<HttpClient> client;
    QStringList log;
};

}  // namespace celaris::test
