// What the Alpaca server adds to a client call: GET rightascension over
// HTTP on loopback against the same member called in process, in the same
// run, on a hub with the built-in simulator.
//
// Targets: median added latency at most 0.3 ms; at least 3000 requests per
// second with 4 clients at once (each on its own kept-alive connection).
//
// The in-process call runs on the benchmark's thread while the hub's own
// thread is idle (its status timer is off), so nothing else touches the
// hub meanwhile.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include "../tests/support/hub_thread.h"
#include "celaris/drivers/simulator/simulated_mount.h"
#include "celaris/hub/telescope.h"

using namespace celaris;
using Clock = std::chrono::steady_clock;

namespace {

std::unique_ptr<test::HubThread> g_hub;
hub::Telescope* g_inProcess = nullptr;

double MedianMicroseconds(std::vector<double>& us) {
    if (us.empty()) return 0.0;
    std::nth_element(us.begin(), us.begin() + long(us.size() / 2), us.end());
    return us[us.size() / 2];
}

std::unique_ptr<httplib::Client> Connect(int clientId) {
    auto c = std::make_unique<httplib::Client>("127.0.0.1", g_hub->port());
    c->set_keep_alive(true);
    c->set_tcp_nodelay(true);
    c->Put("/api/v1/telescope/0/connected", "Connected=true&ClientID=" + std::to_string(clientId),
           "application/x-www-form-urlencoded");
    return c;
}

std::string RightAscensionTarget(int clientId) {
    return "/api/v1/telescope/0/rightascension?ClientID=" + std::to_string(clientId) +
           "&ClientTransactionID=1";
}

void BM_RightAscension_InProcess(benchmark::State& state) {
    for (auto _ : state) benchmark::DoNotOptimize(g_inProcess->RightAscension());
}
BENCHMARK(BM_RightAscension_InProcess);

void BM_RightAscension_Http(benchmark::State& state) {
    const int id = 100 + state.thread_index();
    auto client = Connect(id);
    const std::string target = RightAscensionTarget(id);
    for (auto _ : state) {
        auto res = client->Get(target);
        if (!res || res->status != 200) {
            state.SkipWithError("request failed");
            break;
        }
        benchmark::DoNotOptimize(res->body.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RightAscension_Http)->UseRealTime();

// Four clients at once for a second per iteration, counted on the wall
// clock: the server's throughput.
void BM_FourClientsThroughput(benchmark::State& state) {
    constexpr int kClients = 4;
    double total = 0, seconds = 0;
    for (auto _ : state) {
        std::atomic<bool> failed{false};
        std::vector<long> counts(kClients, 0);
        std::vector<std::thread> threads;
        const auto start = Clock::now();
        const auto end = start + std::chrono::seconds(1);
        for (int k = 0; k < kClients; ++k)
            threads.emplace_back([&, k] {
                auto client = Connect(300 + k);
                const std::string target = RightAscensionTarget(300 + k);
                while (Clock::now() < end) {
                    auto res = client->Get(target);
                    if (!res || res->status != 200) {
                        failed = true;
                        return;
                    }
                    ++counts[size_t(k)];
                }
            });
        for (auto& t : threads) t.join();
        if (failed) state.SkipWithError("request failed");
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        for (long c : counts) total += double(c);
    }
    state.counters["requests_per_second"] = total / seconds;
}
BENCHMARK(BM_FourClientsThroughput)->Iterations(3)->Unit(benchmark::kMillisecond);

// Both ways alternately, each call timed: the medians and their difference.
void BM_AddedLatency(benchmark::State& state) {
    auto client = Connect(200);
    const std::string target = RightAscensionTarget(200);
    std::vector<double> local, remote;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        benchmark::DoNotOptimize(g_inProcess->RightAscension());
        const auto t1 = Clock::now();
        auto res = client->Get(target);
        const auto t2 = Clock::now();
        if (!res || res->status != 200) {
            state.SkipWithError("request failed");
            break;
        }
        local.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        remote.push_back(std::chrono::duration<double, std::micro>(t2 - t1).count());
    }
    const double l = MedianMicroseconds(local), r = MedianMicroseconds(remote);
    state.counters["in_process_median_us"] = l;
    state.counters["http_median_us"] = r;
    state.counters["added_median_us"] = r - l;
}
BENCHMARK(BM_AddedLatency)->Iterations(5000);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    RegisterSimulatorDriver();
    test::HubThread::Setup setup;
    setup.statusTimer = false;
    g_hub = std::make_unique<test::HubThread>(setup);
    g_inProcess = g_hub->Run([](hub::Program& p) {
        auto* t = new hub::Telescope(p.hub());
        t->SetConnected(true);
        return t;
    });

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    g_hub->Run([](hub::Program&) {
        delete g_inProcess;
        g_inProcess = nullptr;
    });
    g_hub.reset();
    return 0;
}
