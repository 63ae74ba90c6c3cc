// vqflash-cli: the production-line front end over the same operations as the window.

#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QSerialPortInfo>
#include <cstdio>
#include <memory>
#include <vector>

#include "cli_controls.h"
#include "cli_options.h"
#include "embedded_image.h"
#include "file_text_input.h"
#include "flash_programmer.h"
#include "image_loader.h"
#include "link.h"
#include "memory_image.h"
#include "operator_commands.h"
#include "progress_printer.h"
#include "qt_event_pump.h"
#include "qt_serial_port.h"
#include "qt_timer.h"
#include "range_checksum.h"

namespace vq::cli {
namespace {

void Say(const std::string& text) {
    std::fprintf(stdout, "%s\n", text.c_str());
    std::fflush(stdout);
}

int ExitFor(const CommandOutcome& outcome) {
    if (outcome.success) return ExitSuccess;
    switch (outcome.step) {
        case Step::Identify:
            return outcome.result == ReplyRegionError ? ExitRegionError : ExitIdentifyFailed;
        case Step::Connect:
            return ExitConnectFailed;
        case Step::Erase:
            return ExitEraseFailed;
        case Step::Write:
            return ExitWriteFailed;
        case Step::Disconnect:
            return ExitDisconnectFailed;
    }
    return ExitFailure;
}

// The stable names udev gives serial devices, by the device they point at.
QStringList ByIdNames(const QString& systemLocation) {
    QStringList names;
    const QDir byId("/dev/serial/by-id");
    const QString target = QFileInfo(systemLocation).canonicalFilePath();
    for (const QFileInfo& link : byId.entryInfoList(QDir::System | QDir::Files)) {
        if (link.canonicalFilePath() == target) names << link.absoluteFilePath();
    }
    return names;
}

int ListPorts() {
    const auto ports = QSerialPortInfo::availablePorts();
    if (ports.isEmpty()) Say("no serial ports found");
    for (const QSerialPortInfo& info : ports) {
        QString line = info.systemLocation();
        if (!info.description().isEmpty()) line += "  " + info.description();
        if (!info.manufacturer().isEmpty()) line += "  (" + info.manufacturer() + ")";
        for (const QString& name : ByIdNames(info.systemLocation())) line += "\n    " + name;
        Say(line.toStdString());
    }
    return ExitSuccess;
}

void Info(const MemoryImage& image) {
    int rows = 0;
    int blocks = 0;
    for (std::uint32_t first = MemoryImage::kFirstRow; first <= MemoryImage::kLastRow;
         first += kRowsPerBlock) {
        if (BlockUsed(image, first)) ++blocks;
        for (std::uint32_t row = first; row < first + kRowsPerBlock; ++row)
            rows += image.RowUsed(row);
    }
    Say("used rows: " + std::to_string(rows) + " of " + std::to_string(MemoryImage::kRowCount));
    Say("used blocks: " + std::to_string(blocks) + " of 256");
    Say("checksum C0000..FFFFF: " + ChecksumText(*RangeChecksum(image, "C0000", "FFFFF")));
}

// Several radios at once: one child process per port, each line of their output prefixed
// with its port, and one summary line per port at the end.
int ProgramSeveral(const CliOptions& options, const QStringList& arguments) {
    struct Child {
        QString port;
        std::unique_ptr<QProcess> process;
        bool ended = false;  // finished, or could not be started at all
        QString finalMessage;
        int exitCode = ExitFailure;
    };
    // The child gets every argument but the ports, and one port of its own.
    QStringList common;
    for (int i = 1; i < arguments.size(); ++i) {
        if (arguments[i] == "--port") {
            ++i;
            continue;
        }
        if (arguments[i].startsWith("--port=")) continue;
        common << arguments[i];
    }
    std::vector<Child> children;
    for (const QString& port : options.ports) {
        children.push_back({port, std::make_unique<QProcess>(), false, {}, ExitFailure});
    }

    int running = 0;
    QEventLoop loop;
    const auto ended = [&running, &loop](Child& child) {
        if (child.ended) return;
        child.ended = true;
        if (--running == 0) loop.quit();
    };
    // A last line without its newline is passed on when the child has ended.
    const auto forwardProgress = [](Child& child, bool toTheEnd) {
        QProcess& process = *child.process;
        process.setReadChannel(QProcess::StandardError);
        while (process.canReadLine() || (toTheEnd && process.bytesAvailable() > 0)) {
            const QString line = QString::fromUtf8(process.readLine()).trimmed();
            std::fprintf(stderr, "[%s] %s\n", qPrintable(child.port), qPrintable(line));
        }
        std::fflush(stderr);
    };
    for (Child& child : children) {
        QProcess* process = child.process.get();
        Child* self = &child;
        QObject::connect(process, &QProcess::readyReadStandardError,
                         [self, forwardProgress] { forwardProgress(*self, false); });
        QObject::connect(
            process, &QProcess::finished, [self, process, forwardProgress, ended](int code) {
                forwardProgress(*self, true);
                self->exitCode = code;
                process->setReadChannel(QProcess::StandardOutput);
                const QStringList lines =
                    QString::fromUtf8(process->readAllStandardOutput()).trimmed().split('\n');
                self->finalMessage = lines.last().trimmed();
                ended(*self);
            });
        // A child that cannot be started never finishes; it counts as a failed job.
        QObject::connect(process, &QProcess::errorOccurred,
                         [self, ended](QProcess::ProcessError error) {
                             if (error != QProcess::FailedToStart) return;
                             self->finalMessage = "the job could not be started";
                             ended(*self);
                         });
        ++running;
        process->start(QCoreApplication::applicationFilePath(),
                       QStringList{common} << "--port" << child.port);
    }
    if (running > 0) loop.exec();

    bool allSucceeded = true;
    for (const Child& child : children) {
        if (child.process->error() == QProcess::FailedToStart) {
            std::fprintf(stdout, "%s: %s\n", qPrintable(child.port),
                         qPrintable(child.finalMessage));
            allSucceeded = false;
        } else if (child.process->exitStatus() != QProcess::NormalExit) {
            std::fprintf(stdout, "%s: the job ended abnormally\n", qPrintable(child.port));
            allSucceeded = false;
        } else {
            std::fprintf(stdout, "%s: %s (exit %d)\n", qPrintable(child.port),
                         qPrintable(child.finalMessage), child.exitCode);
            allSucceeded = allSucceeded && child.exitCode == ExitSuccess;
        }
    }
    std::fflush(stdout);
    return allSucceeded ? ExitSuccess : ExitFailure;
}

int RunOnRadio(const CliOptions& options, const MemoryImage& image) {
    const QString& portName = options.ports.first();
    QtSerialPort port;
    const auto com = ComNumber(portName);
    if (!com) port.setDeviceName(portName);
    QtTimer timer;
    QtTimer quietTimer;
    QtEventPump pump;
    CliControls controls(options, com.value_or(1));
    Link link(port, timer, quietTimer, pump, controls);
    FlashProgrammer flash(link, image);

    const bool flashMode = options.mode == 2 || options.command == Command::Program;
    ProgressPrinter progress(
        stderr, isatty(STDERR_FILENO) != 0, options.verbose, flashMode ? "blocks" : "rows",
        flashMode ? static_cast<int>(kFrameSize)
                  : static_cast<int>(options.mode == 1 ? kPrefixedLineSize : kLineSize));
    if (!options.quiet) flash.SetObserver([&progress](const FlashEvent& e) { progress(e); });

    CommandOutcome outcome;
    switch (options.command) {
        case Command::Program:
            outcome = RunStartJob(link, flash);
            break;
        case Command::Sequence:
            outcome = RunSequence(link, flash, options.mode);
            break;
        case Command::Identify:
            outcome = RunOperatorCommand(link, flash, Step::Identify, 2);
            break;
        case Command::Connect:
            outcome = RunOperatorCommand(link, flash, Step::Connect, options.mode);
            break;
        case Command::Erase:
            outcome = RunOperatorCommand(link, flash, Step::Erase, options.mode);
            break;
        case Command::Write:
            outcome = RunOperatorCommand(link, flash, Step::Write, options.mode);
            break;
        case Command::Disconnect:
            outcome = RunOperatorCommand(link, flash, Step::Disconnect, options.mode);
            break;
        case Command::PinTest: {
            const std::int16_t code = link.TestPortLine();
            const std::string text = PortLineResultText(code);
            Say(text);
            return (code == ReplyUnknown || code == ReplyRegionError || code == ReplyNg)
                       ? ExitFailure
                       : ExitSuccess;
        }
        default:
            return ExitUsage;
    }
    progress.finish();
    Say(outcome.message);
    return ExitFor(outcome);
}

int Run(const QStringList& arguments) {
    const ParseResult parsed = ParseArguments(arguments);
    if (!parsed.text.isEmpty()) {
        std::fprintf(stdout, "%s", qPrintable(parsed.text));
        return ExitSuccess;
    }
    if (!parsed.options) {
        std::fprintf(stderr, "vqflash-cli: %s (see vqflash-cli --help)\n",
                     qPrintable(parsed.error));
        return ExitUsage;
    }
    const CliOptions& options = *parsed.options;
    if (options.command == Command::Ports) return ListPorts();

    // Loaded before any radio is reached, also when the jobs run in child processes, so that
    // a refused file ends everything at once with its own status.
    auto image = std::make_unique<MemoryImage>();
    if (options.imageFile.isEmpty()) {
        EmbeddedImage carried;
        carried.FillEmbeddedLines();
        carried.ReadInto(*image);
    } else {
        FileTextInput files;
        const LoadOutcome loaded = LoadImageFile(options.imageFile.toStdString(), files, *image);
        if (!loaded.loaded()) {
            Say(loaded.message());
            return ExitImageRefused;
        }
    }
    if (options.ports.size() > 1) return ProgramSeveral(options, arguments);

    switch (options.command) {
        case Command::Info:
            Info(*image);
            return ExitSuccess;
        case Command::Checksum: {
            const auto sum = RangeChecksum(*image, options.checksumStart.toStdString(),
                                           options.checksumStop.toStdString());
            Say(sum ? ChecksumText(*sum) : "Address out of range");
            return sum ? ExitSuccess : ExitFailure;
        }
        default:
            return RunOnRadio(options, *image);
    }
}

}  // namespace
}  // namespace vq::cli

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("vqflash-cli");
    QCoreApplication::setApplicationVersion("1.10");
    return vq::cli::Run(QCoreApplication::arguments());
}
