#include "celaris/dispatch/driver.h"
#include "celaris/drivers/simulator/simulated_mount.h"

namespace celaris {

void RegisterSimulatorDriver() {
    DriverFactory::Instance().Register(
        QString::fromLatin1(kSimulatorDriverId), [](const QString&) -> std::unique_ptr<Driver> {
            return std::make_unique<SimulatedMount>(SimulatorOptions::FromEnvironment());
        });
}

}  // namespace celaris
