// A telescope that is itself an Alpaca device, driver id
// "alpaca:HOST:PORT/N": every member the hub gets, puts or calls by name
// becomes one HTTP request to /api/v1/telescope/N/<member> on HOST:PORT.
//
// Requests carry this object's ClientID (random, fixed for its life) and a
// ClientTransactionID that counts up from 1, over one kept-alive
// connection. Time-outs: connecting 3 s, each call 10 s, members that return
// only when the mount has stopped (synchronous slews, Park, FindHome,
// PulseGuide) 10 minutes.
//
// Errors: the device's Alpaca error n arrives as 0x80040000 + n with the
// device's ErrorMessage as description and this driver's source ("Alpaca
// telescope HOST:PORT/N"). A refused request (HTTP 400) is InvalidValue
// (0x80040401); a device that cannot be reached, does not answer in time or
// answers something else than Alpaca is 0x80040500 with the reason.
#pragma once

#include <QString>

#include <chrono>
#include <cstdint>
#include <memory>

#include "celaris/dispatch/driver.h"
#include "celaris/drivers_list/installed_drivers.h"

namespace celaris {

struct AlpacaTimeouts {
    std::chrono::milliseconds connect{3000};
    std::chrono::milliseconds call{10000};
    std::chrono::milliseconds longWait{600000};
};

// Number of the errors of the connection itself.
inline constexpr int32_t kAlpacaCommunicationError = static_cast<int32_t>(0x80040500);

class AlpacaTelescope : public Driver {
  public:
    explicit AlpacaTelescope(drivers_list::AlpacaAddress address, AlpacaTimeouts timeouts = {});
    ~AlpacaTelescope() override;
    AlpacaTelescope(const AlpacaTelescope&) = delete;
    AlpacaTelescope& operator=(const AlpacaTelescope&) = delete;

    QVariant Get(const QString& member) override;
    void Put(const QString& member, const QVariant& value) override;
    QVariant Call(const QString& member, const QVariantList& args = {}) override;

    const QString& source() const;
    uint32_t clientId() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// Makes every "alpaca:HOST:PORT/N" id known to DriverFactory. Call once at
// start-up.
void RegisterAlpacaDriver();

}  // namespace celaris
