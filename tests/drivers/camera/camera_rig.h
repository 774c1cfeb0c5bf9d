// A simulated mount on a clock that moves only when told, with the
// simulated camera on its tube: the J2000 frame is taken as the apparent
// one, so the image centre is the mount's true pointing.
#pragma once

#include <QDateTime>

#include <chrono>
#include <memory>
#include <thread>

#include "celaris/drivers/camera/simulated_camera.h"
#include "celaris/drivers/simulator/simulated_mount.h"

namespace celaris::test {

// 2024-03-20T00:00:00Z.
inline constexpr double kCameraStartUnix = 1710892800.0;

struct CameraRig {
    explicit CameraRig(camera::SimulatedCameraOptions options = Small())
        : clock(std::make_shared<ManualClock>(kCameraStartUnix)),
          mount(std::make_unique<SimulatedMount>(FastMount(), clock)),
          camera(
              *mount, clock, [](camera::RaDecHours apparent, const QDateTime&) { return apparent; },
              options) {
        mount->Put(QStringLiteral("Connected"), true);
    }

    // A small, quick sensor: 320 x 240 pixels of 9 um behind 500 mm.
    static camera::SimulatedCameraOptions Small() {
        camera::SimulatedCameraOptions o;
        o.widthPx = 320;
        o.heightPx = 240;
        return o;
    }
    static SimulatorOptions FastMount() {
        SimulatorOptions o;
        o.slewRateDegPerSec = 50.0;
        return o;
    }

    void PointAt(double raHours, double decDeg) {
        mount->Call(QStringLiteral("SlewToCoordinates"), {raHours, decDeg});
    }
    // Runs the exposure to its end on the simulator's clock and waits for
    // the drawing.
    void Finish(double seconds) {
        clock->Advance(seconds);
        for (int i = 0; i < 400 && !camera.ImageReady(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }

    std::shared_ptr<ManualClock> clock;
    std::unique_ptr<SimulatedMount> mount;
    camera::SimulatedCamera camera;
};

}  // namespace celaris::test
