// The driver's connection to a Celaris hub's Alpaca Telescope device:
// the address as the user writes it, the hub's members by name with short
// time-outs (INDI's loop waits for every call made on it), the difference
// between "the hub said no" and "the hub is gone", and one helper thread
// for the members that return only when the mount has stopped.
#pragma once

#include <QString>
#include <QVariant>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "celaris/dispatch/com_error.h"
#include "celaris/drivers/alpaca/alpaca_telescope.h"

namespace celaris::indi_driver {

// "HOST:PORT" and a device number; nothing for a malformed address.
std::optional<drivers_list::AlpacaAddress> ParseHubAddress(const QString& hostPort,
                                                           const QString& device);

// Time-outs for calls made on INDI's loop: a hub on this machine answers in
// well under a millisecond, a hub that stopped must not freeze indiserver.
AlpacaTimeouts LoopTimeouts();

class HubLink {
  public:
    explicit HubLink(drivers_list::AlpacaAddress address);
    ~HubLink();
    HubLink(const HubLink&) = delete;
    HubLink& operator=(const HubLink&) = delete;

    // "127.0.0.1:11111 device 0"
    const QString& where() const { return where_; }
    const drivers_list::AlpacaAddress& address() const { return address_; }

    // The hub's members; failures raise the hub's ComError unchanged.
    QVariant Get(const QString& member) { return hub_->Get(member); }
    void Put(const QString& member, const QVariant& value) { hub_->Put(member, value); }
    QVariant Call(const QString& member, const QVariantList& args = {}) {
        return hub_->Call(member, args);
    }
    bool GetBool(const char* member) { return Get(QString::fromLatin1(member)).toBool(); }
    double GetDouble(const char* member) { return Get(QString::fromLatin1(member)).toDouble(); }
    int GetInt(const char* member) { return Get(QString::fromLatin1(member)).toInt(); }

    // The error is the connection failing (no hub, no answer in time), not
    // an answer of the hub.
    bool IsLost(const dispatch::ComError& e) const;

    // The HTML of the hub's setup page; nothing when it cannot be read.
    std::optional<std::string> SetupPage();

    // Runs `member` (no arguments) on a helper thread over a connection of
    // its own, so the loop keeps polling while the hub waits for the mount.
    // False when a call is still running.
    bool StartLongCall(const QString& member);
    bool LongCallRunning() const;
    // The failure of the last finished long call, once.
    std::optional<dispatch::ComError> TakeLongCallFailure();

  private:
    // Shared with the helper thread, which may outlive the link: a park
    // goes on when the INDI client disconnects.
    struct LongCall {
        std::unique_ptr<AlpacaTelescope> mover;
        std::atomic<bool> running{false};
        std::mutex mutex;
        std::optional<dispatch::ComError> failure;
    };

    drivers_list::AlpacaAddress address_;
    QString where_;
    std::unique_ptr<AlpacaTelescope> hub_;
    std::shared_ptr<LongCall> long_;
};

}  // namespace celaris::indi_driver
