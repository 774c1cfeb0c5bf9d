// The hub: shared state, the engine, the settings and the routines every
// part of the program uses to move positions between the sky ("true") and
// the mount ("scope"), choose the pier side, check limits and run two-leg
// anti-backlash slews.
//
// Units: right ascension in hours, declination, altitude and azimuth in
// degrees towards clients and the driver; radians towards the engine.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "celaris/dispatch/ui.h"
#include "celaris/hub/engine_ref.h"
#include "celaris/hub/hub_state.h"
#include "celaris/hub/site_settings.h"
#include "celaris/units/angles.h"

namespace celaris::hub {

// The program's conversion factors, from celaris/units/angles.h.
using units::kDegreesToRadians;
using units::kHoursToRadians;
using units::kRadiansToDegrees;
using units::kRadiansToHours;

struct RaDec {
    double ra;   // hours
    double dec;  // degrees
};

// Folds an angle into [0, 2 pi) by whole turns of units::kTwoPiTruncated.
double NormaliseRadians(double angle);

// A synchronous driver slew shown to the user while it runs (the slewing
// window). Headless: the blocking driver call itself.
//
// The contract for a window: it is shown and painted first, then the
// motion runs; user input to the program is ignored until it has ended,
// and no event loop runs inside the call (nothing re-enters the hub
// meanwhile). A failure goes to the standard error box, which waits until
// the call has returned.
class SlewingWindow {
  public:
    virtual ~SlewingWindow() = default;
    virtual void RunSynchronousSlew() = 0;
};

// What the hub needs of the settings store while it runs.
class HubProfile {
  public:
    virtual ~HubProfile() = default;
    // Device type "Telescope", driver id "Celaris.Telescope", "Celaris".
    virtual void RegisterHub() = 0;
    // The "Scope" value as stored now: the chosen driver's id, or empty.
    virtual QString ReadScope() = 0;
};

class Hub {
  public:
    Hub(Settings& settings, HubProfile& profile, dispatch::Ui& ui,
        std::unique_ptr<EngineRef> engine);
    ~Hub();

    HubState& state() { return state_; }
    const HubState& state() const { return state_; }
    Settings& settings() { return settings_; }
    HubProfile& profile() { return profile_; }
    dispatch::Ui& ui() { return ui_; }
    EngineRef& engine() { return *engine_; }

    // The connected driver; raises "Telescope not connected." otherwise,
    // and the driver's own error after it lost its device.
    Driver& ConnectedDriver();
    // Notices a driver that lost its device (a lost server, a mount switched
    // off): its Connected reads false while the hub holds it connected. The
    // loss is logged once and kept in DriverLost. True while connected.
    bool CheckDriverConnection();
    // Connects the driver again after a loss; raises when it cannot.
    void ReconnectDriver();
    // The driver object, connected or not (nullptr when none).
    Driver* driver() { return state_.ScopeDriver.get(); }

    // The instant the hub works at, UTC seconds since 1970-01-01T00:00:00Z.
    // Unset: the computer's clock, read by the engine. Tests set one (the
    // simulated mount's clock, for one) so that nothing depends on when
    // they run.
    using Clock = std::function<double()>;
    void SetClock(Clock clock) { clock_ = std::move(clock); }

    // Local sidereal time at the hub's clock, radians.
    void UpdateSiderealTime();
    double SiderealAngle() const { return siderealAngle_; }

    RaDec ScopeToTrueRADec(double raHours, double decDeg);
    RaDec TrueToScopeRADec(double raHours, double decDeg);
    // The corrected position of the last polled raw position, stored in
    // CorrectedRA / CorrectedDec.
    double CorrectedRAFromScope();
    double CorrectedDecFromScope();
    // Reads the mount's position now into ScopeRA / ScopeDec and the
    // corrected position, as the status loop's poll does; run after every
    // command that moves, stops or syncs the mount, so that no client reads
    // a position older than its own last command. A failing read is
    // skipped. Nothing when not connected.
    void PollPosition();

    // Compares the mount's own site with the hub's settings at connection:
    // more than 0.01 degrees apart in latitude or longitude sets
    // SiteMismatch and logs a warning once. A driver without a site says
    // nothing.
    void CheckSite();
    // Where the hub's warnings go (standard error unless set).
    void SetLog(std::function<void(const QString&)> log) { log_ = std::move(log); }
    void Log(const QString& line);

    // AbortSlew calls so far: a client's synchronous motion that sees this
    // change has been aborted.
    uint64_t Aborts() const { return aborts_; }
    void CountAbort() { ++aborts_; }
    void ApplyPierSide(double raHours, double decDeg);
    // On a scope-frame destination in radians; raises 1031 when a limit is
    // exceeded and the limits are enforced.
    void CheckSlewLimits(double raRad, double decRad);
    bool BelowAltLimit(double raRad, double decRad);
    // The approach point of a two-leg slew: clears SecondLegDone and, with
    // anti-backlash on, remembers the end point.
    RaDec AntiBacklashApproach(double raHours, double decDeg);
    // The same point, computed without remembering anything.
    RaDec ApproachPoint(double raHours, double decDeg) const;

    // The slew completion step, run once per status update.
    void SlewCompletionStep();
    // Starts a slew to the driver's target by the best means it offers.
    void Slew2TargetBest();
    // Slew to the driver's current target, in two legs with anti-backlash.
    void Slew2TargetAB();
    // The pause between the legs: seconds counted by a 100 ms clock.
    double PauseClock() const { return pauseClock_; }
    bool PauseClockRunning() const { return pauseRunning_; }
    void PauseClockTick();  // one 100 ms tick

    // Window seams.
    // nullptr: back to the blocking call without a window.
    void SetSlewingWindow(SlewingWindow* window) {
        slewingWindow_ = window ? window : headlessSlewing_.get();
    }
    // "Ask the main window to refresh its status".
    void SetStatusUpdater(std::function<void()> fn) { statusUpdater_ = std::move(fn); }
    void RequestStatusUpdate();
    // The completion step found the slew complete.
    void SetSlewCompleteHandler(std::function<void()> fn) { slewComplete_ = std::move(fn); }

    // The driver's raw capability reads that slews need.
    bool DriverSlewing();

  private:
    void StopPauseClock();

    Settings& settings_;
    HubProfile& profile_;
    dispatch::Ui& ui_;
    std::unique_ptr<EngineRef> engine_;
    HubState state_;
    double siderealAngle_ = 0.0;
    Clock clock_;
    std::function<void(const QString&)> log_;
    uint64_t aborts_ = 0;
    double pauseClock_ = 0.0;
    bool pauseRunning_ = false;
    SlewingWindow* slewingWindow_ = nullptr;
    std::unique_ptr<SlewingWindow> headlessSlewing_;
    std::function<void()> statusUpdater_;
    std::function<void()> slewComplete_;
};

}  // namespace celaris::hub
