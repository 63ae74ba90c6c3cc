#pragma once

#include <gtest/gtest.h>

#include <QDir>
#include <QFileInfo>
#include <memory>

#include "fake_window.h"
#include "link.h"
#include "qt_event_pump.h"
#include "qt_serial_port.h"
#include "qt_timer.h"
#include "sim_process.h"

namespace vq::test {

// The link on the real Qt port, timer and pump, talking to vqradio-sim.
class LinkOverPty : public ::testing::Test {
  protected:
    SimProcess& StartSim(QStringList options = {}) {
        m_sim = std::make_unique<SimProcess>(std::move(options));
        EXPECT_TRUE(m_sim->started()) << "vqradio-sim did not print its device";
        port.setDeviceName(m_sim->device());
        return *m_sim;
    }
    SimProcess& Sim() { return *m_sim; }

    // Whether this process still has a descriptor of the simulator's device.
    bool HoldsDevice() const {
        const QDir fds(QStringLiteral("/proc/self/fd"));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::Files | QDir::System)) {
            if (fd.symLinkTarget() == m_sim->device()) return true;
        }
        return false;
    }

    // The settings the simulator saw with the last request: "57600,n,8,1".
    std::string LastRequestSettings() const {
        const QStringList requests = m_sim->logLines(QStringLiteral("request"));
        if (requests.isEmpty()) return {};
        for (const QString& field : requests.last().split(u' ')) {
            if (field.startsWith(u"settings=")) return field.mid(9).toStdString();
        }
        return {};
    }
    // The kind of the last request: "identify", "connect-flash", ...
    std::string LastRequestKind() const {
        const QStringList requests = m_sim->logLines(QStringLiteral("request"));
        return requests.isEmpty() ? std::string()
                                  : requests.last().section(u' ', 1, 1).toStdString();
    }

    std::unique_ptr<SimProcess> m_sim;
    QtSerialPort port;
    QtTimer timer;
    QtTimer quietTimer;
    QtEventPump pump;
    FakeWindow window;
    Link link{port, timer, quietTimer, pump, window};
};

}  // namespace vq::test
