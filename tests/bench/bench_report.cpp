// bench_report: measures, in one run, the startup reading of the carried image, the loading
// of a whole image file in each format, and the vqflash-cli program job against vqradio-sim
// (unpaced, and paced at 57600 baud), and prints the figures as a Markdown table.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "embedded_image.h"
#include "file_text_input.h"
#include "image_loader.h"
#include "memory_image.h"
#include "sim_process.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kStartupRuns = 200;
constexpr int kFileLoadRuns = 50;
constexpr int kUnpacedJobs = 10;
constexpr int kPacedBaud = 57600;
// Start bit, eight data bits, stop bit.
constexpr int kBitsPerByte = 10;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double Seconds(const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
}

// The median wall time of `runs` calls, in seconds.
double MedianTime(int runs, const std::function<void()>& work) {
    std::vector<double> times;
    times.reserve(static_cast<std::size_t>(runs));
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(Seconds(Clock::now() - start));
    }
    return Median(times);
}

struct ImageFile {
    QString path;
    qint64 bytes = 0;
    int lines = 0;
};

std::optional<ImageFile> Describe(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QByteArray text = file.readAll();
    return ImageFile{path, text.size(), static_cast<int>(text.count('\n'))};
}

bool RunTool(const QString& program, const QStringList& arguments) {
    if (!QFileInfo(program).isExecutable()) return false;
    QProcess process;
    process.start(program, arguments);
    return process.waitForFinished(60'000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// One vqflash-cli run as a direct child, so that wait4 gives its own resource use.
struct ChildRun {
    bool succeeded = false;  // exit status 0 and the wanted first line on stdout
    double wallSeconds = 0;
    double cpuSeconds = 0;  // user and system time of the tool alone
    long maxRssKiB = 0;
};

ChildRun RunCli(const std::vector<std::string>& arguments, const QString& folder,
                const QByteArray& wantedOut) {
    const std::string program = VQ_CLI_PROGRAM;
    const std::string out = (folder + "/cli.out").toStdString();
    const std::string err = (folder + "/cli.err").toStdString();
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    // Progress goes to a file, as when a script keeps the tool's log.
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);

    ChildRun run;
    const auto start = Clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid) return run;
    run.wallSeconds = Seconds(Clock::now() - start);
    run.cpuSeconds = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    run.maxRssKiB = usage.ru_maxrss;
    QFile stdoutFile(QString::fromStdString(out));
    run.succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                    stdoutFile.open(QIODevice::ReadOnly) &&
                    stdoutFile.readAll().startsWith(wantedOut);
    return run;
}

ChildRun RunProgramJob(const QString& device, const QString& folder) {
    return RunCli({"program", "--port", device.toStdString()}, folder, "Completed.\n");
}

// What went over the line in one job, from the simulator's log.
struct Exchanged {
    int frames = 0;  // flash-mode frames: erase, blocks, end
    int blocks = 0;
    int requests = 0;
    long long returnedBytes = 0;  // echoes and answers
};

Exchanged FromLog(const vq::test::SimProcess& sim) {
    Exchanged e;
    for (const QString& line : sim.logLines(QStringLiteral("request"))) {
        const QString kind = line.section(u' ', 1, 1);
        ++e.requests;
        e.frames += kind.startsWith(u"flash-");
        e.blocks += kind == u"flash-write";
        for (const QString& field : line.split(u' ')) {
            if (field.startsWith(u"bytes=")) e.returnedBytes += field.mid(6).toLongLong();
            if (field.startsWith(u"answer=")) e.returnedBytes += field.mid(7).toLongLong();
        }
    }
    return e;
}

struct Row {
    QString measure;
    QString figure;
    QString kind;
    QString how;
};

