// The whole Start job through the real window (click, wait for the box) on the carried image,
// on the Qt port, timer and pump against vqradio-sim on a pseudo-terminal.
#include <benchmark/benchmark.h>
#include <time.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>

#include "window_on_pty.h"

namespace {

using vq::test::LoggedRequest;
using vq::test::WindowOnPty;

double ProcessCpuSeconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double LoadAverage() {
    double load[1] = {0};
    return getloadavg(load, 1) == 1 ? load[0] : -1;
}

struct JobFigures {
    double wallSeconds = 0;
    // This process only: the simulator is a child and is not counted.
    double cpuSeconds = 0;
    int frames = 0;
    int blocks = 0;
    // Echoes and answers: everything that came back on the line.
    long long returnedBytes = 0;
    bool completed = false;
};

JobFigures RunStartJob(WindowOnPty& rig) {
    const std::size_t earlier = vq::test::LoggedRequests(rig.Sim()).size();
    rig.Box().shown.clear();

    JobFigures job;
    const double cpuBefore = ProcessCpuSeconds();
    const auto wallBefore = std::chrono::steady_clock::now();
    rig.ClickStart();
    job.wallSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - wallBefore).count();
    job.cpuSeconds = ProcessCpuSeconds() - cpuBefore;

    job.completed = rig.Box().shown.size() == 1 && rig.Box().shown[0].prompt == "Completed.";
    rig.WaitUntilSimSeesClosed();
    const auto requests = vq::test::LoggedRequests(rig.Sim());
    for (std::size_t i = earlier; i < requests.size(); ++i) {
        const LoggedRequest& request = requests[i];
        if (request.kind.starts_with("flash-")) ++job.frames;
        if (request.kind == "flash-write") ++job.blocks;
        job.returnedBytes += request.bytes + request.answer;
    }
    return job;
}

// One Start job per iteration against a simulator started with these options, each job's
// figures added to total; false, with the benchmark marked as failed, when a job did not
// complete.
bool RunJobs(benchmark::State& state, const QStringList& simOptions, JobFigures& total) {
    WindowOnPty rig;
    rig.StartSim(simOptions);
    if (!rig.Sim().started()) {
        state.SkipWithError("vqradio-sim did not start");
        return false;
    }
    for (auto _ : state) {
        const JobFigures job = RunStartJob(rig);
        if (!job.completed) {
            state.SkipWithError("the job did not complete");
            return false;
        }
        state.SetIterationTime(job.wallSeconds);
        total.wallSeconds += job.wallSeconds;
        total.cpuSeconds += job.cpuSeconds;
        total.frames += job.frames;
        total.blocks += job.blocks;
        total.returnedBytes += job.returnedBytes;
    }
    return true;
}

void Report(benchmark::State& state, const JobFigures& total, double iterations) {
    state.counters["wall_ms"] = 1e3 * total.wallSeconds / iterations;
    state.counters["tool_cpu_ms"] = 1e3 * total.cpuSeconds / iterations;
    state.counters["cpu_share_percent"] = 100.0 * total.cpuSeconds / total.wallSeconds;
    state.counters["frames"] = total.frames / iterations;
    state.counters["blocks"] = total.blocks / iterations;
    state.counters["wall_us_per_block"] = 1e6 * total.wallSeconds / total.blocks;
    state.counters["cpu_us_per_block"] = 1e6 * total.cpuSeconds / total.blocks;
    state.counters["load_avg_1min"] = LoadAverage();
}

// Against the unpaced simulator the job costs only the tool and the pseudo-terminal.
// Target: under 1 s wall.
void BM_StartJobUnpaced(benchmark::State& state) {
    JobFigures total;
    if (RunJobs(state, {}, total)) Report(state, total, static_cast<double>(state.iterations()));
}
BENCHMARK(BM_StartJobUnpaced)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// At 57600 baud the bytes coming back at 10 bits each bound the job from below; the tool
// should add little to that and spend little CPU while it waits. Targets: within 2% of the
// bound, CPU under 5% of the wall time.
void BM_StartJobPacedAt57600(benchmark::State& state) {
    constexpr double kBaud = 57600;
    constexpr double kBitsPerByte = 10;
    JobFigures total;
    if (!RunJobs(state, {"--paced"}, total)) return;
    const double iterations = static_cast<double>(state.iterations());
    Report(state, total, iterations);
    const double bound = static_cast<double>(total.returnedBytes) * kBitsPerByte / kBaud;
    state.counters["line_bound_ms"] = 1e3 * bound / iterations;
    state.counters["wall_to_bound"] = total.wallSeconds / bound;
}
BENCHMARK(BM_StartJobPacedAt57600)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
