// The apparent-place members per call, each reading the clock as the members
// do, beside ERFA's apparent place for the same instant (IAU 2006/2000A:
// ICRS to CIRS with eraAtci13, then the equation of the origins eraEo06a
// back to an equinox-based right ascension).
#include <benchmark/benchmark.h>
#include <erfa.h>

#include <chrono>

#include "astrometry.h"

namespace {

constexpr double kJ2000 = 2451545.0;  // Julian day

// Positions walk over the sky so every call sees new input.
template <typename Fn>
void Run(benchmark::State& st, Fn&& fn) {
    double ra = 0.1, dec = -1.2, a = 0, b = 0;
    for (auto _ : st) {
        fn(ra, dec, a, b);
        benchmark::DoNotOptimize(a);
        benchmark::DoNotOptimize(b);
        ra += 0.37;
        if (ra > 6.28) ra -= 6.28;
        dec += 0.011;
        if (dec > 1.2) dec = -1.2;
    }
}

void J2kToApparent(benchmark::State& st) {
    Run(st, [](double ra, double dec, double& a, double& b) {
        trimcore::J2kToApparent(ra, dec, a, b);
    });
}
BENCHMARK(J2kToApparent);

void ApparentToJ2k(benchmark::State& st) {
    Run(st, [](double ra, double dec, double& a, double& b) {
        trimcore::ApparentToJ2k(ra, dec, a, b);
    });
}
BENCHMARK(ApparentToJ2k);

// ERFA with the same clock reading: days since J2000.0 from the system clock.
void ErfaApparentPlace(benchmark::State& st) {
    Run(st, [](double ra, double dec, double& a, double& b) {
        using namespace std::chrono;
        const double unixDays =
            duration<double>(system_clock::now().time_since_epoch()).count() / 86400.0;
        const double d2 = unixDays - 10957.5;  // 1970 January 1.0 to J2000.0
        double ri = 0, eo = 0;
        eraAtci13(ra, dec, 0, 0, 0, 0, kJ2000, d2, &ri, &b, &eo);
        a = eraAnp(ri - eraEo06a(kJ2000, d2));
    });
}
BENCHMARK(ErfaApparentPlace);

}  // namespace
