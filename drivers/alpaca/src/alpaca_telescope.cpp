#include "celaris/drivers/alpaca/alpaca_telescope.h"

#include <httplib.h>

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include "celaris/dispatch/ascom_errors.h"
#include "celaris/dispatch/telescope_types.h"
#include "celaris/drivers/alpaca/wire.h"
#include "celaris/drivers/alpaca/wire_members.h"

namespace celaris {

using alpaca_wire::Kind;
using alpaca_wire::Member;
using alpaca_wire::Verb;

namespace {

const QString kFactorySource = QStringLiteral("Celaris Alpaca driver");

// What went wrong on the connection, in words.
QString Reason(httplib::Error e) {
    switch (e) {
        case httplib::Error::Connection:
            return QStringLiteral("cannot connect");
        case httplib::Error::BindIPAddress:
            return QStringLiteral("cannot bind the local address");
        case httplib::Error::Read:
            return QStringLiteral("no answer in time, or the connection was lost");
        case httplib::Error::Write:
            return QStringLiteral("the request could not be sent");
        default:
            return QString::fromStdString(httplib::to_string(e));
    }
}

std::string HostForSocket(const QString& host) {
    // "[::1]" names the address ::1.
    if (host.startsWith(QLatin1Char('[')) && host.endsWith(QLatin1Char(']')))
        return host.mid(1, host.size() - 2).toStdString();
    return host.toStdString();
}

}  // namespace

struct AlpacaTelescope::Impl {
    drivers_list::AlpacaAddress address;
    AlpacaTimeouts timeouts;
    QString source;
    uint32_t clientId = 0;
    uint32_t transaction = 0;
    std::string base;
    std::unique_ptr<httplib::Client> http;

    [[noreturn]] void Fail(int32_t number, const QString& what) const {
        Raise(number, source, what);
    }

    std::string Format(const alpaca_wire::Param& p, const QVariant& v) const {
        switch (p.kind) {
            case Kind::Bool:
                return ToBool(v, p.key) ? "true" : "false";
            case Kind::Int:
                return std::to_string(ToInt(v, p.key));
            case Kind::Double:
                return alpaca_wire::FormatDouble(ToDouble(v, p.key));
            case Kind::Date:
                return alpaca_wire::FormatUtcDate(ToDateTime(v, p.key)).toStdString();
            default:
                return v.toString().toStdString();
        }
    }

    QVariant Read(const Member& m, const QJsonValue& v) const {
        auto wrong = [&]() -> QVariant {
            Fail(kAlpacaCommunicationError,
                 QStringLiteral("%1 answered %2 with a value of the wrong type.")
                     .arg(source, m.name));
        };
        switch (m.result) {
            case Kind::None:
                return {};
            case Kind::Bool:
                return v.isBool() ? QVariant(v.toBool()) : wrong();
            case Kind::Int: {
                const double d = v.toDouble();
                if (!v.isDouble() || d != std::floor(d) || std::abs(d) > 2147483647.0)
                    return wrong();
                return QVariant(static_cast<int>(d));
            }
            case Kind::Double:
                return v.isDouble() ? QVariant(v.toDouble()) : wrong();
            case Kind::Text:
                return v.isString() ? QVariant(v.toString()) : wrong();
            case Kind::Date: {
                const auto d = alpaca_wire::ParseUtcDate(v.toString().toStdString());
                return v.isString() && d ? QVariant(*d) : wrong();
            }
            case Kind::IntList: {
                if (!v.isArray()) return wrong();
                TrackingRates rates;
                for (const QJsonValue& e : v.toArray()) {
                    if (!e.isDouble()) return wrong();
                    rates.append(e.toInt());
                }
                return QVariant::fromValue(rates);
            }
            case Kind::AxisRates: {
                if (!v.isArray()) return wrong();
                AxisRates rates;
                for (const QJsonValue& e : v.toArray()) {
                    const QJsonObject o = e.toObject();
                    if (!o.value(QStringLiteral("Maximum")).isDouble() ||
                        !o.value(QStringLiteral("Minimum")).isDouble())
                        return wrong();
                    rates.append({o.value(QStringLiteral("Minimum")).toDouble(),
                                  o.value(QStringLiteral("Maximum")).toDouble()});
                }
                return QVariant::fromValue(rates);
            }
            case Kind::TextList: {
                if (!v.isArray()) return wrong();
                QStringList list;
                for (const QJsonValue& e : v.toArray()) list.append(e.toString());
                return list;
            }
            case Kind::StateList: {
                if (!v.isArray()) return wrong();
                StateValues state;
                for (const QJsonValue& e : v.toArray()) {
                    const QJsonObject o = e.toObject();
                    if (!o.value(QStringLiteral("Name")).isString()) return wrong();
                    state.append({o.value(QStringLiteral("Name")).toString(),
                                  o.value(QStringLiteral("Value")).toVariant()});
                }
                return QVariant::fromValue(state);
            }
        }
        return {};
    }

