#include "celaris/alpaca/server.h"

#include <QJsonDocument>
#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <mutex>

#include "api_request.h"
#include "autocal_routes.h"
#include "calibration_routes.h"
#include "celaris/alpaca/console.h"
#include "celaris/calibration/calibration_scripting.h"
#include "celaris/dispatch/com_error.h"
#include "celaris/dispatch/errors.h"
#include "celaris/drivers/alpaca/wire.h"
#include "client_objects.h"
#include "console_routes.h"
#include "discovery_responder.h"
#include "http_transport.h"
#include "json_answer.h"
#include "management.h"
#include "motion_wait.h"
#include "request_router.h"
#include "telescope_members.h"
#include "wire_errors.h"

namespace celaris::alpaca {

namespace {

TransportOptions TransportFrom(const ServerOptions& o) {
    TransportOptions t;
    t.maxConnections = size_t(std::max(1, o.maxConnections));
    t.maxConnectionsPerPeer = size_t(std::max(1, o.maxConnectionsPerPeer));
    t.keepAliveTime = o.keepAliveTime;
    t.requestTime = o.requestTime;
    return t;
}

}  // namespace

struct AlpacaServer::Impl {
    AlpacaServer* self;
    hub::Hub& hub;
    ServerOptions options;
    ServerIdentity identity;

    std::unique_ptr<HttpTransport> http;
    std::unique_ptr<DiscoveryResponder> discovery;
    int port = 0;

    // Hub thread only.
    std::unique_ptr<ClientObjects> clients;
    std::unique_ptr<calibration::Calibration> calibration;
    // Read on workers to choose the console over the plain page; set
    // before Start().
    std::atomic<ConsoleHandler*> console{nullptr};
    calibration::AutoCalibration* autoCalibration = nullptr;
    QTimer idleTimer;
    bool stopped = true;

    std::atomic<uint32_t> serverTransaction{0};

    // Requests handed to the hub's thread wait here for their answers.
    struct Pending {
        HttpAnswer answer;
        bool done = false;
    };
    std::mutex relayMutex;
    std::condition_variable relayDone;
    bool stopping = false;

    Impl(AlpacaServer* s, hub::Hub& h, ServerOptions o) : self(s), hub(h), options(std::move(o)) {
        identity.uniqueId = options.uniqueId;
        identity.location = options.location;
        if (!options.log)
            options.log = [](const QString& line) {
                std::fprintf(stderr, "celaris: %s\n", qPrintable(line));
            };
    }

    uint32_t NextTransaction() { return serverTransaction.fetch_add(1) + 1; }

    // Runs fn on the hub's thread and waits for its answer.
    HttpAnswer OnHubThread(std::function<HttpAnswer()> fn) {
        auto pending = std::make_shared<Pending>();
        {
            std::lock_guard lock(relayMutex);
            if (stopping) return HttpAnswer::Text(503, "The Celaris hub is stopping.");
        }
        QMetaObject::invokeMethod(
            self,
            [this, pending, fn = std::move(fn)] {
                HttpAnswer answer;
                if (stopped) {
                    answer = HttpAnswer::Text(503, "The Celaris hub is stopping.");
                } else {
                    try {
                        answer = fn();
                    } catch (const std::exception& e) {
                        answer =
                            HttpAnswer::Text(500, std::string("Internal failure: ") + e.what());
                    } catch (...) {
                        answer = HttpAnswer::Text(500, "Internal failure.");
                    }
                }
                {
                    std::lock_guard lock(relayMutex);
                    pending->answer = std::move(answer);
                    pending->done = true;
                }
                relayDone.notify_all();
            },
            Qt::QueuedConnection);
        std::unique_lock lock(relayMutex);
        relayDone.wait(lock, [&] { return pending->done || stopping; });
        if (!pending->done) return HttpAnswer::Text(503, "The Celaris hub is stopping.");
        return std::move(pending->answer);
    }

    // Hub thread: a step of the device member, on the client's own
    // Telescope object.
    MemberOutcome Invoke(const DeviceCall& call, const MemberStep& step) {
        hub::Telescope& telescope = clients->For(call.ids.clientId);
        MemberOutcome o;
        try {
            o.value = step(telescope);
        } catch (...) {
            const dispatch::ComError e =
                dispatch::CurrentError(QString::fromLatin1(dispatch::kHubSource));
            o.number = AlpacaErrorNumber(e);
            o.message = e.description();
        }
        // A long call (a synchronous slew) is activity until its end.
        clients->Touch(call.ids.clientId);
        return o;
    }

    HttpAnswer Reply(const DeviceCall& call, MemberOutcome o) {
        const bool get = call.member->verb == alpaca_wire::Verb::Get;
        if (get && o.number != 0) o.value = EmptyValue(call.member->result);
        return HttpAnswer::Json(
            JsonAnswer(call.ids, NextTransaction(), o.number, o.message, get ? &o.value : nullptr));
    }

