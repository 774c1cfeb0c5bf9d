// A simulated mount on a clock that only moves when told, reached through the
// late-bound interface as the hub reaches its driver.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

#include "celaris/dispatch/com_error.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "error_of.h"

namespace simtest {

using namespace celaris;

constexpr double kPi = 3.141592653589793;
constexpr double kDeg = kPi / 180.0;
constexpr double kArcsec = kDeg / 3600.0;
// 2024-03-20T00:00:00Z: a fixed instant, so every run sees the same sky.
constexpr double kStartUnix = 1710892800.0;

inline SimulatorOptions Fast() {
    SimulatorOptions o;
    o.slewRateDegPerSec = 50.0;
    return o;
}

struct Rig {
    explicit Rig(SimulatorOptions o = Fast(), bool connect = true)
        : clock(std::make_shared<ManualClock>(kStartUnix)),
          mount(std::make_unique<SimulatedMount>(o, clock)),
          d(*mount) {
        if (connect) d.Put("Connected", true);
    }
    double Num(const char* member) { return d.Get(member).toDouble(); }
    std::shared_ptr<ManualClock> clock;
    std::unique_ptr<SimulatedMount> mount;
    Driver& d;
};

// The error number a call raises, or 0.
inline int32_t ErrorNumberOf(const std::function<void()>& f) {
    return celaris::test::ErrorOf(f).number();
}

// Hours folded into (-12, 12].
inline double WrapHours(double h) {
    h = std::fmod(h, 24.0);
    if (h <= -12.0) h += 24.0;
    if (h > 12.0) h -= 24.0;
    return h;
}

}  // namespace simtest
