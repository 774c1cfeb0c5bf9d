// FindBrightestStar on a 4096 x 4096 camera image beside a plain sum over
// the same memory: the memory-bandwidth floor of any one-pass search.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <random>

#include "celaris/com/safearray.h"
#include "star_search.h"

namespace {

constexpr int kSide = 4096;

// A 16-bit-like sky: background with noise and, unless starless, a few
// hundred stars.
SAFEARRAY* MakeImage(bool stars) {
    {
        SAFEARRAYBOUND b[2] = {{kSide, 0}, {kSide, 0}};
        SAFEARRAY* p = SafeArrayCreate(VT_I4, 2, b);
        auto* v = static_cast<int32_t*>(p->pvData);
        std::mt19937 rng(7);
        std::normal_distribution<double> noise(0.0, 12.0);
        for (size_t i = 0; i < size_t(kSide) * kSide; ++i) v[i] = 800 + int32_t(noise(rng));
        std::uniform_real_distribution<double> pos(20.0, kSide - 20.0), flux(500.0, 30000.0);
        for (int s = 0; s < (stars ? 300 : 0); ++s) {
            const double cx = pos(rng), cy = pos(rng), peak = flux(rng);
            for (int dy = -6; dy <= 6; ++dy)
                for (int dx = -6; dx <= 6; ++dx) {
                    const int px = int(cx) + dx, py = int(cy) + dy;
                    const double r2 = (px - cx) * (px - cx) + (py - cy) * (py - cy);
                    v[size_t(py) * kSide + px] += int32_t(peak * std::exp(-r2 / 4.5));
                }
        }
        return p;
    }
}

SAFEARRAY* StarField() {
    static SAFEARRAY* psa = MakeImage(true);
    return psa;
}

// No star to stand out: every window has to be scored.
SAFEARRAY* Starless() {
    static SAFEARRAY* psa = MakeImage(false);
    return psa;
}

void Find(benchmark::State& st, SAFEARRAY* image) {
    VARIANT v{};
    v.vt = VT_ARRAY | VT_I4;
    v.parray = image;
    double x = 0, y = 0;
    for (auto _ : st) {
        trimcore::FindBrightestStar(&v, x, y);
        benchmark::DoNotOptimize(x);
        benchmark::DoNotOptimize(y);
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * kSide * kSide * 4);
}
void FindBrightestStar4096(benchmark::State& st) {
    Find(st, StarField());
}
BENCHMARK(FindBrightestStar4096)->Unit(benchmark::kMillisecond);
void FindBrightestStar4096Starless(benchmark::State& st) {
    Find(st, Starless());
}
BENCHMARK(FindBrightestStar4096Starless)->Unit(benchmark::kMillisecond);

// The floor: every element read once and summed.
void PlainSum4096(benchmark::State& st) {
    const auto* p = static_cast<const int32_t*>(StarField()->pvData);
    for (auto _ : st) {
        int64_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
        for (size_t i = 0; i < size_t(kSide) * kSide; i += 4) {
            s0 += p[i];
            s1 += p[i + 1];
            s2 += p[i + 2];
            s3 += p[i + 3];
        }
        benchmark::DoNotOptimize(s0 + s1 + s2 + s3);
    }
    st.SetBytesProcessed(int64_t(st.iterations()) * kSide * kSide * 4);
}
BENCHMARK(PlainSum4096)->Unit(benchmark::kMillisecond);

}  // namespace
