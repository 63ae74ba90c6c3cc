#include "qt_serial_port.h"

#include <QStringList>

namespace vq {
namespace {

std::optional<int> ParseInt(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

std::optional<LineSettings> ParseLineSettings(const std::string& settings) {
    const QStringList fields = QString::fromStdString(settings).split(u',');
    if (fields.size() != 4) return std::nullopt;
    LineSettings parsed;

    const auto baud = ParseInt(fields[0]);
    if (!baud || *baud <= 0) return std::nullopt;
    parsed.baudRate = *baud;

    const QString parity = fields[1].toLower();
    if (parity == u"n") {
        parsed.parity = QSerialPort::NoParity;
    } else if (parity == u"e") {
        parsed.parity = QSerialPort::EvenParity;
    } else if (parity == u"o") {
        parsed.parity = QSerialPort::OddParity;
    } else if (parity == u"m") {
        parsed.parity = QSerialPort::MarkParity;
    } else if (parity == u"s") {
        parsed.parity = QSerialPort::SpaceParity;
    } else {
        return std::nullopt;
    }

    const auto dataBits = ParseInt(fields[2]);
    if (!dataBits || *dataBits < 5 || *dataBits > 8) return std::nullopt;
    parsed.dataBits = static_cast<QSerialPort::DataBits>(*dataBits);

    if (fields[3] == u"1") {
        parsed.stopBits = QSerialPort::OneStop;
    } else if (fields[3] == u"1.5") {
        parsed.stopBits = QSerialPort::OneAndHalfStop;
    } else if (fields[3] == u"2") {
        parsed.stopBits = QSerialPort::TwoStop;
    } else {
        return std::nullopt;
    }
    return parsed;
}

QtSerialPort::QtSerialPort(QString portPrefix) : m_prefix(std::move(portPrefix)) {
    QObject::connect(&m_port, &QSerialPort::errorOccurred, &m_port,
                     [this](QSerialPort::SerialPortError error) {
                         if (error != QSerialPort::NoError && m_open && !m_failure) {
                             m_failure = m_port.errorString().toStdString();
                         }
                     });
}

void QtSerialPort::setDeviceName(QString deviceName) {
    m_deviceName = std::move(deviceName);
}

QString QtSerialPort::deviceName() const {
    if (!m_deviceName.isEmpty()) return m_deviceName;
    if (!m_prefix.isEmpty()) return m_prefix + QString::number(m_commPort - 1);
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(m_commPort);
#else
    return QStringLiteral("/dev/ttyS%1").arg(m_commPort - 1);
#endif
}

void QtSerialPort::setSettings(const std::string& settings) {
    m_settings = settings;
    // A port that is open takes the new settings at once; a closed one at its opening.
    if (m_open && !m_failure) applySettings();
}

void QtSerialPort::setPortOpen(bool open) {
    if (open == m_open) return;
    if (open) {
        this->open();
    } else {
        close();
    }
}

void QtSerialPort::open() {
    m_failure.reset();
    if (m_deviceName.isEmpty() && m_commPort < 1) {
        throw PortFailure("invalid port number " + std::to_string(m_commPort));
    }
    const auto settings = ParseLineSettings(m_settings);
    if (!settings) throw PortFailure("invalid line settings \"" + m_settings + "\"");

    m_port.setPortName(deviceName());
    if (!m_port.open(QIODevice::ReadWrite)) {
        const std::string reason = m_port.errorString().toStdString();
        m_port.clearError();
        throw PortFailure(deviceName().toStdString() + ": " + reason);
    }
    m_open = true;
    applySettings();
    if (m_failure) {
        const std::string reason = *m_failure;
        close();
        throw PortFailure(reason);
    }
}

void QtSerialPort::close() {
    if (m_port.isOpen()) m_port.close();
    m_port.clearError();
    m_open = false;
    m_failure.reset();
}

void QtSerialPort::applySettings() {
    const auto settings = ParseLineSettings(m_settings);
    if (!settings) {
        fail(
            QStringLiteral("invalid line settings \"%1\"").arg(QString::fromStdString(m_settings)));
        return;
    }
    const bool applied =
        m_port.setBaudRate(settings->baudRate) && m_port.setParity(settings->parity) &&
        m_port.setDataBits(settings->dataBits) && m_port.setStopBits(settings->stopBits) &&
        m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!applied) fail(m_port.errorString());
}

void QtSerialPort::fail(const QString& what) {
    if (!m_failure) m_failure = what.toStdString();
}

void QtSerialPort::requireUsable() const {
    if (!m_open) throw PortFailure("port not open");
    if (m_failure) throw PortFailure(*m_failure);
}

void QtSerialPort::output(std::span<const std::uint8_t> bytes) {
    requireUsable();
    const qint64 written = m_port.write(reinterpret_cast<const char*>(bytes.data()),
                                        static_cast<qint64>(bytes.size()));
    if (written != static_cast<qint64>(bytes.size())) {
        fail(m_port.errorString());
        requireUsable();
    }
}

int QtSerialPort::inBufferCount() {
    requireUsable();
    return static_cast<int>(m_port.bytesAvailable());
}

std::vector<std::uint8_t> QtSerialPort::input() {
    requireUsable();
    const QByteArray data = m_port.readAll();
    return {data.begin(), data.end()};
}

}  // namespace vq
