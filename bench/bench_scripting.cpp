// What the scripting interface costs: a Calibration call over HTTP on
// loopback against the same member called in process, and a refit of 999
// observations through the store against the engine's own refit of them,
// in the same run.
//
// Targets: a round trip adds at most 0.3 ms (median) to the in-process
// call; Recalculate of 999 observations takes at most 2 ms.
//
// The in-process calls run on the benchmark's thread while the hub's own
// thread is idle (its status timer is off), so nothing else touches the
// store meanwhile.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <QCoreApplication>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "celaris/calibration/calibration_scripting.h"
#include "celaris/calibration/calibration_store.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "hub_thread.h"

using namespace celaris;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kObservations = 999;
constexpr double kArcsec = 3.141592653589793 / 180.0 / 3600.0;

std::unique_ptr<test::HubThread> g_hub;
calibration::CalibrationStore* g_store = nullptr;
std::unique_ptr<calibration::Calibration> g_inProcess;

double Median(std::vector<double>& us) {
    if (us.empty()) return 0.0;
    std::nth_element(us.begin(), us.begin() + long(us.size() / 2), us.end());
    return us[us.size() / 2];
}

std::unique_ptr<httplib::Client> Connect() {
    auto c = std::make_unique<httplib::Client>("127.0.0.1", g_hub->port());
    c->set_keep_alive(true);
    c->set_tcp_nodelay(true);
    return c;
}

const char kRATrue[] =
    "/celaris/v1/calibration/0/ratrue?Index=500&ClientID=1&ClientTransactionID=1";
const char kTrueToScope[] = "/celaris/v1/calibration/0/truetoscope";
const char kTrueToScopeForm[] = "RightAscension=6.75&Declination=-16.7&ClientID=1";

bool Answered(const httplib::Result& res) {
    return res && res->status == 200 && res->body.find("\"ErrorNumber\":0") != std::string::npos;
}

// The observations of a mount with a few arc minutes of error, spread over
// the sky the way a long automatic run spreads them.
void FillStore(calibration::CalibrationStore& store) {
    ISVD* e = store.program().hub().engine().get();
    e->put_HOffset(300 * kArcsec);
    e->put_DecOffset(-200 * kArcsec);
    e->put_Collimation(120 * kArcsec);
    e->put_PolarLeftRight(240 * kArcsec);
    e->put_PolarVertical(-180 * kArcsec);
    e->put_TubeFlex(90 * kArcsec);
    e->put_ApplyCorrections(-1);
    const double lst = 2.0;
    std::vector<std::array<double, 4>> sky;
    for (int i = 0; i < kObservations; ++i) {
        const double ha = -1.4 + 2.8 * i / (kObservations - 1);
        const double dec = -0.3 + 1.5 * ((i * 7) % kObservations) / kObservations;
        double haScope = 0, decScope = 0;
        e->GetScopeHADec(ha, dec, &haScope, &decScope);
        sky.push_back({lst - ha, dec, lst - haScope + 1e-6 * std::sin(i), decScope});
    }
    store.StartCalibration();
    // One fit at the end, not one per observation.
    store.ApplyCorr(false);
    for (int i = 0; i < kObservations; ++i)
        store.Add2Cal(sky[size_t(i)][0], sky[size_t(i)][1], sky[size_t(i)][2], sky[size_t(i)][3],
                      lst, QStringLiteral("Star %1").arg(i + 1), false, true);
    store.ApplyCorr(true);
    store.Recalculate();
    store.StopCalibration();
}

void BM_RATrue_InProcess(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(g_inProcess->RATrue(500));
}
BENCHMARK(BM_RATrue_InProcess);

void BM_RATrue_Http(benchmark::State& state) {
    auto client = Connect();
    for (auto _ : state) {
        auto res = client->Get(kRATrue);
        if (!Answered(res)) {
            state.SkipWithError("request failed");
            break;
        }
        benchmark::DoNotOptimize(res->body.data());
    }
}
BENCHMARK(BM_RATrue_Http)->UseRealTime();

// Both ways alternately, each call timed: the medians and their difference.
template <typename Local, typename Remote>
void AddedLatency(benchmark::State& state, Local local, Remote remote) {
    auto client = Connect();
    std::vector<double> in, over;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        local();
        const auto t1 = Clock::now();
        auto res = remote(*client);
        const auto t2 = Clock::now();
        if (!Answered(res)) {
            state.SkipWithError("request failed");
            break;
        }
        in.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        over.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
    }
    const double l = Median(in), r = Median(over);
    state.counters["in_process_median_us"] = l;
    state.counters["http_median_us"] = r;
    state.counters["added_median_us"] = r - l;
}

// A property read (GET with Index).
void BM_AddedLatency_RATrue(benchmark::State& state) {
    AddedLatency(
        state, [] { benchmark::DoNotOptimize(g_inProcess->RATrue(500)); },
        [](httplib::Client& c) { return c.Get(kRATrue); });
}
BENCHMARK(BM_AddedLatency_RATrue)->Iterations(5000);

// A method with by-reference results (PUT form, JSON object back).
void BM_AddedLatency_TrueToScope(benchmark::State& state) {
    AddedLatency(
        state,
        [] {
            double ra = 0, dec = 0;
            g_inProcess->TrueToScope(6.75, -16.7, ra, dec);
            benchmark::DoNotOptimize(ra);
        },
        [](httplib::Client& c) {
            return c.Put(kTrueToScope, kTrueToScopeForm, "application/x-www-form-urlencoded");
        });
}
BENCHMARK(BM_AddedLatency_TrueToScope)->Iterations(5000);

// The store's refit: engine restart, 999 observations handed over, the fit,
// the residuals, the terms read back and kept, the fit's statistics.
void BM_Recalculate999_Store(benchmark::State& state) {
    for (auto _ : state) g_store->Recalculate();
    state.counters["observations"] = g_store->ObservationCount();
}
BENCHMARK(BM_Recalculate999_Store)->Unit(benchmark::kMillisecond);

// Baseline: the engine's share of it alone.
void BM_Refit999_EngineOnly(benchmark::State& state) {
    ISVD* e = g_store->program().hub().engine().get();
    const auto& list = g_store->observations();
    for (auto _ : state) {
        e->Calibrate();
        for (const auto& r : list)
            e->AddObservation(r.LST - r.RATrue, r.DecTrue, r.LST - r.RAScope, r.DecScope);
        e->CalculateErrors();
        double ra = 0, dec = 0;
        for (int n = 1; n <= int(list.size()); ++n) e->GetObservationError(n, &ra, &dec);
        benchmark::DoNotOptimize(ra);
    }
}
BENCHMARK(BM_Refit999_EngineOnly)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    RegisterSimulatorDriver();
    test::HubThread::Setup setup;
    setup.statusTimer = false;
    setup.calibration = true;
    g_hub = std::make_unique<test::HubThread>(setup);
    g_store = g_hub->store();
    g_hub->Run([](hub::Program&) { FillStore(*g_store); });
    g_inProcess = std::make_unique<calibration::Calibration>(*g_store);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    g_inProcess.reset();
    g_hub.reset();
    return 0;
}
