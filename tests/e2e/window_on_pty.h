#pragma once

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fake_window.h"
#include "file_text_input.h"
#include "frm_main.h"
#include "qt_event_pump.h"
#include "qt_serial_port.h"
#include "qt_timer.h"
#include "sim_process.h"

namespace vq::test {

// A request as vqradio-sim logged it: "request flash-write bytes=1032 address=C0400 ...".
struct LoggedRequest {
    std::string kind;
    std::string address;  // hexadecimal, write frames and data lines only
    int bytes = 0;
    // What came back behind the echo.
    int answer = 0;
    std::string settings;

    // "identify", "flash-write C0400": what a test compares, readable in a failure.
    std::string step() const { return address.empty() ? kind : kind + ' ' + address; }
};

inline std::vector<LoggedRequest> LoggedRequests(const SimProcess& sim) {
    std::vector<LoggedRequest> requests;
    for (const QString& line : sim.logLines(QStringLiteral("request"))) {
        const QStringList fields = line.split(u' ');
        LoggedRequest request;
        request.kind = fields.value(1).toStdString();
        for (const QString& field : fields) {
            const QString value = field.section(u'=', 1);
            if (field.startsWith(u"address=")) request.address = value.toStdString();
            if (field.startsWith(u"bytes=")) request.bytes = value.toInt();
            if (field.startsWith(u"answer=")) request.answer = value.toInt();
            if (field.startsWith(u"settings=")) request.settings = value.toStdString();
        }
        requests.push_back(request);
    }
    return requests;
}

inline std::vector<std::string> Steps(const std::vector<LoggedRequest>& requests) {
    std::vector<std::string> steps;
    for (const LoggedRequest& request : requests) steps.push_back(request.step());
    return steps;
}

inline std::string WriteStep(std::uint32_t address) {
    return "flash-write " + QString::number(address, 16).toUpper().toStdString();
}

// The start addresses of the blocks holding a used row, from row 0xC000 up to lastRow.
inline std::vector<std::uint32_t> UsedBlocks(const MemoryImage& image, std::uint32_t lastRow) {
    constexpr std::uint32_t kRowsPerBlock = 64;
    std::vector<std::uint32_t> blocks;
    for (std::uint32_t first = MemoryImage::kFirstRow; first <= lastRow; first += kRowsPerBlock) {
        for (std::uint32_t row = first; row < first + kRowsPerBlock; ++row) {
            if (image.RowUsed(row)) {
                blocks.push_back(first * MemoryImage::kColumns);
                break;
            }
        }
    }
    return blocks;
}

// Records each box, and lets the caller look at the window while the box is up.
class WatchingMessageBox : public RecordingMessageBox {
  public:
    std::function<void()> onShow;
    void show(const std::string& prompt, int style, const std::string& title) override {
        RecordingMessageBox::show(prompt, style, title);
        if (onShow) onShow();
    }
};

// The real window on the Qt serial port, timer and pump, with COM1 on vqradio-sim as a user
// would reach it: a port prefix pointing at the simulator's link.
class WindowOnPty {
  public:
    static constexpr std::uint32_t kNormalLastRow = 0xFEFF;
    static constexpr std::uint32_t kFullLastRow = 0xFFFF;

    WindowOnPty() {
        PlatformObjects platform;
        platform.serialPort = std::make_unique<QtSerialPort>(m_links.filePath("vqsim"));
        platform.timer = std::make_unique<QtTimer>();
        platform.quietTimer = std::make_unique<QtTimer>();
        platform.pump = std::make_unique<QtEventPump>();
        auto box = std::make_unique<WatchingMessageBox>();
        m_box = box.get();
        platform.messageBox = std::move(box);
        platform.fileInput = std::make_unique<FileTextInput>();
        m_window = std::make_unique<FrmMain>(std::move(platform));
        m_window->show();
    }

    // A fresh radio behind COM1, in place of any earlier one; its flash is dumped to
    // DumpPath() at the end of each flash-mode connection.
    SimProcess& StartSim(QStringList options = {}) {
        // The old simulator removes the link when it ends, so it goes first.
        m_sim.reset();
        options << QStringLiteral("--link") << m_links.filePath("vqsim0")
                << QStringLiteral("--dump") << QStringLiteral("flash.bin");
        m_sim = std::make_unique<SimProcess>(options);
        return *m_sim;
    }
    SimProcess& Sim() { return *m_sim; }
    QString DumpPath() const { return m_sim->path(QStringLiteral("flash.bin")); }

    FrmMain& Window() { return *m_window; }
    WatchingMessageBox& Box() { return *m_box; }
    template <class Control>
    Control* Find(const char* name) const {
        return m_window->findChild<Control*>(name);
    }

    // Clicks Start as the operator does; the job has ended when this returns.
    void ClickStart() { QTest::mouseClick(Find<QPushButton>("cmdMorvek"), Qt::LeftButton); }

    // Waits until the simulator has seen the port closed after its last opening.
    bool WaitUntilSimSeesClosed(int timeoutMs = 2000) const {
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < timeoutMs) {
            const QStringList events = m_sim->logLines();
            if (!events.isEmpty() && events.last() == u"close") return true;
            QThread::msleep(10);
        }
        return false;
    }

    // Whether this process still has a descriptor of the simulator's device.
    bool HoldsDevice() const {
        const QDir fds(QStringLiteral("/proc/self/fd"));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System)) {
            if (fd.symLinkTarget() == m_sim->device()) return true;
        }
        return false;
    }

    // The simulator's flash dump once it has written one; empty when it wrote none in time.
    QByteArray WaitForDump() const {
        if (!m_sim->waitForLog(QStringLiteral("dump"), 1)) return {};
        QFile file(DumpPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

  private:
    QTemporaryDir m_links;
    std::unique_ptr<SimProcess> m_sim;
    WatchingMessageBox* m_box = nullptr;
    std::unique_ptr<FrmMain> m_window;
};

}  // namespace vq::test
