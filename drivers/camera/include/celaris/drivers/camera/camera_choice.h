// Which camera the automatic calibration uses and how it is made: cameras
// are chosen by an id, as mounts are, in the setting "Camera" of the
// "Lumacam" sub-key:
//   "Celaris.SimulatedCamera"  the simulated camera on the simulated mount
//   "indi:HOST:PORT/DEVICE"    an INDI camera ("indi:DEVICE": localhost:7624)
//   "alpaca:HOST:PORT/N"       an Alpaca camera device
// An empty setting means the simulated camera while the mount is the
// simulator, and no camera otherwise.
#pragma once

#include <QString>

#include <memory>

#include "celaris/drivers/camera/camera.h"
#include "celaris/drivers/camera/indi_camera.h"
#include "celaris/drivers/camera/simulated_camera.h"
#include "celaris/profile/settings.h"

namespace celaris {
class Driver;
}

namespace celaris::camera {

// Source of the errors of choosing a camera.
inline constexpr char kCameraChoiceSource[] = "Celaris camera";

// The camera id in force for these settings; empty when none is chosen.
QString CameraIdFor(const profile::Settings& settings);

// What making a camera may need besides its id.
struct CameraContext {
    // The mount driver the hub made; the simulated camera needs the
    // simulated mount.
    Driver* mount = nullptr;
    // The simulator's clock; nothing: the real one.
    std::shared_ptr<SimulatorClock> clock;
    // Nothing: the pointing engine's (EngineApparentToJ2000).
    ApparentToJ2000 toJ2000;
    SimulatedCameraOptions simulator = SimulatedCameraOptions::FromEnvironment();
    // INDI cameras: the filter wheel's device, time-outs.
    IndiCameraOptions indi;
};

// Makes the camera of this id, not yet linked. Raises 0x80040154 (as for an
// unknown driver id) for an id that names no kind of camera, and a
// ComError that says why when the camera cannot be made.
std::unique_ptr<Camera> CreateCamera(const QString& id, const CameraContext& context);

}  // namespace celaris::camera
