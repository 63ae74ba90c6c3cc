// What the link costs while it waits for the radio on the real Qt port, timer and pump,
// against vqradio-sim on a pseudo-terminal.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QCoreApplication>
#include <chrono>

#include "fake_window.h"
#include "link.h"
#include "qt_event_pump.h"
#include "qt_serial_port.h"
#include "qt_timer.h"
#include "sim_process.h"

namespace {

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct LinkOnQt {
    explicit LinkOnQt(const QString& device) { port.setDeviceName(device); }
    vq::QtSerialPort port;
    vq::QtTimer timer;
    vq::QtTimer quietTimer;
    vq::QtEventPump pump;
    vq::test::FakeWindow window;
    vq::Link link{port, timer, quietTimer, pump, window};
};

// Runs one exchange per iteration with the port already open and reports the CPU this
// process spent in it as a share of one core over the wall time.
void MeasureExchanges(benchmark::State& state, const QStringList& simOptions) {
    vq::test::SimProcess sim(simOptions);
    if (!sim.started()) {
        state.SkipWithError("vqradio-sim did not start");
        return;
    }
    LinkOnQt qt(sim.device());
    qt.port.setSettings("57600,n,8,1");
    qt.port.setPortOpen(true);

    double cpu = 0;
    double wall = 0;
    int count = 0;
    for (auto _ : state) {
        const double cpuBefore = ProcessCpuSeconds();
        const auto wallBefore = std::chrono::steady_clock::now();
        count = qt.link.ExchangeRequest("QK~VQ-K38\r", 16);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - wallBefore;
        cpu += ProcessCpuSeconds() - cpuBefore;
        wall += elapsed.count();
        state.SetIterationTime(elapsed.count());
    }
    qt.port.setPortOpen(false);
    state.counters["bytes"] = count;
    state.counters["cpu_ms"] =
        benchmark::Counter(1e3 * cpu / static_cast<double>(state.iterations()));
    state.counters["cpu_percent_of_core"] = 100.0 * cpu / wall;
}

// A silent radio: the exchange waits the whole 5000 ms time-out. Target: under 1% of one core.
void BM_SilentRadioTimeOutWait(benchmark::State& state) {
    MeasureExchanges(state, {"--silent"});
}
BENCHMARK(BM_SilentRadioTimeOutWait)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

// An answering radio: the wait ends as soon as the 16th byte is in.
void BM_AnsweredIdentification(benchmark::State& state) {
    MeasureExchanges(state, {});
}
BENCHMARK(BM_AnsweredIdentification)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
