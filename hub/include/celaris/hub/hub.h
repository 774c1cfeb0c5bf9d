// The hub: shared state, the engine, the settings and the routines every
// part of the program uses to move positions between the sky ("true") and
// the mount ("scope"), choose the pier side, check limits and run two-leg
// anti-backlash slews.
//
// Units: right ascension in hours, declination, altitude and azimuth in
// degrees towards clients and the driver; radians towards the engine.
#pragma once

#include <QString>
#include <functional>
#include <memory>

#include "celaris/dispatch/ui.h"
#include "celaris/hub/engine_ref.h"
#include "celaris/hub/hub_state.h"
#include "celaris/hub/site_settings.h"

namespace celaris::hub {

// Exact conversion factors.
inline constexpr double kHoursToRadians = 0.2617993877991492;
inline constexpr double kRadiansToHours = 3.8197186342054916;
inline constexpr double kDegreesToRadians = 0.017453292519943278;
inline constexpr double kRadiansToDegrees = 57.29577951308238;
inline constexpr double kTwoPi = 6.28318530717958;

struct RaDec {
    double ra;   // hours
    double dec;  // degrees
};

// Folds an angle into [0, 2 pi) by whole turns of 6.28318530717958.
double NormaliseRadians(double angle);

// A synchronous driver slew shown to the user while it runs (the slewing
// window). Headless: the blocking driver call itself.
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

    // The connected driver; raises "Telescope not connected." otherwise.
    Driver& ConnectedDriver();
    // The driver object, connected or not (nullptr when none).
    Driver* driver() { return state_.ScopeDriver.get(); }

    // Local sidereal time from the engine, radians.
    void UpdateSiderealTime();
    double SiderealAngle() const { return siderealAngle_; }

    RaDec ScopeToTrueRADec(double raHours, double decDeg);
    RaDec TrueToScopeRADec(double raHours, double decDeg);
    // The corrected position of the last polled raw position, stored in
    // CorrectedRA / CorrectedDec.
    double CorrectedRAFromScope();
    double CorrectedDecFromScope();

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
    double pauseClock_ = 0.0;
    bool pauseRunning_ = false;
    SlewingWindow* slewingWindow_ = nullptr;
    std::unique_ptr<SlewingWindow> headlessSlewing_;
    std::function<void()> statusUpdater_;
    std::function<void()> slewComplete_;
};

}  // namespace celaris::hub
