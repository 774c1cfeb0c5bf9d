// A settings file for a program on the simulated mount: the simulator's
// site, a German mount, the given scope id, and whatever else a test sets.
// Header only: the suites that use it link the profile and the simulator.
#pragma once

#include <QString>
#include <functional>

#include "celaris/drivers/simulator/simulator_options.h"
#include "celaris/profile/settings.h"

namespace celaris::test {

inline void WriteSimulatorProfile(const QString& path, const SimulatorOptions& sim,
                                  const QString& scope,
                                  const std::function<void(profile::Settings&)>& more = {}) {
    profile::Profile p(path);
    profile::Settings s = profile::ReadAllSettings(p);
    s.Latitude = sim.latitudeDeg;
    s.Longitude = sim.longitudeDeg;
    s.IsGerman = true;
    s.Scope = scope;
    if (more) more(s);
    profile::WriteAllSettings(p, s);
    profile::WriteScope(p, s.Scope);
}

}  // namespace celaris::test
