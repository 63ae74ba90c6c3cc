#include "e2e_fixture.h"

namespace vq::test {
namespace {

TEST(ParseLineSettings, TakesTheSettingsStringApart) {
    struct Case {
        std::string text;
        qint32 baud;
        QSerialPort::Parity parity;
        QSerialPort::DataBits dataBits;
        QSerialPort::StopBits stopBits;
    };
    const std::vector<Case> cases = {
        {"9600,n,8,1", 9600, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop},
        {"38400,n,8,1", 38400, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop},
        {"57600,n,8,1", 57600, QSerialPort::NoParity, QSerialPort::Data8, QSerialPort::OneStop},
        {"1200,E,7,2", 1200, QSerialPort::EvenParity, QSerialPort::Data7, QSerialPort::TwoStop},
        {"300,o,5,1.5", 300, QSerialPort::OddParity, QSerialPort::Data5,
         QSerialPort::OneAndHalfStop},
        {"4800,m,6,1", 4800, QSerialPort::MarkParity, QSerialPort::Data6, QSerialPort::OneStop},
        {"4800,s,8,1", 4800, QSerialPort::SpaceParity, QSerialPort::Data8, QSerialPort::OneStop},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto parsed = ParseLineSettings(c.text);
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->baudRate, c.baud);
        EXPECT_EQ(parsed->parity, c.parity);
        EXPECT_EQ(parsed->dataBits, c.dataBits);
        EXPECT_EQ(parsed->stopBits, c.stopBits);
    }
    for (const std::string bad : {"", "57600", "57600,n,8", "57600,x,8,1", "57600,n,9,1",
                                  "57600,n,8,3", "fast,n,8,1", "0,n,8,1", "57600,n,8,1,1"}) {
        EXPECT_FALSE(ParseLineSettings(bad)) << bad;
    }
}

TEST(QtSerialPortNames, ComNumberMapsToTheDevice) {
    QtSerialPort standard;
    QtSerialPort usb(QStringLiteral("/dev/ttyUSB"));
    const std::vector<std::tuple<QtSerialPort*, int, QString>> cases = {
#ifdef Q_OS_WIN
        {&standard, 1, "COM1"},
        {&standard, 16, "COM16"},
#else
        {&standard, 1, "/dev/ttyS0"},
        {&standard, 16, "/dev/ttyS15"},
#endif
        {&usb, 1, "/dev/ttyUSB0"},
        {&usb, 3, "/dev/ttyUSB2"},
    };
    for (const auto& [port, number, device] : cases) {
        port->setCommPort(number);
        EXPECT_EQ(port->deviceName(), device);
    }
    usb.setDeviceName(QStringLiteral("/tmp/radio"));
    EXPECT_EQ(usb.deviceName(), QStringLiteral("/tmp/radio"));
    usb.setDeviceName({});
    EXPECT_EQ(usb.deviceName(), QStringLiteral("/dev/ttyUSB2"));
}

TEST(QtSerialPortState, RefusesTransfersWhileClosedAndBadSettingsAtOpening) {
    QtSerialPort port;
    const Bytes request{'Q'};
    EXPECT_THROW(port.output(request), PortFailure);
    EXPECT_THROW(port.inBufferCount(), PortFailure);
    EXPECT_THROW(port.input(), PortFailure);

    SimProcess sim;
    ASSERT_TRUE(sim.started());
    port.setDeviceName(sim.device());
    port.setSettings("57600,q,8,1");
    EXPECT_THROW(port.setPortOpen(true), PortFailure);
    EXPECT_FALSE(port.portOpen());
    EXPECT_EQ(port.settings(), "57600,q,8,1");

    port.setSettings("57600,n,8,1");
    EXPECT_NO_THROW(port.setPortOpen(true));
    EXPECT_TRUE(port.portOpen());
}

using QtSerialPortOverPty = LinkOverPty;

TEST_F(QtSerialPortOverPty, SettingsAssignedWhileOpenApplyAtOnce) {
    StartSim();
    port.setSettings("9600,n,8,1");
    port.setPortOpen(true);
    port.setSettings("38400,n,8,1");
    EXPECT_EQ(link.ExchangeRequest("QK~VQ-K38\r", 16), 16);
    port.setPortOpen(false);
    EXPECT_EQ(LastRequestSettings(), "38400,n,8,1");
    EXPECT_EQ(port.settings(), "38400,n,8,1");
}

}  // namespace
}  // namespace vq::test
