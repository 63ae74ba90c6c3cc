#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "fake_window.h"
#include "flash_programmer.h"
#include "link.h"
#include "memory_image.h"
#include "operator_commands.h"
#include "qt_event_pump.h"
#include "qt_serial_port.h"
#include "qt_timer.h"
#include "sim_process.h"

namespace vq::test {

using Clock = std::chrono::steady_clock;

// One request as the simulator logged it.
struct LoggedRequest {
    std::string kind;  // "identify", "flash-write", ...
    std::uint32_t address = 0;
    int answerBytes = 0;
    std::string token;  // empty when no token went back
};

std::vector<LoggedRequest> LoggedRequests(const SimProcess& sim);

// What the radio's side says about a whole program job: identified, connected, erased, every
// used block acknowledged, and the end acknowledged last. Empty when all of it holds, else
// the first thing missing.
std::string MissingFromCompletedJob(const std::vector<LoggedRequest>& requests,
                                    const MemoryImage& image);

// The first address where the radio's flash (the simulator's dump) differs from the image,
// or nothing; a missing or short dump counts as a difference at 0.
std::optional<std::uint32_t> FirstDifference(const QString& dumpPath, const MemoryImage& image);

// An image whose used blocks are these, every row of them holding data, written as an
// S-record file and read back with the tool's own loader.
struct TestImage {
    QString path;
    MemoryImage image;
};
TestImage MakeImage(const QString& path, const std::vector<std::uint32_t>& blocks,
                    std::uint32_t seed = 1);

// The descriptors of this process that a serial port or a file would hold: pipes, sockets
// and process handles are left out, as child processes come and go with theirs.
std::multiset<std::string> FileDescriptors();
// Whether any descriptor of this process refers to that path.
bool HoldsPath(const QString& path);
// Resident memory of this process, and the part of it the allocator has handed out, in KiB.
long ResidentKiB();
long HeapInUseKiB();

// The tool in this process: the Qt port, timer and pump the programs use, with the window's
// controls as plain values. It lives across jobs, as the window does.
struct InProcessTool {
    QtSerialPort port;
    QtTimer timer;
    QtTimer quietTimer;
    QtEventPump pump;
    FakeWindow window;
    MemoryImage image;
    Link link{port, timer, quietTimer, pump, window};
    FlashProgrammer flash{link, image};

    // Start: identification, then connect, erase, write and end.
    CommandOutcome Program(const QString& device);
};

// vqflash-cli program as a child process, started at once and awaited later, so that it can
// run beside a job in this process.
class CliJob {
  public:
    CliJob(const QString& device, const QString& imagePath);
    // Waits for the program to end; false when it did not end in time.
    bool finish(std::chrono::milliseconds timeout);

    int exitCode() const { return m_process.exitCode(); }
    bool crashed() const { return m_process.exitStatus() != QProcess::NormalExit; }
    // The last line of standard output: the job's message.
    QString message() const;
    QString standardOutput() const { return m_out; }
    QString standardError() const { return m_err; }
    Clock::duration duration() const { return m_ended - m_started; }

  private:
    QProcess m_process;
    Clock::time_point m_started;
    Clock::time_point m_ended;
    QString m_out;
    QString m_err;
};

}  // namespace vq::test
