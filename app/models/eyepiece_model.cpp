#include "eyepiece_model.h"

#include <cmath>

#include "celaris/drivers/camera/sky_view.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "celaris/units/angles.h"
#include "window_rules.h"

namespace celaris::models {

EyepieceModel::EyepieceModel(hub::Program& program, const catalogue::StarPickList& stars,
                             QObject* parent)
    : QObject(parent), program_(program), stars_(stars) {
    Refresh();
}

bool EyepieceModel::Project(double ra, double dec, double ra0, double dec0, double& xDeg,
                            double& yDeg) {
    const auto standard = camera::Gnomonic(ra0, dec0, ra, dec, 0.0);
    if (!standard) return false;
    xDeg = -standard->xi * units::kRadiansToDegrees;  // east on the left
    yDeg = standard->eta * units::kRadiansToDegrees;
    return true;
}

bool EyepieceModel::TurnPolarKnob(Knob knob, int direction) {
    auto* sim = dynamic_cast<SimulatedMount*>(program_.hub().driver());
    if (sim == nullptr) return false;
    HiddenTerms t = sim->hiddenTerms();
    const double step =
        direction * knobStepArcsec / units::kArcSecondsPerDegree * units::kDegreesToRadians;
    (knob == Knob::Altitude ? t.polarVertical : t.polarLeftRight) += step;
    sim->SetHiddenTerms(t);
    Refresh();
    return true;
}

void EyepieceModel::Refresh() {
    field.clear();
    auto* sim = dynamic_cast<SimulatedMount*>(program_.hub().driver());
    available = sim != nullptr && program_.hub().state().DriverConnected;
    if (!available) {
        caption = QStringLiteral("The eyepiece shows the built-in simulator's sky.");
        emit changed();
        return;
    }
    const SkyPointing p = sim->TruePointing();
    centreRA = p.raHours * units::kHoursToRadians;
    centreDec = p.decDeg * units::kDegreesToRadians;
    caption = QStringLiteral("RA %1  Dec %2").arg(FormatRA(p.raHours), FormatDec(p.decDeg));
    const double half = fieldDeg / 2.0;
    for (const auto& s : stars_.Stars()) {
        double x = 0, y = 0;
        if (!Project(s.RA, s.Dec, centreRA, centreDec, x, y)) continue;
        if (std::abs(x) > half || std::abs(y) > half) continue;
        field.append({s.Name, s.Magnitude, x, y});
    }
    emit changed();
}

}  // namespace celaris::models
