// What the Alpaca server adds to a client call: GET rightascension over
// HTTP on loopback against the same member called in process, in the same
// run, on a hub with the built-in simulator.
//
// Targets: median added latency at most 0.3 ms; at least 3000 requests per
// second with 4 clients at once (each on its own kept-alive connection); a
// new client's PUT abortslew answered within 50 ms while 1000 idle
// kept-alive connections and 16 half-sent requests are open, beside the
// same call on a quiet server.
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

#include "celaris/drivers/simulator/simulated_mount.h"
#include "celaris/hub/telescope.h"
#include "hub_thread.h"
#include "raw_http.h"

using namespace celaris;
using Clock = std::chrono::steady_clock;

namespace {

std::unique_ptr<test::HubThread> g_hub;
hub::Telescope* g_inProcess = nullptr;

double Median(std::vector<double>& us) {
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
    const double l = Median(local), r = Median(remote);
    state.counters["in_process_median_us"] = l;
    state.counters["http_median_us"] = r;
    state.counters["added_median_us"] = r - l;
}
BENCHMARK(BM_AddedLatency)->Iterations(5000);

// A new client (its own connection) sends PUT abortslew; each call is
// timed from connecting to the answer.
void NewClientAborts(benchmark::State& state) {
    const std::string form = "ClientID=500&ClientTransactionID=1";
    std::vector<double> ms;
    for (auto _ : state) {
        const auto t0 = Clock::now();
        httplib::Client client("127.0.0.1", g_hub->port());
        auto res =
            client.Put("/api/v1/telescope/0/abortslew", form, "application/x-www-form-urlencoded");
        const auto t1 = Clock::now();
        if (!res || res->status != 200 ||
            res->body.find("\"ErrorNumber\":0") == std::string::npos) {
            state.SkipWithError("abortslew failed");
            break;
        }
        ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    if (ms.empty()) return;
    state.counters["max_ms"] = *std::max_element(ms.begin(), ms.end());
    state.counters["median_ms"] = Median(ms);
}

void BM_NewClientAbortSlew_Quiet(benchmark::State& state) {
    NewClientAborts(state);
}
BENCHMARK(BM_NewClientAbortSlew_Quiet)->Iterations(300)->UseRealTime();

// The same with the crowd open: every idle connection has had one answer
// and stays kept alive (from ten loopback addresses, as ten machines); each
// slow one has sent half a request and adds a byte now and then.
void BM_NewClientAbortSlew_1000Idle16Slow(benchmark::State& state) {
    constexpr int kIdle = 1000, kSlow = 16, kPeers = 10;
    std::vector<std::unique_ptr<test::RawHttp>> idle, slow;
    for (int i = 0; i < kIdle; ++i) {
        const std::string from = "127.0.0." + std::to_string(2 + i % kPeers);
        idle.push_back(std::make_unique<test::RawHttp>(g_hub->port(), from.c_str()));
        idle.back()->Send("GET /management/apiversions HTTP/1.1\r\nHost: b\r\n\r\n");
    }
    for (auto& c : idle)
        if (!c->Read(std::chrono::seconds(10))) {
            state.SkipWithError("an idle connection was not answered");
            return;
        }
    for (int i = 0; i < kSlow; ++i) {
        slow.push_back(std::make_unique<test::RawHttp>(g_hub->port(), "127.0.0.20"));
        slow.back()->Send("PUT /api/v1/telescope/0/abortslew HTTP/1.1\r\nX-Pad: ");
    }
    std::thread trickle([&] {
        for (int i = 0; i < 50 && !slow.empty(); ++i) {
            for (auto& c : slow) c->Send("a");
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    });
    NewClientAborts(state);
    trickle.join();
    // They were all still there while the new clients were served.
    int idleOpen = 0, slowOpen = 0;
    for (auto& c : idle) idleOpen += c->Quiet() ? 1 : 0;
    for (auto& c : slow) slowOpen += c->Quiet() ? 1 : 0;
    state.counters["idle_open"] = idleOpen;
    state.counters["slow_open"] = slowOpen;
}
BENCHMARK(BM_NewClientAbortSlew_1000Idle16Slow)->Iterations(300)->UseRealTime();

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
    // The aborting clients' hub object is connected, so each abort reaches
    // the mount.
    Connect(500);

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