QString Ms(double seconds) {
    return QString::number(seconds * 1e3, 'f', 2) + " ms";
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    std::vector<Row> rows;
    bool allRan = true;

    // Startup: the window clears the image, fills the line table and reads every line.
    {
        auto image = std::make_unique<vq::MemoryImage>();
        auto carried = std::make_unique<vq::EmbeddedImage>();
        const double t = MedianTime(kStartupRuns, [&] {
            image->ClearImage();
            carried->FillEmbeddedLines();
            carried->ReadInto(*image);
        });
        rows.push_back({"Startup: clear the image, fill the line table, read the carried lines",
                        Ms(t), "absolute",
                        QString("median of %1 runs; %2 lines")
                            .arg(kStartupRuns)
                            .arg(carried->EmbeddedLineCount)});
    }

    // Whole image files of each format, made from the carried image. objcopy writes extended
    // segment records; from one run of data its records stay inside the image's rows.
    {
        const QString s28 = dir.filePath("carried.s28");
        const QString filled = dir.filePath("filled.s28");
        const QString hex = dir.filePath("carried.hex");
        const bool made =
            RunTool(VQ_SREC_CAT, {VQ_FIRMWARE_FILE, "-o", s28, "-Address_Length=3"}) &&
            RunTool(VQ_SREC_CAT, {s28, "-fill", "0xFF", "0xC0000", "0x100000", "-o", filled,
                                  "-Address_Length=3"}) &&
            RunTool(VQ_OBJCOPY, {"-I", "srec", "-O", "ihex", filled, hex});
        for (const auto& [name, path] :
             {std::pair{QString("S-record"), s28}, std::pair{QString("Intel HEX"), hex}}) {
            const auto file = made ? Describe(path) : std::nullopt;
            if (!file) {
                rows.push_back({"Load a whole " + name + " file", "not run", "absolute",
                                "srec_cat or objcopy missing"});
                allRan = false;
                continue;
            }
            auto image = std::make_unique<vq::MemoryImage>();
            vq::FileTextInput files;
            bool loaded = true;
            const double t = MedianTime(kFileLoadRuns, [&] {
                loaded = vq::LoadImageFile(path.toStdString(), files, *image).loaded() && loaded;
            });
            rows.push_back({"Load a whole " + name + " file (LoadImageFile, FileTextInput)",
                            loaded ? Ms(t) : "refused", "absolute",
                            QString("median of %1 runs; %2 lines, %3 KiB")
                                .arg(kFileLoadRuns)
                                .arg(file->lines)
                                .arg(file->bytes / 1024)});
            allRan = allRan && loaded;
        }
    }

    // The whole job against the unpaced simulator, a fresh radio for every run.
    long maxRssKiB = 0;
    {
        // What every run of the tool costs before it reaches a radio: Qt, the carried image.
        std::vector<double> startupCpu;
        for (int i = 0; i < kUnpacedJobs; ++i) {
            const ChildRun run = RunCli({"info"}, dir.path(), "used rows");
            if (run.succeeded) startupCpu.push_back(run.cpuSeconds);
        }
        std::vector<double> wall, cpu, cpuPerBlock;
        int blocks = 0;
        for (int i = 0; i < kUnpacedJobs; ++i) {
            vq::test::SimProcess sim;
            if (!sim.started()) break;
            const ChildRun run = RunProgramJob(sim.device(), dir.path());
            const Exchanged line = FromLog(sim);
            if (!run.succeeded || line.blocks == 0) break;
            blocks = line.blocks;
            wall.push_back(run.wallSeconds);
            cpu.push_back(run.cpuSeconds);
            cpuPerBlock.push_back(run.cpuSeconds / line.blocks);
            maxRssKiB = std::max(maxRssKiB, run.maxRssKiB);
        }
        if (static_cast<int>(wall.size()) == kUnpacedJobs) {
            const QString runs = QString("median of %1 jobs").arg(kUnpacedJobs);
            rows.push_back({"vqflash-cli program, unpaced simulator: wall time", Ms(Median(wall)),
                            "absolute", runs + QString("; %1 blocks written").arg(blocks)});
            rows.push_back({"vqflash-cli program, unpaced simulator: the tool's CPU time",
                            Ms(Median(cpu)), "absolute", runs + "; user + system, from wait4"});
            rows.push_back({"vqflash-cli program, unpaced simulator: the tool's CPU per block",
                            QString::number(Median(cpuPerBlock) * 1e6, 'f', 0) + " µs", "absolute",
                            runs + "; CPU time over blocks written"});
            if (!startupCpu.empty()) {
                const double own = (Median(cpu) - Median(startupCpu)) / blocks;
                rows.push_back(
                    {"vqflash-cli program, unpaced simulator: the tool's CPU per "
                     "block, start excluded",
                     QString::number(own * 1e6, 'f', 0) + " µs", "absolute",
                     QString("(median CPU of program - median CPU of info, %1 ms) / "
                             "blocks written")
                         .arg(Median(startupCpu) * 1e3, 0, 'f', 2)});
            }
        } else {
            rows.push_back({"vqflash-cli program, unpaced simulator", "failed", "absolute",
                            "a job did not complete"});
            allRan = false;
        }
    }

    // The same job paced at the line speed, against what the bytes on the line need at least.
    {
        vq::test::SimProcess sim({"--paced"});
        const ChildRun run = sim.started() ? RunProgramJob(sim.device(), dir.path()) : ChildRun{};
        const Exchanged line = FromLog(sim);
        if (run.succeeded) {
            const double bound =
                static_cast<double>(line.returnedBytes) * kBitsPerByte / kPacedBaud;
            rows.push_back(
                {"vqflash-cli program, paced at 57600 baud: wall time / line-rate bound",
                 QString::number(run.wallSeconds / bound, 'f', 3), "ratio",
                 QString("%1 s over %2 s; %3 requests, %4 frames, %5 bytes returned (echo and "
                         "answers), %6 bits a byte")
                     .arg(run.wallSeconds, 0, 'f', 2)
                     .arg(bound, 0, 'f', 2)
                     .arg(line.requests)
                     .arg(line.frames)
                     .arg(line.returnedBytes)
                     .arg(kBitsPerByte)});
            rows.push_back(
                {"vqflash-cli program, paced at 57600 baud: the tool's CPU / wall time",
                 QString::number(100 * run.cpuSeconds / run.wallSeconds, 'f', 2) + " %", "ratio",
                 QString("%1 s CPU, user + system, from wait4").arg(run.cpuSeconds, 0, 'f', 3)});
            maxRssKiB = std::max(maxRssKiB, run.maxRssKiB);
        } else {
            rows.push_back({"vqflash-cli program, paced at 57600 baud", "failed", "ratio",
                            "the job did not complete"});
            allRan = false;
        }
    }

    rows.push_back({"Peak memory of vqflash-cli program (max RSS)",
                    QString::number(static_cast<double>(maxRssKiB) / 1024, 'f', 1) + " MiB",
                    "absolute", "largest ru_maxrss of the jobs above, from wait4"});

    utsname host{};
    uname(&host);
    // Other work on the machine shows in the wall times; the load says how much there was.
    double load[1] = {-1};
    getloadavg(load, 1);
    std::printf("bench_report, %s, %s %s, %ld CPUs, load average %.2f at the end\n\n",
                qPrintable(QDateTime::currentDateTime().toString(Qt::ISODate)), host.sysname,
                host.machine, sysconf(_SC_NPROCESSORS_ONLN), load[0]);
    std::printf("| Measure | Figure | Kind | How |\n|---|---|---|---|\n");
    for (const Row& row : rows) {
        std::printf("| %s | %s | %s | %s |\n", qPrintable(row.measure), qPrintable(row.figure),
                    qPrintable(row.kind), qPrintable(row.how));
    }
    return allRan ? 0 : 1;
}
