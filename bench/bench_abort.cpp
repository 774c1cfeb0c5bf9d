// AbortSlew while another client's synchronous SlewToCoordinates runs, over
// HTTP on loopback against the built-in simulator (4 degrees a second, a
// slew of about 90 degrees): how long the abort's own answer takes, and how
// long until the slewing call has ended, against an AbortSlew to an idle
// mount in the same run.
//
// Target: the abort answered within 50 ms during the slew, the slewing call
// ended within one wait interval (50 ms) more.
#include <benchmark/benchmark.h>
#include <httplib.h>

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>

#include <chrono>
#include <cmath>
#include <memory>
#include <string>
#include <thread>

#include "celaris/drivers/simulator/simulated_mount.h"
#include "hub_thread.h"

using namespace celaris;
using Clock = std::chrono::steady_clock;

namespace {

std::unique_ptr<test::HubThread> g_hub;
const std::string kApi = "/api/v1/telescope/0/";

std::unique_ptr<httplib::Client> Client(int id) {
    auto c = std::make_unique<httplib::Client>("127.0.0.1", g_hub->port());
    c->set_keep_alive(true);
    c->set_tcp_nodelay(true);
    c->set_read_timeout(std::chrono::seconds(120));
    c->Put(kApi + "connected", "Connected=true&ClientID=" + std::to_string(id),
           "application/x-www-form-urlencoded");
    return c;
}

QJsonValue Value(httplib::Client& c, const std::string& member, int id) {
    auto res = c.Get(kApi + member + "?ClientID=" + std::to_string(id));
    if (!res) return {};
    return QJsonDocument::fromJson(QByteArray::fromStdString(res->body))
        .object()
        .value(QStringLiteral("Value"));
}

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

bool Abort(httplib::Client& c) {
    auto res = c.Put(kApi + "abortslew", "ClientID=2", "application/x-www-form-urlencoded");
    return res && res->status == 200;
}

void BM_AbortSlew_Idle(benchmark::State& state) {
    auto b = Client(2);
    for (auto _ : state)
        if (!Abort(*b)) state.SkipWithError("abort failed");
}
BENCHMARK(BM_AbortSlew_Idle)->Unit(benchmark::kMillisecond);

void BM_AbortSlew_DuringAnotherClientsSynchronousSlew(benchmark::State& state) {
    auto a = Client(1);
    auto b = Client(2);
    double abortMs = 0, endMs = 0, maxAbortMs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const double lst = Value(*b, "siderealtime", 2).toDouble();
        const std::string form = "RightAscension=" + std::to_string(std::fmod(lst + 21.0, 24.0)) +
                                 "&Declination=0&ClientID=1";
        Clock::time_point ended;
        int error = -1;
        std::thread slewing([&] {
            auto res =
                a->Put(kApi + "slewtocoordinates", form, "application/x-www-form-urlencoded");
            ended = Clock::now();
            if (res)
                error = QJsonDocument::fromJson(QByteArray::fromStdString(res->body))
                            .object()
                            .value(QStringLiteral("ErrorNumber"))
                            .toInt();
        });
        while (!Value(*b, "slewing", 2).toBool())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));  // well under way
        state.ResumeTiming();
        const auto sent = Clock::now();
        const bool ok = Abort(*b);
        const auto answered = Clock::now();
        state.PauseTiming();
        slewing.join();
        if (!ok || error != 0x40B) state.SkipWithError("the slew did not end by the abort");
        const double ms = Ms(answered - sent);
        abortMs += ms;
        maxAbortMs = std::max(maxAbortMs, ms);
        endMs += Ms(ended - sent);
        state.ResumeTiming();
    }
    const double n = double(state.iterations());
    state.counters["abort_answer_ms"] = abortMs / n;
    state.counters["abort_answer_max_ms"] = maxAbortMs;
    state.counters["slewing_call_ended_ms"] = endMs / n;
}
BENCHMARK(BM_AbortSlew_DuringAnotherClientsSynchronousSlew)
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    RegisterSimulatorDriver();
    test::HubThread::Setup setup;
    g_hub = std::make_unique<test::HubThread>(setup);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_hub.reset();
    return 0;
}
