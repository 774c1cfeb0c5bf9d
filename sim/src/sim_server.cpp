#include "sim_server_impl.h"

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

namespace celaris::sim {

QString TruePointingJson(const SkyPointing& t) {
    return QString::fromUtf8(
        QJsonDocument(QJsonObject{{QStringLiteral("RightAscension"), t.raHours},
                                  {QStringLiteral("Declination"), t.decDeg}})
            .toJson(QJsonDocument::Compact));
}

QString HiddenTermsJson(const HiddenTerms& h) {
    const QJsonObject o{{QStringLiteral("HOffset"), h.hOffset * kRadToArcsec},
                        {QStringLiteral("DecOffset"), h.decOffset * kRadToArcsec},
                        {QStringLiteral("Collimation"), h.collimation * kRadToArcsec},
                        {QStringLiteral("AxisNonPerp"), h.axisNonPerp * kRadToArcsec},
                        {QStringLiteral("PolarLeftRight"), h.polarLeftRight * kRadToArcsec},
                        {QStringLiteral("PolarVertical"), h.polarVertical * kRadToArcsec},
                        {QStringLiteral("TubeFlex"), h.tubeFlex * kRadToArcsec},
                        {QStringLiteral("ForkFlex"), h.forkFlex * kRadToArcsec},
                        {QStringLiteral("DecFlex"), h.decFlex * kRadToArcsec}};
    return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
}

SimServer::SimServer(SimulatedMount& mount, camera::SimulatedCamera& camera,
                     alpaca::ServerOptions options)
    : d_(std::make_unique<Impl>(mount, camera, std::move(options))) {}

SimServer::~SimServer() {
    Stop();
}

bool SimServer::Start(QString* error) {
    Impl& d = *d_;
    alpaca::TransportOptions t;
    t.keepAliveTime = d.options.keepAliveTime;
    t.requestTime = d.options.requestTime;
    d.http = std::make_unique<alpaca::HttpTransport>(
        t, [&d](const ApiRequest& r) { return d.Serve(r); });
    std::string reason;
    if (!d.http->Listen(d.options.address.toStdString(), d.options.port, reason)) {
        d.http.reset();
        if (error)
            *error = QStringLiteral("Cannot listen on %1:%2 (%3).")
                         .arg(d.options.address)
                         .arg(d.options.port)
                         .arg(QString::fromStdString(reason));
        return false;
    }
    d.port = d.http->port();
    d.http->Start();
    if (d.options.discoveryPort >= 0 &&
        (!alpaca::IsLoopback(d.options.address) || d.options.discoveryOnLoopback)) {
        d.discovery = std::make_unique<alpaca::DiscoveryResponder>(d.options.discoveryPort, d.port);
        if (d.discovery->port() == 0) d.discovery.reset();
    }
    return true;
}

void SimServer::Stop() {
    d_->discovery.reset();
    if (d_->http) d_->http->Stop();
    d_->http.reset();
}

int SimServer::port() const {
    return d_->port;
}

int SimServer::discoveryPort() const {
    return d_->discovery ? d_->discovery->port() : 0;
}

}  // namespace celaris::sim
