// The correction members per call through the v-table of an engine created
// by the loader, beside the same computation called directly (baseline: the
// cost of the mathematics alone).
#include <benchmark/benchmark.h>

#include "celaris/com/loader.h"
#include "model.h"
#include "trimcore/isvd.h"

namespace {

constexpr double kDeg = 0.017453292519943278;

ISVD* Engine() {
    static ISVD* svd = [] {
        ISVD* p = nullptr;
        celaris::com::CreateInstance("Trimcore.SVD", IID_ISVD, reinterpret_cast<void**>(&p));
        p->put_German(1);
        p->put_Latitude(40 * kDeg);
        p->put_Pressure(101.325);
        p->put_Temperature(10);
        p->put_HOffset(2 / 60.0 * kDeg);
        p->put_PolarLeftRight(3 / 60.0 * kDeg);
        p->put_TubeFlex(1 / 60.0 * kDeg);
        p->put_DecFlex(0.5 / 60.0 * kDeg);
        return p;
    }();
    return svd;
}

trimcore::EngineState State() {
    trimcore::EngineState s;
    s.german = 1;
    s.latitude = 40 * kDeg;
    s.pressure = 101.325;
    s.temperature = 10;
    s.hOffset = 2 / 60.0 * kDeg;
    s.polarLeftRight = 3 / 60.0 * kDeg;
    s.tubeFlex = 1 / 60.0 * kDeg;
    s.decFlex = 0.5 / 60.0 * kDeg;
    return s;
}

// Positions vary so the branch predictor and caches see realistic input.
template <typename Fn>
void Run(benchmark::State& st, Fn&& fn) {
    double h = -1.0, d = 0.2, a = 0, b = 0;
    for (auto _ : st) {
        fn(h, d, a, b);
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        h += 0.001;
        if (h > 1.0) h = -1.0;
    }
}

void VtableGetCorrectedHADec(benchmark::State& st) {
    ISVD* e = Engine();
    Run(st, [&](double h, double d, double& a, double& b) { e->GetCorrectedHADec(h, d, &a, &b); });
}
void VtableGetScopeHADec(benchmark::State& st) {
    ISVD* e = Engine();
    Run(st, [&](double h, double d, double& a, double& b) { e->GetScopeHADec(h, d, &a, &b); });
}
void VtableGetCorrectedAltAz(benchmark::State& st) {
    ISVD* e = Engine();
    Run(st, [&](double h, double d, double& a, double& b) {
        e->GetCorrectedAltAz(h + 1.0, d + 0.5, &a, &b);
    });
}
void DirectGetCorrectedHADec(benchmark::State& st) {
    const auto s = State();
    Run(st, [&](double h, double d, double& a, double& b) {
        const auto r = trimcore::GetCorrectedHADec(s, h, d);
        a = r.ha;
        b = r.dec;
    });
}
void DirectGetScopeHADec(benchmark::State& st) {
    const auto s = State();
    Run(st, [&](double h, double d, double& a, double& b) {
        const auto r = trimcore::GetScopeHADec(s, h, d);
        a = r.ha;
        b = r.dec;
    });
}

BENCHMARK(VtableGetCorrectedHADec);
BENCHMARK(DirectGetCorrectedHADec);
BENCHMARK(VtableGetScopeHADec);
BENCHMARK(DirectGetScopeHADec);
BENCHMARK(VtableGetCorrectedAltAz);

}  // namespace
