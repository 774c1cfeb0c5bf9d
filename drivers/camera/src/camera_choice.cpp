#include "celaris/drivers/camera/camera_choice.h"

#include "celaris/drivers/camera/alpaca_camera.h"
#include "celaris/drivers/simulator/simulated_mount.h"

namespace celaris::camera {

namespace {
const QString kSource = QString::fromLatin1(kCameraChoiceSource);
constexpr int32_t kClassNotRegistered = static_cast<int32_t>(0x80040154);
}  // namespace

QString CameraIdFor(const profile::Settings& settings) {
    const QString chosen = settings.Camera.trimmed();
    if (!chosen.isEmpty()) return chosen;
    if (settings.Scope == QLatin1String(kSimulatorDriverId))
        return QString::fromLatin1(kSimulatedCameraId);
    return {};
}

std::unique_ptr<Camera> CreateCamera(const QString& id, const CameraContext& context) {
    if (id == QLatin1String(kSimulatedCameraId)) {
        auto* mount = dynamic_cast<SimulatedMount*>(context.mount);
        if (mount == nullptr)
            dispatch::Raise(kCameraFailure, kSource,
                            QStringLiteral("The simulated camera sits on the simulated mount: "
                                           "choose the mount %1, or another camera.")
                                .arg(QLatin1String(kSimulatorDriverId)));
        return std::make_unique<SimulatedCamera>(
            *mount, context.clock ? context.clock : SimulatorClock::System(),
            context.toJ2000 ? context.toJ2000 : EngineApparentToJ2000(), context.simulator);
    }
    if (id.startsWith(QLatin1String("alpaca:"))) {
        const auto address = drivers_list::ParseAlpacaProgId(id);
        if (!address)
            dispatch::Raise(kClassNotRegistered, kSource,
                            QStringLiteral("\"%1\" is not an Alpaca camera id: use "
                                           "alpaca:HOST:PORT/N.")
                                .arg(id));
        return std::make_unique<AlpacaCamera>(*address);
    }
    if (id.startsWith(QLatin1String(indi::kIdPrefix))) {
        const auto address = indi::ParseIndiId(id);
        if (!address)
            dispatch::Raise(kClassNotRegistered, kSource,
                            QStringLiteral("\"%1\" is not an INDI camera id: use "
                                           "indi:HOST:PORT/DEVICE or indi:DEVICE.")
                                .arg(id));
        return std::make_unique<IndiCamera>(*address, context.indi);
    }
    if (id.isEmpty())
        dispatch::Raise(kClassNotRegistered, kSource,
                        QStringLiteral("No camera is chosen: set Camera in the Lumacam "
                                       "settings (indi:HOST:PORT/DEVICE or alpaca:HOST:PORT/N)."));
    dispatch::Raise(kClassNotRegistered, kSource,
                    QStringLiteral("\"%1\" is not a camera id: use %2, indi:HOST:PORT/DEVICE "
                                   "or alpaca:HOST:PORT/N.")
                        .arg(id, QLatin1String(kSimulatedCameraId)));
}

}  // namespace celaris::camera
