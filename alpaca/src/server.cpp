#include "celaris/alpaca/server.h"

#include <dirent.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <QMetaObject>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "api_request.h"
#include "celaris/dispatch/com_error.h"
#include "celaris/dispatch/errors.h"
#include "celaris/drivers/alpaca/wire.h"
#include "client_objects.h"
#include "discovery_responder.h"
#include "json_answer.h"
#include "management.h"
#include "request_router.h"
#include "telescope_members.h"
#include "wire_errors.h"

namespace celaris::alpaca {

namespace {

// Size limits. The library itself refuses a request line over 8 KiB and a
// single header line over 8 KiB.
constexpr size_t kMaxTarget = 2048;
constexpr size_t kMaxHeaders = 64;
constexpr size_t kMaxHeaderBytes = 16 * 1024;
constexpr size_t kMaxBody = 16 * 1024;
// Each kept-alive connection holds a worker while it is open.
constexpr size_t kWorkerThreads = 16;

ApiRequest FromHttp(const httplib::Request& req) {
    ApiRequest r;
    r.method = req.method;
    r.path = req.path;
    const size_t q = req.target.find('?');
    if (q != std::string::npos) r.query = req.target.substr(q + 1);
    r.body = req.body;
    return r;
}

void ToHttp(const HttpAnswer& a, httplib::Response& res) {
    res.status = a.status;
    if (!a.location.empty()) res.set_header("Location", a.location);
    res.set_content(a.body, a.contentType);
}

// Ends this server's open connections. A worker waiting on an idle
// kept-alive connection otherwise notices a stop only after the keep-alive
// time; the library does not hand out its sockets, so they are found among
// the process's descriptors by their local port (one server per port in a
// process).
void ShutDownConnections(int port) {
    DIR* dir = ::opendir("/proc/self/fd");
    if (dir == nullptr) return;
    while (const dirent* entry = ::readdir(dir)) {
        char* end = nullptr;
        const long fd = std::strtol(entry->d_name, &end, 10);
        if (end == entry->d_name || *end != '\0' || fd == ::dirfd(dir)) continue;
        int value = 0;
        socklen_t length = sizeof value;
        if (::getsockopt(int(fd), SOL_SOCKET, SO_TYPE, &value, &length) != 0 ||
            value != SOCK_STREAM)
            continue;
        length = sizeof value;
        if (::getsockopt(int(fd), SOL_SOCKET, SO_ACCEPTCONN, &value, &length) != 0 || value != 0)
            continue;
        sockaddr_storage local{};
        socklen_t localLength = sizeof local;
        if (::getsockname(int(fd), reinterpret_cast<sockaddr*>(&local), &localLength) != 0)
            continue;
        int localPort = -1;
        if (local.ss_family == AF_INET)
            localPort = ntohs(reinterpret_cast<const sockaddr_in*>(&local)->sin_port);
        else if (local.ss_family == AF_INET6)
            localPort = ntohs(reinterpret_cast<const sockaddr_in6*>(&local)->sin6_port);
        if (localPort == port) ::shutdown(int(fd), SHUT_RDWR);
    }
    ::closedir(dir);
}

}  // namespace

struct AlpacaServer::Impl {
    AlpacaServer* self;
    hub::Hub& hub;
    ServerOptions options;
    ServerIdentity identity;

    std::unique_ptr<httplib::Server> http;
    std::thread listener;
    std::unique_ptr<DiscoveryResponder> discovery;
    int port = 0;

    // Hub thread only.
    std::unique_ptr<ClientObjects> clients;
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

    // Hub thread: the device member, on the client's own Telescope object.
    HttpAnswer Execute(const DeviceCall& call) {
        hub::Telescope& telescope = clients->For(call.ids.clientId);
        int number = 0;
        QString message;
        QJsonValue value;
        try {
            value = InvokeMember(telescope, call);
        } catch (...) {
            const dispatch::ComError e =
                dispatch::CurrentError(QString::fromLatin1(dispatch::kHubSource));
            number = AlpacaErrorNumber(e);
            message = e.description();
        }
        // A long call (a synchronous slew) is activity until its end.
        clients->Touch(call.ids.clientId);
        const bool get = call.member->verb == alpaca_wire::Verb::Get;
        if (get && number != 0) value = EmptyValue(call.member->result);
        return HttpAnswer::Json(
            JsonAnswer(call.ids, NextTransaction(), number, message, get ? &value : nullptr));
    }

