#include "SerialComm.h"

namespace ondril {

SerialComm::SerialComm(PortMap ports, QObject *parent)
    : MSComm(std::move(ports), parent)
{
    // readyRead comes from the port's notifier, never from inside a call of ours.
    connect(&m_port, &QSerialPort::readyRead, this, &SerialComm::bytesArrivedInLoop);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialComm::handleError);
}

SerialComm::~SerialComm()
{
    if (m_port.isOpen())
        m_port.close();
}

static QSerialPort::Parity toParity(char p)
{
    switch (p) {
    case 'e': return QSerialPort::EvenParity;
    case 'o': return QSerialPort::OddParity;
    case 'm': return QSerialPort::MarkParity;
    case 's': return QSerialPort::SpaceParity;
    default: return QSerialPort::NoParity;
    }
}

static QSerialPort::StopBits toStopBits(int timesTwo)
{
    switch (timesTwo) {
    case 3: return QSerialPort::OneAndHalfStop;
    case 4: return QSerialPort::TwoStop;
    default: return QSerialPort::OneStop;
    }
}

bool SerialComm::openDevice(const QString &device, const LineSettings &line, OpenFailure *failure)
{
    m_port.setPortName(device);
    m_port.setBaudRate(line.baud);
    m_port.setDataBits(QSerialPort::DataBits(line.dataBits));
    m_port.setParity(toParity(line.parity));
    m_port.setStopBits(toStopBits(line.stopBitsTimesTwo));
    m_port.setFlowControl(QSerialPort::NoFlowControl);
    if (!m_port.open(QIODevice::ReadWrite)) {
        // Qt files a forbidden device, a busy one and a lock held by another
        // program all as a permission error.
        *failure = {m_port.errorString(), m_port.error() == QSerialPort::PermissionError};
        return false;
    }
    m_port.clearError();
    return true;
}

void SerialComm::closeDevice()
{
    m_port.close();
}

bool SerialComm::isDeviceOpen() const
{
    return m_port.isOpen();
}

bool SerialComm::writeBytes(const QByteArray &bytes, QString *error)
{
    if (m_port.write(bytes) != bytes.size()) {
        *error = m_port.errorString();
        return false;
    }
    // QSerialPort buffers writes until the event loop runs; commands go out now.
    m_port.flush();
    if (!m_port.isOpen()) { // the write found the device gone and closed it
        *error = QStringLiteral("the device stopped working");
        return false;
    }
    return true;
}

QByteArray SerialComm::readBytes(qint64 maxSize)
{
    return maxSize > 0 ? m_port.read(maxSize) : m_port.readAll();
}

qint64 SerialComm::bytesWaiting() const
{
    return m_port.bytesAvailable();
}

void SerialComm::discardInput()
{
    m_port.clear(QSerialPort::Input);
}

void SerialComm::handleError(QSerialPort::SerialPortError error)
{
    // An open device that fails to read or write is gone (unplugged adapter,
    // closed pseudo-terminal). Qt keeps reporting such an error in a tight loop,
    // so close on the first one. Qt's own text names a stale errno here, so the
    // reason is worded from the kind of error.
    QString reason;
    switch (error) {
    case QSerialPort::ResourceError:
        reason = QStringLiteral("the device %1 was removed or its other end closed");
        break;
    case QSerialPort::ReadError:
        reason = QStringLiteral("reading from %1 failed");
        break;
    case QSerialPort::WriteError:
        reason = QStringLiteral("writing to %1 failed");
        break;
    default:
        return;
    }
    if (m_port.isOpen()) {
        m_port.clearError();
        deviceFailed(reason.arg(device()));
    }
}

} // namespace ondril
