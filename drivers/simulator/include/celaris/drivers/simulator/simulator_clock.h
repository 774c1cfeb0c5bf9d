// The real time the simulator runs on. The mount computes its state from
// time on demand; a synchronous slew sleeps until the computed end. Tests can
// pass a clock whose Sleep advances time at once.
#pragma once

#include <memory>

namespace celaris {

class SimulatorClock {
  public:
    virtual ~SimulatorClock() = default;
    // UTC now, seconds since 1970-01-01T00:00:00Z, with sub-second resolution.
    virtual double NowUnixSeconds() = 0;
    virtual void Sleep(double seconds) = 0;

    // The system clock: a wall-clock reading taken once, then a monotonic
    // clock, so that setting the computer's clock does not move the mount.
    static std::shared_ptr<SimulatorClock> System();
};

// Time that moves only when told to: Sleep advances it, and so does Advance.
class ManualClock : public SimulatorClock {
  public:
    explicit ManualClock(double startUnixSeconds) : now_(startUnixSeconds) {}
    double NowUnixSeconds() override { return now_; }
    void Sleep(double seconds) override { Advance(seconds); }
    void Advance(double seconds) { now_ += seconds > 0.0 ? seconds : 0.0; }

  private:
    double now_;
};

}  // namespace celaris
