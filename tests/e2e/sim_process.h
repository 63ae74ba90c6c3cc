#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <chrono>

namespace vq::test {

// vqradio-sim as a child process, in a temporary folder of its own that also holds its log.
class SimProcess {
  public:
    // Starts the simulator with these options and waits for the device path it prints.
    explicit SimProcess(QStringList options = {});
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    bool started() const { return !m_device.isEmpty(); }
    // The pseudo-terminal device the tool opens, /dev/pts/N.
    QString device() const { return m_device; }
    // A path inside the simulator's folder.
    QString path(const QString& name) const { return m_dir.filePath(name); }

    QStringList logLines() const;
    // The log lines that start with this word ("open", "close", "request", ...).
    QStringList logLines(const QString& event) const;
    // Waits until the log holds `count` lines of the event; false when the time runs out.
    bool waitForLog(const QString& event, int count,
                    std::chrono::milliseconds timeout = std::chrono::seconds(2)) const;

    // Ends the simulator with SIGTERM, as an operator would.
    void stop();

  private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_device;
};

}  // namespace vq::test