    QVariant Request(const Member& m, const QVariantList& args) {
        // The parameters in the member's order, then the ids.
        std::string fields;
        auto field = [&](const QString& key, const std::string& value) {
            if (!fields.empty()) fields += '&';
            fields += key.toStdString() + '=' + alpaca_wire::EncodeFormField(value);
        };
        for (qsizetype i = 0; i < m.params.size(); ++i) {
            const alpaca_wire::Param& p = m.params[i];
            // An optional flag that is left out is false.
            const QVariant v = i < args.size() ? args[i] : QVariant(false);
            field(p.key, Format(p, v));
        }
        field(QStringLiteral("ClientID"), std::to_string(clientId));
        field(QStringLiteral("ClientTransactionID"), std::to_string(++transaction));

        const auto wait = m.longWait ? timeouts.longWait : timeouts.call;
        http->set_read_timeout(wait);
        http->set_write_timeout(timeouts.call);

        const std::string path = base + m.path.toStdString();
        httplib::Result res{nullptr, httplib::Error::Unknown};
        for (int attempt = 0; attempt < 2; ++attempt) {
            QElapsedTimer took;
            took.start();
            res = m.verb == Verb::Get
                      ? http->Get(path + '?' + fields)
                      : http->Put(path, fields, "application/x-www-form-urlencoded");
            // A kept-alive connection the device has just closed fails at
            // once; asking again is safe for a question, never for an action.
            const bool stale =
                !res && took.elapsed() < 1000 &&
                (res.error() == httplib::Error::Read || res.error() == httplib::Error::Write);
            if (!(stale && m.verb == Verb::Get)) break;
        }
        if (!res)
            Fail(kAlpacaCommunicationError, QStringLiteral("%1 did not answer %2: %3.")
                                                .arg(source, m.name, Reason(res.error())));
        if (res->status == 400)
            Fail(ascom_error::kInvalidValue,
                 QStringLiteral("%1 refused %2: %3")
                     .arg(source, m.name, QString::fromStdString(res->body).left(300).trimmed()));
        if (res->status != 200)
            Fail(kAlpacaCommunicationError,
                 QStringLiteral("%1 failed %2 with HTTP status %3: %4")
                     .arg(source, m.name)
                     .arg(res->status)
                     .arg(QString::fromStdString(res->body).left(300).trimmed()));

        QJsonParseError parseError{};
        const QJsonDocument doc =
            QJsonDocument::fromJson(QByteArray::fromStdString(res->body), &parseError);
        if (!doc.isObject())
            Fail(kAlpacaCommunicationError,
                 QStringLiteral("%1 answered %2 with something other than an Alpaca answer.")
                     .arg(source, m.name));
        const QJsonObject o = doc.object();
        const int number = o.value(QStringLiteral("ErrorNumber")).toInt();
        if (number != 0) {
            QString message = o.value(QStringLiteral("ErrorMessage")).toString();
            if (message.isEmpty())
                message = QStringLiteral("Alpaca error 0x%1 in %2.").arg(number, 0, 16).arg(m.name);
            Fail(alpaca_wire::ComNumber(number), message);
        }
        return Read(m, o.value(QStringLiteral("Value")));
    }

