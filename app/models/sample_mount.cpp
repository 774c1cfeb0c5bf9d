#include "sample_mount.h"

#include "celaris/hub/engine_ref.h"

namespace celaris::models {

namespace {

struct TermSetter {
    HRESULT (ISVD::*put)(double);
    const char* name;
};
constexpr TermSetter kSetters[calibration::kTermCount] = {
    {&ISVD::put_HOffset, "HOffset"},
    {&ISVD::put_DecOffset, "DecOffset"},
    {&ISVD::put_Collimation, "Collimation"},
    {&ISVD::put_AxisNonPerp, "AxisNonPerp"},
    {&ISVD::put_PolarLeftRight, "PolarLeftRight"},
    {&ISVD::put_PolarVertical, "PolarVertical"},
    {&ISVD::put_TubeFlex, "TubeFlex"},
    {&ISVD::put_ForkFlex, "ForkFlex"},
    {&ISVD::put_DecFlex, "DecFlex"}};

}  // namespace

calibration::ModelTerms SettingsTerms(const profile::Settings& s) {
    return {s.HourOffsetRad, s.DecOffsetRad, s.CollimationRad, s.AxisNonPerpRad, s.PolarLRRad,
            s.PolarVertRad,  s.TubeFlexRad,  s.ForkFlexRad,    s.DecFlexRad};
}

void SetSettingsTerms(profile::Settings& s, const calibration::ModelTerms& t) {
    s.HourOffsetRad = t[0];
    s.DecOffsetRad = t[1];
    s.CollimationRad = t[2];
    s.AxisNonPerpRad = t[3];
    s.PolarLRRad = t[4];
    s.PolarVertRad = t[5];
    s.TubeFlexRad = t[6];
    s.ForkFlexRad = t[7];
    s.DecFlexRad = t[8];
}

void PutMountErrors(ISVD* e, const calibration::ModelTerms& errors) {
    for (int t = 0; t < calibration::kTermCount; ++t)
        hub::Check((e->*kSetters[t].put)(errors[static_cast<size_t>(t)]), kSetters[t].name);
}

}  // namespace celaris::models
