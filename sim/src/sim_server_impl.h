// The state of celaris-sim's server, shared by its telescope and camera
// members.
#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUuid>

#include <mutex>

#include "api_request.h"
#include "celaris/dispatch/ascom_errors.h"
#include "celaris/drivers/alpaca/wire.h"
#include "celaris/version.h"
#include "discovery_responder.h"
#include "http_transport.h"
#include "json_answer.h"
#include "member_routes.h"
#include "request_router.h"
#include "wire_errors.h"

#include "sim_server.h"

namespace celaris::sim {

namespace detail {

using alpaca::ApiRequest;
using alpaca::FormFields;
using alpaca::HttpAnswer;
using alpaca::Transaction;

inline constexpr double kRadToArcsec = 206264.80624709636;

inline QVariant ToVariant(const alpaca::WireValue& v) {
    return std::visit(
        [](const auto& x) -> QVariant {
            using T = std::decay_t<decltype(x)>;
            if constexpr (std::is_same_v<T, std::monostate>)
                return QVariant();
            else
                return QVariant::fromValue(x);
        },
        v);
}

inline QJsonValue ToJson(const QVariant& v, const alpaca_wire::Member& m) {
    if (v.typeId() == QMetaType::QDateTime) return alpaca_wire::FormatUtcDate(v.toDateTime());
    if (v.typeId() == QMetaType::QStringList) return QJsonArray::fromStringList(v.toStringList());
    if (m.result == alpaca_wire::Kind::IntList || m.result == alpaca_wire::Kind::AxisRates)
        return alpaca::CollectionToJson(v, m.result, m.name);
    return QJsonValue::fromVariant(v);
}

}  // namespace detail

using namespace detail;

struct SimServer::Impl {
    SimulatedMount& mount;
    camera::SimulatedCamera& camera;
    alpaca::ServerOptions options;
    std::unique_ptr<alpaca::HttpTransport> http;
    std::unique_ptr<alpaca::DiscoveryResponder> discovery;
    std::mutex devices;
    std::atomic<uint32_t> serverTransaction{0};
    QString telescopeId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    QString cameraId = QUuid::createUuid().toString(QUuid::WithoutBraces);
    int port = 0;
    // Camera 0: an exposure was started and not aborted; its length.
    bool busy = false;
    double lastDuration = 0.0;

    Impl(SimulatedMount& m, camera::SimulatedCamera& c, alpaca::ServerOptions o)
        : mount(m), camera(c), options(std::move(o)) {}

    HttpAnswer Json(const Transaction& ids, int number, const QString& message,
                    const QJsonValue* value) {
        return HttpAnswer::Json(
            alpaca::JsonAnswer(ids, ++serverTransaction, number, message, value));
    }

    // Runs a device call under the lock; failures become Alpaca errors.
    HttpAnswer Call(const Transaction& ids, bool get, const std::function<QJsonValue()>& fn) {
        QJsonValue value;
        int number = 0;
        QString message;
        try {
            std::lock_guard lock(devices);
            value = fn();
        } catch (...) {
            const dispatch::ComError e = dispatch::CurrentError(QStringLiteral("celaris-sim"));
            number = alpaca::AlpacaErrorNumber(e);
            message = e.description();
            value = QJsonValue();
        }
        return Json(ids, number, message, get ? &value : nullptr);
    }

