#include "celaris/drivers/simulator/simulator_clock.h"

#include <chrono>
#include <thread>

namespace celaris {

namespace {

class SystemClock : public SimulatorClock {
  public:
    SystemClock()
        : startUnix_(
              std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch())
                  .count()),
          startSteady_(std::chrono::steady_clock::now()) {}

    double NowUnixSeconds() override {
        const auto elapsed = std::chrono::steady_clock::now() - startSteady_;
        return startUnix_ + std::chrono::duration<double>(elapsed).count();
    }

    void Sleep(double seconds) override {
        if (seconds > 0.0) std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    }

  private:
    double startUnix_;
    std::chrono::steady_clock::time_point startSteady_;
};

}  // namespace

std::shared_ptr<SimulatorClock> SimulatorClock::System() {
    return std::make_shared<SystemClock>();
}

}  // namespace celaris
