#include "hub_link.h"

#include <httplib.h>

#include <thread>

namespace celaris::indi_driver {

std::optional<drivers_list::AlpacaAddress> ParseHubAddress(const QString& hostPort,
                                                           const QString& device) {
    return drivers_list::ParseAlpacaProgId(
        QStringLiteral("alpaca:%1/%2").arg(hostPort.trimmed(), device.trimmed()));
}

AlpacaTimeouts LoopTimeouts() {
    AlpacaTimeouts t;
    t.connect = std::chrono::milliseconds(2000);
    t.call = std::chrono::milliseconds(5000);
    // PulseGuide may wait for the pulse on some mounts; pulses are short.
    t.longWait = std::chrono::milliseconds(15000);
    return t;
}

HubLink::HubLink(drivers_list::AlpacaAddress address)
    : address_(address),
      where_(QStringLiteral("%1:%2 device %3")
                 .arg(address.host)
                 .arg(address.port)
                 .arg(address.deviceNumber)),
      hub_(std::make_unique<AlpacaTelescope>(address, LoopTimeouts())) {}

HubLink::~HubLink() = default;

bool HubLink::IsLost(const dispatch::ComError& e) const {
    // The Alpaca driver reports its own transport failures under its source
    // with these words; the hub's own 0x500 errors carry the hub's text.
    return e.number() == kAlpacaCommunicationError &&
           (e.description().startsWith(hub_->source() + QStringLiteral(" did not answer")) ||
            e.description().startsWith(hub_->source() + QStringLiteral(" answered")) ||
            e.description().startsWith(hub_->source() + QStringLiteral(" failed")));
}

std::optional<std::string> HubLink::SetupPage() {
    std::string host = address_.host.toStdString();
    if (host.size() > 2 && host.front() == '[' && host.back() == ']')
        host = host.substr(1, host.size() - 2);
    httplib::Client http(host, address_.port);
    http.set_connection_timeout(std::chrono::milliseconds(1000));
    http.set_read_timeout(std::chrono::milliseconds(2000));
    const auto res =
        http.Get("/setup/v1/telescope/" + std::to_string(address_.deviceNumber) + "/setup");
    if (!res || res->status != 200) return std::nullopt;
    return res->body;
}

bool HubLink::StartLongCall(const QString& member) {
    if (long_ && long_->running) return false;
    if (!long_) {
        long_ = std::make_shared<LongCall>();
        AlpacaTimeouts t = LoopTimeouts();
        t.longWait = std::chrono::minutes(10);
        long_->mover = std::make_unique<AlpacaTelescope>(address_, t);
    }
    {
        std::lock_guard lock(long_->mutex);
        long_->failure.reset();
    }
    long_->running = true;
    std::thread([call = long_, member] {
        try {
            // Its own client id: connected for itself, every time, since the
            // hub lets go of clients that stay silent.
            call->mover->Put(QStringLiteral("Connected"), true);
            call->mover->Call(member);
        } catch (const dispatch::ComError& e) {
            std::lock_guard lock(call->mutex);
            call->failure = e;
        }
        call->running = false;
    }).detach();
    return true;
}

bool HubLink::LongCallRunning() const {
    return long_ && long_->running;
}

std::optional<dispatch::ComError> HubLink::TakeLongCallFailure() {
    if (!long_) return std::nullopt;
    std::lock_guard lock(long_->mutex);
    auto f = std::move(long_->failure);
    long_->failure.reset();
    return f;
}

}  // namespace celaris::indi_driver
