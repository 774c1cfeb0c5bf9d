// The one process-wide record of the hub, shared by every Telescope object,
// the Calibration object and the windows.
#pragma once

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>

#include "celaris/dispatch/com_error.h"
#include "celaris/dispatch/driver.h"

namespace celaris::hub {

struct HubState {
    // The real telescope driver, called by member name; empty when idle.
    std::unique_ptr<Driver> ScopeDriver;
    bool DriverConnected = false;
    int16_t ConnectionCount = 0;
    // The driver's own error for its lost device, once the hub noticed the
    // loss (Hub::CheckDriverConnection); cleared by the next connection.
    std::optional<dispatch::ComError> DriverLost;
    // Connect-time probes of the driver.
    bool CanSetPierSide = false;
    bool CanReadSideOfPier = false;
    bool CanDestinationSideOfPier = false;
    // Last raw position read from the driver (hours, degrees).
    double ScopeRA = 0.0;
    double ScopeDec = 0.0;
    // Last corrected position (hours, degrees).
    double CorrectedRA = 0.0;
    double CorrectedDec = 0.0;
    // The client's last target in true coordinates (hours, degrees).
    double TargetRA = 0.0;
    double TargetDec = 0.0;
    // The pier side last given to the engine.
    bool PierInverted = false;
    // Slew completion.
    int16_t SettleCount = 0;
    bool SecondLegDone = true;
    // Scope-frame end point of an anti-backlash slew (hours, degrees).
    double FinalTargetRA = 0.0;
    double FinalTargetDec = 0.0;
    // The current pointing is already in the calibration.
    bool ObservationTaken = false;
    QString StatusText;
    // Empty, or why the mount's own site differs from the hub's (found at
    // connection): a mismatch costs arc-minutes near the horizon.
    QString SiteMismatch;
};

}  // namespace celaris::hub
