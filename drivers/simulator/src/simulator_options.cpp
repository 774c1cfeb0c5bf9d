#include "celaris/drivers/simulator/simulator_options.h"

#include <QString>
#include <QtGlobal>
#include <cmath>

namespace celaris {

namespace {

constexpr double kArcminToRad = 3.14159265358979323846 / 180.0 / 60.0;

// The variable's value as a finite number, or nothing.
bool ReadNumber(const char* name, double& out) {
    if (!qEnvironmentVariableIsSet(name)) return false;
    bool ok = false;
    const double v = qEnvironmentVariable(name).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return false;
    out = v;
    return true;
}

}  // namespace

HiddenTerms HiddenTerms::Typical() {
    HiddenTerms t;
    t.hOffset = 4.0 * kArcminToRad;
    t.decOffset = -3.0 * kArcminToRad;
    t.polarLeftRight = 5.0 * kArcminToRad;
    t.polarVertical = -4.0 * kArcminToRad;
    t.collimation = 2.0 * kArcminToRad;
    t.axisNonPerp = 1.5 * kArcminToRad;
    t.tubeFlex = 1.0 * kArcminToRad;
    t.decFlex = 0.8 * kArcminToRad;
    t.forkFlex = 1.2 * kArcminToRad;
    return t;
}

HiddenTerms HiddenTerms::Scaled(double factor) const {
    HiddenTerms t = *this;
    for (double* v : {&t.hOffset, &t.decOffset, &t.polarLeftRight, &t.polarVertical, &t.collimation,
                      &t.axisNonPerp, &t.tubeFlex, &t.decFlex, &t.forkFlex})
        *v *= factor;
    return t;
}

SimulatorOptions SimulatorOptions::FromEnvironment() {
    SimulatorOptions o;
    const QString mount = qEnvironmentVariable("CELARIS_SIM_MOUNT").trimmed().toLower();
    if (mount == QLatin1String("fork")) o.german = false;
    if (mount == QLatin1String("german")) o.german = true;

    double v = 0.0;
    if (ReadNumber("CELARIS_SIM_SLEW_RATE", v) && v > 0.0) o.slewRateDegPerSec = v;
    if (ReadNumber("CELARIS_SIM_TIME_SCALE", v) && v > 0.0) o.timeScale = v;
    if (ReadNumber("CELARIS_SIM_TERMS_SCALE", v)) o.hiddenTerms = HiddenTerms::Typical().Scaled(v);
    if (ReadNumber("CELARIS_SIM_LATITUDE", v) && std::fabs(v) <= 90.0) o.latitudeDeg = v;
    if (ReadNumber("CELARIS_SIM_LONGITUDE", v) && std::fabs(v) <= 180.0) o.longitudeDeg = v;
    if (ReadNumber("CELARIS_SIM_PRESSURE", v) && v >= 0.0) o.pressureKPa = v;
    if (ReadNumber("CELARIS_SIM_TEMPERATURE", v)) o.temperatureC = v;
    return o;
}

}  // namespace celaris