    HttpAnswer Telescope(const ApiRequest& request, const std::string& member, bool get) {
        if (member == "supportedactions" && get) {
            const FormFields f = FormFields::Parse(request.query);
            Transaction ids = IdsOf(f, true);
            const QJsonValue v =
                QJsonArray{QStringLiteral("truepointing"), QStringLiteral("hiddenterms")};
            return Json(ids, 0, QString(), &v);
        }
        if (member == "action" && !get) {
            const FormFields f = FormFields::Parse(request.body);
            Transaction ids = IdsOf(f, false);
            const std::string* action = f.Find("Action", false);
            if (action == nullptr) return HttpAnswer::Text(400, "Missing parameter Action.");
            const QString name = QString::fromStdString(*action).trimmed().toLower();
            if (name == QLatin1String("truepointing"))
                return Call(ids, true,
                            [&] { return QJsonValue(TruePointingJson(mount.TruePointing())); });
            if (name == QLatin1String("hiddenterms"))
                return Call(ids, true,
                            [&] { return QJsonValue(HiddenTermsJson(mount.hiddenTerms())); });
            const QJsonValue empty = QString();
            return Json(ids, alpaca_wire::kActionNotImplemented,
                        QStringLiteral("The simulator has no action \"%1\".").arg(name), &empty);
        }
        const alpaca::Routed r = alpaca::Route(request);
        switch (r.kind) {
            case alpaca::Routed::Kind::Device:
                break;
            case alpaca::Routed::Kind::InvalidValue: {
                const QJsonValue empty = alpaca::EmptyValue(r.member->result);
                return Json(r.ids, alpaca_wire::kInvalidValue, QString::fromStdString(r.text),
                            r.member->verb == alpaca_wire::Verb::Get ? &empty : nullptr);
            }
            default:
                return HttpAnswer::Text(400, r.text);
        }
        const alpaca_wire::Member& m = *r.call.member;
        QVariantList args;
        for (const auto& a : r.call.args) args.append(ToVariant(a));
        return Call(r.ids, m.verb == alpaca_wire::Verb::Get, [&]() -> QJsonValue {
            Driver& d = mount;
            if (m.method) return ToJson(d.Call(m.name, args), m);
            if (m.verb == alpaca_wire::Verb::Get) return ToJson(d.Get(m.name), m);
            d.Put(m.name, args.value(0));
            return QJsonValue();
        });
    }

    static Transaction IdsOf(const FormFields& f, bool anyCase) {
        Transaction ids;
        for (const auto& [key, id] : {std::pair{"ClientID", &ids.clientId},
                                      std::pair{"ClientTransactionID", &ids.clientTransactionId}})
            if (const std::string* v = f.Find(key, anyCase))
                *id = alpaca_wire::ParseUInt32(*v).value_or(0);
        return ids;
    }

    HttpAnswer Camera(const ApiRequest& request, const std::string& member, bool get);

    HttpAnswer Management(const std::string& path, const Transaction& ids) {
        QJsonValue v;
        if (path == "/management/apiversions") {
            v = QJsonArray{1};
        } else if (path == "/management/v1/description") {
            v = QJsonObject{
                {QStringLiteral("ServerName"), QStringLiteral("celaris-sim")},
                {QStringLiteral("Manufacturer"), QStringLiteral("Celaris")},
                {QStringLiteral("ManufacturerVersion"), QString::fromLatin1(version::kVersion)},
                {QStringLiteral("Location"), options.location}};
        } else if (path == "/management/v1/configureddevices") {
            auto device = [](const char* name, const char* type, const QString& id) {
                return QJsonObject{{QStringLiteral("DeviceName"), QLatin1String(name)},
                                   {QStringLiteral("DeviceType"), QLatin1String(type)},
                                   {QStringLiteral("DeviceNumber"), 0},
                                   {QStringLiteral("UniqueID"), id}};
            };
            v = QJsonArray{device("Celaris Mount Simulator", "Telescope", telescopeId),
                           device("Celaris camera simulator", "Camera", cameraId)};
        } else {
            return HttpAnswer::Text(400, "Unknown management request \"" + path + "\".");
        }
        return Json(ids, 0, QString(), &v);
    }

    HttpAnswer Serve(const ApiRequest& request) {
        const bool get = request.method == "GET" || request.method == "HEAD";
        if (!get && request.method != "PUT")
            return HttpAnswer::Text(400, "Alpaca uses GET and PUT.");
        const std::string& path = request.path;
        if (path.rfind("/management/", 0) == 0)
            return Management(path, IdsOf(FormFields::Parse(request.query), true));
        for (const auto& [prefix, camera] : {std::pair{std::string("/api/v1/telescope/0/"), false},
                                             std::pair{std::string("/api/v1/camera/0/"), true}}) {
            if (path.rfind(prefix, 0) != 0) continue;
            const std::string member = path.substr(prefix.size());
            return camera ? Camera(request, member, get) : Telescope(request, member, get);
        }
        if (path == "/" || path == "/setup")
            return HttpAnswer::Html(
                "<!DOCTYPE html><html><body><h1>celaris-sim</h1><p>Alpaca Telescope 0: the "
                "Celaris mount simulator. Alpaca Camera 0: the camera on its tube.</p></body>"
                "</html>\n");
        return HttpAnswer::Text(400, "Unknown device or path \"" + path +
                                         "\"; this server has telescope 0 and camera 0.");
    }
};

}  // namespace celaris::sim