    const Member& Find(Verb verb, const QString& member, bool method) const {
        const Member* m = alpaca_wire::FindMember(verb, member.toLower());
        if (m == nullptr || m->method != method ||
            (!method && verb == Verb::Get && !m->params.isEmpty()))
            Raise(ascom_error::kUnknownName, source,
                  QStringLiteral("Unknown member \"%1\".").arg(member));
        return *m;
    }
};

AlpacaTelescope::AlpacaTelescope(drivers_list::AlpacaAddress address, AlpacaTimeouts timeouts)
    : d_(std::make_unique<Impl>()) {
    d_->address = address;
    d_->timeouts = timeouts;
    d_->source = QStringLiteral("Alpaca telescope %1:%2/%3")
                     .arg(address.host)
                     .arg(address.port)
                     .arg(address.deviceNumber);
    d_->clientId = QRandomGenerator::global()->bounded(1u, 0x7FFFFFFFu);
    d_->base = "/api/v1/telescope/" + std::to_string(address.deviceNumber) + '/';
    d_->http = std::make_unique<httplib::Client>(HostForSocket(address.host), address.port);
    d_->http->set_keep_alive(true);
    d_->http->set_tcp_nodelay(true);
    d_->http->set_connection_timeout(timeouts.connect);
    d_->http->set_read_timeout(timeouts.call);
    d_->http->set_write_timeout(timeouts.call);
}

AlpacaTelescope::~AlpacaTelescope() = default;

const QString& AlpacaTelescope::source() const {
    return d_->source;
}

uint32_t AlpacaTelescope::clientId() const {
    return d_->clientId;
}

QVariant AlpacaTelescope::Get(const QString& member) {
    return d_->Request(d_->Find(Verb::Get, member, false), {});
}

void AlpacaTelescope::Put(const QString& member, const QVariant& value) {
    d_->Request(d_->Find(Verb::Put, member, false), {value});
}

QVariant AlpacaTelescope::Call(const QString& member, const QVariantList& args) {
    // The device's own setup page is opened in a browser, not from here.
    if (member.compare(QStringLiteral("SetupDialog"), Qt::CaseInsensitive) == 0) return {};
    const QString path = member.toLower();
    const Member* m = alpaca_wire::FindMember(Verb::Get, path);
    if (m == nullptr || !m->method) m = &d_->Find(Verb::Put, member, true);
    qsizetype required = 0;
    for (const auto& p : m->params)
        if (!p.optional) ++required;
    if (args.size() < required || args.size() > m->params.size())
        Raise(ascom_error::kBadParamCount, d_->source,
              QStringLiteral("%1 takes %2 arguments, not %3.")
                  .arg(m->name)
                  .arg(m->params.size())
                  .arg(args.size()));
    return d_->Request(*m, args);
}

void RegisterAlpacaDriver() {
    static const bool once = [] {
        DriverFactory::Instance().Register(
            QString::fromLatin1(drivers_list::kAlpacaPrefix),
            [](const QString& id) -> std::unique_ptr<Driver> {
                const auto address = drivers_list::ParseAlpacaProgId(id);
                if (!address)
                    Raise(ascom_error::kInvalidValue, kFactorySource,
                          QStringLiteral("\"%1\" is not an Alpaca telescope id "
                                         "(alpaca:HOST:PORT/N).")
                              .arg(id));
                return std::make_unique<AlpacaTelescope>(*address);
            });
        return true;
    }();
    (void)once;
}

}  // namespace celaris
