#include "sim_process.h"

#include <QElapsedTimer>
#include <QFile>
#include <QThread>

namespace vq::test {

SimProcess::SimProcess(QStringList options) {
    options << QStringLiteral("--log") << path(QStringLiteral("sim.log"));
    // Relative paths in the options (--link, --dump) land in the simulator's folder.
    m_process.setWorkingDirectory(m_dir.path());
    m_process.setStandardErrorFile(path(QStringLiteral("sim.err")));
    m_process.start(QStringLiteral(VQ_SIM_PROGRAM), options);
    if (!m_process.waitForStarted(5000)) return;
    QElapsedTimer clock;
    clock.start();
    while (!m_process.canReadLine() && clock.elapsed() < 5000) m_process.waitForReadyRead(100);
    m_device = QString::fromLocal8Bit(m_process.readLine()).trimmed();
}

SimProcess::~SimProcess() {
    stop();
}

void SimProcess::stop() {
    if (m_process.state() == QProcess::NotRunning) return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(1000);
    }
}

QStringList SimProcess::logLines() const {
    QFile file(m_dir.filePath(QStringLiteral("sim.log")));
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

QStringList SimProcess::logLines(const QString& event) const {
    QStringList matching;
    for (const QString& line : logLines()) {
        if (line == event || line.startsWith(event + u' ')) matching << line;
    }
    return matching;
}

bool SimProcess::waitForLog(const QString& event, int count,
                            std::chrono::milliseconds timeout) const {
    QElapsedTimer clock;
    clock.start();
    while (logLines(event).size() < count) {
        if (clock.elapsed() > timeout.count()) return false;
        QThread::msleep(10);
    }
    return true;
}

}  // namespace vq::test