    // Hub thread: the device member.
    HttpAnswer Execute(const DeviceCall& call) {
        return Reply(call, Invoke(call, [&](hub::Telescope& t) { return InvokeMember(t, call); }));
    }

    // Worker thread: a synchronous motion waits here, not on the hub's thread.
    HttpAnswer ServeMotion(const DeviceCall& call) {
        const auto result = WaitForMotion(call, [&](const MemberStep& step) {
            std::variant<MemberOutcome, HttpAnswer> r;
            HttpAnswer stand = OnHubThread([&] {
                r = Invoke(call, step);
                return HttpAnswer();
            });
            if (stand.status != 200) r = std::move(stand);
            return r;
        });
        if (const auto* a = std::get_if<HttpAnswer>(&result)) return *a;
        return Reply(call, std::get<MemberOutcome>(result));
    }

    HttpAnswer Answer(const Transaction& ids, const QJsonValue& value) {
        return HttpAnswer::Json(JsonAnswer(ids, NextTransaction(), 0, QString(), &value));
    }

    // Worker thread: the scripting interface, answered on the hub's thread.
    HttpAnswer ServeCalibration(const ApiRequest& request) {
        CalibrationRouted r = RouteCalibration(request);
        if (r.kind == CalibrationRouted::Kind::BadRequest) return HttpAnswer::Text(400, r.text);
        return OnHubThread([this, r = std::move(r)] {
            if (!calibration)
                return HttpAnswer::Text(404, "This Celaris server has no calibration.");
            if (r.kind == CalibrationRouted::Kind::Help)
                return Answer(r.call.ids, CalibrationHelp());
            return HttpAnswer::Json(CalibrationAnswer(*calibration, r.call, NextTransaction()));
        });
    }

    // Worker thread: the console's pages here, its reads and changes on the
    // hub's thread.
    HttpAnswer ServeConsole(const ApiRequest& request) {
        ConsoleRouted r = RouteConsole(request, options);
        HttpAnswer answer;
        if (r.kind == ConsoleRouted::Kind::Answer) {
            answer = std::move(r.answer);
        } else {
            answer = OnHubThread([this, r = std::move(r)] {
                ConsoleHandler* handler = console.load();
                if (handler == nullptr) return HttpAnswer::Text(404, "No console here.");
                const auto json = r.kind == ConsoleRouted::Kind::Get
                                      ? handler->Get(r.name)
                                      : handler->Post(r.name, r.fields);
                if (!json)
                    return HttpAnswer::Text(404,
                                            "No console request \"" + r.name.toStdString() + "\".");
                return HttpAnswer::Json(
                    QJsonDocument(*json).toJson(QJsonDocument::Compact).toStdString());
            });
        }
        AddConsoleHeaders(answer);
        return answer;
    }

    // Worker thread: the automatic run, answered on the hub's thread.
    HttpAnswer ServeAutoCalibration(const ApiRequest& request) {
        AutoCalRouted r = RouteAutoCalibration(request);
        if (r.kind == AutoCalRouted::Kind::BadRequest) return HttpAnswer::Text(400, r.text);
        return OnHubThread([this, r = std::move(r)] {
            if (!autoCalibration)
                return HttpAnswer::Text(404, "This Celaris server has no automatic calibration.");
            if (r.kind == AutoCalRouted::Kind::Help) return Answer(r.ids, AutoCalibrationHelp());
            return HttpAnswer::Json(AutoCalibrationAnswer(*autoCalibration, r, NextTransaction()));
        });
    }