    HttpAnswer Answer(const Transaction& ids, const QJsonValue& value) {
        return HttpAnswer::Json(JsonAnswer(ids, NextTransaction(), 0, QString(), &value));
    }

    // Worker thread: every request starts here.
    HttpAnswer Serve(const ApiRequest& request) {
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
            case Routed::Kind::SetupPage:
                return OnHubThread(
                    [this] { return HttpAnswer::Html(SetupPage(hub, identity, clients->size())); });
            case Routed::Kind::Device:
                return OnHubThread([this, call = std::move(r.call)] { return Execute(call); });
        }
        return HttpAnswer::Text(500, "Unrouted request.");
    }

    void Configure() {
        http = std::make_unique<httplib::Server>();
        http->new_task_queue = [] { return new httplib::ThreadPool(kWorkerThreads); };
        http->set_tcp_nodelay(true);
        http->set_keep_alive_max_count(100000);
        http->set_keep_alive_timeout(5);
        http->set_read_timeout(5, 0);
        http->set_write_timeout(5, 0);
        http->set_payload_max_length(kMaxBody);
        http->set_pre_routing_handler([](const httplib::Request& req, httplib::Response& res) {
            size_t bytes = 0;
            for (const auto& [k, v] : req.headers) bytes += k.size() + v.size() + 4;
            if (req.target.size() > kMaxTarget) {
                ToHttp(HttpAnswer::Text(414, "The request line is too long."), res);
                return httplib::Server::HandlerResponse::Handled;
            }
            if (req.headers.size() > kMaxHeaders || bytes > kMaxHeaderBytes) {
                ToHttp(HttpAnswer::Text(431, "The request headers are too large."), res);
                return httplib::Server::HandlerResponse::Handled;
            }
            return httplib::Server::HandlerResponse::Unhandled;
        });
        const auto handler = [this](const httplib::Request& req, httplib::Response& res) {
            ToHttp(Serve(FromHttp(req)), res);
        };
        http->Get(".*", handler);
        http->Put(".*", handler);
        http->Post(".*", handler);
        http->Delete(".*", handler);
        http->Patch(".*", handler);
        http->Options(".*", handler);
        http->set_exception_handler(
            [](const httplib::Request&, httplib::Response& res, std::exception_ptr) {
                ToHttp(HttpAnswer::Text(500, "Internal failure."), res);
            });
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
    d.Configure();
    const std::string host = d.options.address.toStdString();
    const int port = d.options.port == 0
                         ? d.http->bind_to_any_port(host)
                         : (d.http->bind_to_port(host, d.options.port) ? d.options.port : -1);
    if (port <= 0) {
        d.http.reset();
        dispatch::Raise(static_cast<int32_t>(0x80040500), QString::fromLatin1(kServerSource),
                        QStringLiteral("Cannot listen on %1:%2: the address is in use or not "
                                       "on this machine. Choose another with --listen ADDR:PORT.")
                            .arg(d.options.address)
                            .arg(d.options.port));
    }
    d.port = port;
    d.clients = std::make_unique<ClientObjects>(d.hub, d.options.clientIdleTime, d.options.log);
    d.stopped = false;
    {
        std::lock_guard lock(d.relayMutex);
        d.stopping = false;
    }
    auto listening = std::make_shared<std::atomic<bool>>(true);
    d.listener = std::thread([http = d.http.get(), listening] {
        http->listen_after_bind();
        *listening = false;
    });
    // Until the listener runs, stopping it would not reach it.
    while (!d.http->is_running() && *listening)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));

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
    if (d.http) d.http->stop();
    ShutDownConnections(d.port);
    if (d.listener.joinable()) d.listener.join();
    d.http.reset();
    d.idleTimer.stop();
    d.stopped = true;
    // Each client's object gives back its connection.
    d.clients.reset();
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
