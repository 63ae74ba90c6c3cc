#pragma once

#include <QSerialPort>
#include <QString>
#include <optional>
#include <string>

#include "serial_port.h"

namespace vq {

// The line settings string of a serial port ("57600,n,8,1") taken apart.
struct LineSettings {
    qint32 baudRate = 9600;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// Baud rate, parity letter (n, e, o, m, s), data bits (5..8) and stop bits (1, 1.5, 2),
// separated by commas; nothing when the text is not of that form.
std::optional<LineSettings> ParseLineSettings(const std::string& settings);

// The serial port on QSerialPort: transparent 8-bit transfer, no flow control, opened
// exclusively. A failure of the device, whether reported by a call or later through
// errorOccurred, makes the next call throw PortFailure; closing the port clears it.
class QtSerialPort : public SerialPort {
  public:
    // With a prefix, COM n is the device PREFIX<n-1> (e.g. /dev/ttyUSB0 for COM1 and the
    // prefix /dev/ttyUSB); without one, COMn on Windows and /dev/ttyS<n-1> elsewhere.
    explicit QtSerialPort(QString portPrefix = {});
    QtSerialPort(const QtSerialPort&) = delete;
    QtSerialPort& operator=(const QtSerialPort&) = delete;

    // Opens this device whatever CommPort says; an empty name restores the COM mapping.
    void setDeviceName(QString deviceName);
    // The device that the next opening uses.
    QString deviceName() const;

    void setCommPort(int port) override { m_commPort = port; }
    int commPort() const override { return m_commPort; }
    void setSettings(const std::string& settings) override;
    std::string settings() const override { return m_settings; }
    bool portOpen() const override { return m_open; }
    void setPortOpen(bool open) override;
    void output(std::span<const std::uint8_t> bytes) override;
    int inBufferCount() override;
    std::vector<std::uint8_t> input() override;

  private:
    void open();
    void close();
    void requireUsable() const;
    void fail(const QString& what);
    void applySettings();

    QSerialPort m_port;
    QString m_prefix;
    QString m_deviceName;
    int m_commPort = 1;
    std::string m_settings = "9600,n,8,1";
    // Ours, not QSerialPort's: the device may close itself on a resource error, and the
    // operation must still see the port as open so that its closing clears the failure.
    bool m_open = false;
    std::optional<std::string> m_failure;
};

}  // namespace vq