    // Worker thread: every request starts here.
    HttpAnswer Serve(const ApiRequest& request) {
        if (IsAutoCalibrationPath(request.path)) return ServeAutoCalibration(request);
        if (IsCalibrationPath(request.path)) return ServeCalibration(request);
        if (console.load() != nullptr && IsConsolePath(request.path)) return ServeConsole(request);
        Routed r = Route(request);
        switch (r.kind) {
            case Routed::Kind::BadRequest:
                return HttpAnswer::Text(400, r.text);
            case Routed::Kind::NotFound:
                return HttpAnswer::Text(404, r.text);
            case Routed::Kind::Redirect:
                return HttpAnswer::Redirect(r.text);
            case Routed::Kind::InvalidValue: {
                const bool get = r.member->verb == alpaca_wire::Verb::Get;
                const QJsonValue empty = EmptyValue(r.member->result);
                return HttpAnswer::Json(
                    JsonAnswer(r.ids, NextTransaction(), alpaca_wire::kInvalidValue,
                               QString::fromStdString(r.text), get ? &empty : nullptr));
            }
            case Routed::Kind::ApiVersions:
                return Answer(r.ids, ApiVersions());
            case Routed::Kind::Description:
                return Answer(r.ids, ServerDescription(identity));
            case Routed::Kind::ConfiguredDevices:
                return Answer(r.ids, ConfiguredDevices(identity));
            case Routed::Kind::SetupPage: {
                HttpAnswer page = OnHubThread(
                    [this] { return HttpAnswer::Html(SetupPage(hub, identity, clients->size())); });
                AddConsoleHeaders(page);
                return page;
            }
            case Routed::Kind::Device:
                if (IsMotion(r.call.member)) return ServeMotion(r.call);
                return OnHubThread([this, call = std::move(r.call)] { return Execute(call); });
        }
        return HttpAnswer::Text(500, "Unrouted request.");
    }
};

AlpacaServer::AlpacaServer(hub::Hub& hub, ServerOptions options, QObject* parent)
    : QObject(parent), d_(std::make_unique<Impl>(this, hub, std::move(options))) {
    QObject::connect(&d_->idleTimer, &QTimer::timeout, this, [this] {
        if (d_->clients) d_->clients->ReleaseIdle();
    });
}

AlpacaServer::~AlpacaServer() {
    Stop();
}

void AlpacaServer::Start() {
    if (running()) return;
    Impl& d = *d_;
    d.http = std::make_unique<HttpTransport>(
        TransportFrom(d.options), [&d](const ApiRequest& request) { return d.Serve(request); });
    std::string reason;
    if (!d.http->Listen(d.options.address.toStdString(), d.options.port, reason)) {
        d.http.reset();
        dispatch::Raise(static_cast<int32_t>(0x80040500), QString::fromLatin1(kServerSource),
                        QStringLiteral("Cannot listen on %1:%2: the address is in use or not "
                                       "on this machine (%3). Choose another with --listen "
                                       "ADDR:PORT.")
                            .arg(d.options.address)
                            .arg(d.options.port)
                            .arg(QString::fromStdString(reason)));
    }
    const int port = d.http->port();
    d.port = port;
    d.clients = std::make_unique<ClientObjects>(d.hub, d.options.clientIdleTime, d.options.log);
    d.stopped = false;
    {
        std::lock_guard lock(d.relayMutex);
        d.stopping = false;
    }
    d.http->Start();

    const auto idleMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(d.options.clientIdleTime).count();
    d.idleTimer.start(int(std::clamp<qint64>(idleMs / 4, 10, 60000)));

    if (d.options.discoveryPort >= 0 &&
        (!IsLoopback(d.options.address) || d.options.discoveryOnLoopback)) {
        d.discovery = std::make_unique<DiscoveryResponder>(d.options.discoveryPort, port);
        if (d.discovery->port() == 0) {
            d.options.log(QStringLiteral("Alpaca discovery is off: %1.").arg(d.discovery->error()));
            d.discovery.reset();
        }
    }
}

void AlpacaServer::Stop() {
    Impl& d = *d_;
    if (d.stopped) return;
    {
        std::lock_guard lock(d.relayMutex);
        d.stopping = true;
    }
    d.relayDone.notify_all();
    d.discovery.reset();
    // Handlers waiting for the hub have been told to give up; the
    // transport closes every connection and waits for its workers.
    if (d.http) d.http->Stop();
    d.http.reset();
    d.idleTimer.stop();
    d.stopped = true;
    // Each client's object gives back its connection.
    d.clients.reset();
}

void AlpacaServer::SetCalibration(calibration::CalibrationStore* store) {
    if (store == nullptr) {
        d_->calibration.reset();
        return;
    }
    d_->calibration = std::make_unique<calibration::Calibration>(
        *store, IsLoopback(d_->options.address) ? calibration::FileAccess::Any
                                                : calibration::FileAccess::Documents);
}

void AlpacaServer::SetConsole(ConsoleHandler* handler) {
    d_->console.store(handler);
}

void AlpacaServer::SetAutoCalibration(calibration::AutoCalibration* run) {
    d_->autoCalibration = run;
}

calibration::Calibration* AlpacaServer::calibration() {
    return d_->calibration.get();
}

bool AlpacaServer::running() const {
    return !d_->stopped;
}

int AlpacaServer::port() const {
    return d_->port;
}

QString AlpacaServer::url() const {
    // Listening on every interface, this machine reaches it on loopback.
    QString host = d_->options.address;
    if (host == QLatin1String("0.0.0.0") || host == QLatin1String("::"))
        host = QStringLiteral("127.0.0.1");
    if (host.contains(QLatin1Char(':'))) host = QLatin1Char('[') + host + QLatin1Char(']');
    return QStringLiteral("http://%1:%2/").arg(host).arg(d_->port);
}

int AlpacaServer::discoveryPort() const {
    return d_->discovery ? d_->discovery->port() : 0;
}

int AlpacaServer::clientCount() const {
    return d_->clients ? d_->clients->size() : 0;
}

const ServerOptions& AlpacaServer::options() const {
    return d_->options;
}

}  // namespace celaris::alpaca
