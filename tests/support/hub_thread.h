// A whole Celaris hub (settings in a temporary store, engine, status loop)
// with its Alpaca server, on a thread of its own: another Celaris on the
// network, for tests and benchmarks whose own thread is the client.
#pragma once

#include <QEventLoop>
#include <QList>
#include <QPair>
#include <QTemporaryDir>
#include <QThread>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <type_traits>

#include "celaris/alpaca/server.h"
#include "celaris/calibration/calibration_store.h"
#include "celaris/hub/program.h"
#include "celaris/profile/settings.h"
#include "scripted_ui.h"

namespace celaris::test {

class HubThread {
  public:
    struct Setup {
        QString driverId = QStringLiteral("Celaris.Simulator");
        // Root values of the hub's settings, written before start-up.
        QList<QPair<QString, QString>> settings;
        // Runs on the hub's thread after start-up, before the server starts.
        std::function<void(hub::Program&)> configure;
        bool statusTimer = true;
        // Serves the scripting interface Calibration on a store of its own.
        bool calibration = false;
        alpaca::ServerOptions server = LoopbackAnyPort();
    };

    static alpaca::ServerOptions LoopbackAnyPort() {
        alpaca::ServerOptions o;
        o.port = 0;
        o.discoveryPort = -1;
        o.log = [](const QString&) {};
        return o;
    }

    explicit HubThread(Setup setup) {
        if (!dir_.isValid()) throw std::runtime_error("no temporary folder");
        thread_.reset(QThread::create([this, setup] { Main(setup); }));
        thread_->start();
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [this] { return started_; });
        if (!error_.isEmpty()) {
            lock.unlock();
            thread_->wait();
            throw std::runtime_error(error_.toStdString());
        }
    }

    ~HubThread() {
        QMetaObject::invokeMethod(loop_, &QEventLoop::quit, Qt::QueuedConnection);
        thread_->wait();
    }

    int port() const { return port_; }
    // The calibration store (Setup::calibration), else nullptr; use it on
    // the hub's thread, or while that thread is idle.
    calibration::CalibrationStore* store() const { return store_; }
    int discoveryPort() const { return discoveryPort_; }
    QString progId() const { return QStringLiteral("alpaca:127.0.0.1:%1/0").arg(port_); }

    // Runs fn(program) on the hub's thread and returns what it returns.
    template <typename Fn>
    auto Run(Fn fn) {
        using R = std::invoke_result_t<Fn, hub::Program&>;
        if constexpr (std::is_void_v<R>) {
            QMetaObject::invokeMethod(
                loop_, [&] { fn(*program_); }, Qt::BlockingQueuedConnection);
        } else {
            R result{};
            QMetaObject::invokeMethod(
                loop_, [&] { result = fn(*program_); }, Qt::BlockingQueuedConnection);
            return result;
        }
    }

  private:
    void Main(const Setup& setup) {
        const QString path = dir_.filePath(QStringLiteral("profile.json"));
        test::ScriptedUi ui;
        std::unique_ptr<hub::Program> program;
        std::unique_ptr<calibration::CalibrationStore> store;
        std::unique_ptr<alpaca::AlpacaServer> server;
        QEventLoop loop;
        try {
            {
                profile::Profile p(path);
                profile::WriteScope(p, setup.driverId);
                for (const auto& [name, value] : setup.settings)
                    p.WriteValue(QString::fromLatin1(profile::kHubDriverId), name, value);
            }
            program = std::make_unique<hub::Program>(ui, path);
            if (setup.configure) setup.configure(*program);
            if (setup.statusTimer) program->StartTimer();
            server = std::make_unique<alpaca::AlpacaServer>(program->hub(), setup.server);
            if (setup.calibration) {
                store = std::make_unique<calibration::CalibrationStore>(*program);
                server->SetCalibration(store.get());
            }
            server->Start();
        } catch (const std::exception& e) {
            error_ = QString::fromUtf8(e.what());
        }
        {
            std::lock_guard lock(mutex_);
            program_ = program.get();
            store_ = store.get();
            loop_ = &loop;
            port_ = server ? server->port() : 0;
            discoveryPort_ = server ? server->discoveryPort() : 0;
            started_ = true;
        }
        ready_.notify_all();
        if (!error_.isEmpty()) return;
        loop.exec();
        server.reset();
        program->Shutdown();
    }

    QTemporaryDir dir_;
    std::unique_ptr<QThread> thread_;
    std::mutex mutex_;
    std::condition_variable ready_;
    bool started_ = false;
    QString error_;
    hub::Program* program_ = nullptr;
    calibration::CalibrationStore* store_ = nullptr;
    QEventLoop* loop_ = nullptr;
    int port_ = 0;
    int discoveryPort_ = 0;
};

}  // namespace celaris::test
