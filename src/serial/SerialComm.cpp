#include "SerialComm.h"

#include "TerminalExtras.h"

#ifdef Q_OS_UNIX
#include <cerrno>
#include <poll.h>
#include <sys/ioctl.h>
#endif

namespace ondril {

SerialComm::SerialComm(PortMap ports, QObject *parent)
    : MSComm(std::move(ports), parent)
{
    // readyRead comes from the port's notifier, never from inside a call of ours.
    connect(&m_port, &QSerialPort::readyRead, this, &SerialComm::bytesArrivedInLoop);
    connect(&m_port, &QSerialPort::errorOccurred, this, &SerialComm::handleError);
    m_stallCheck.setSingleShot(true);
    m_stallCheck.setInterval(1000);
    connect(&m_stallCheck, &QTimer::timeout, this, &SerialComm::checkStall);
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

static QSerialPort::FlowControl toFlowControl(Handshaking h)
{
    switch (h) {
    case Handshaking::XonXoff: return QSerialPort::SoftwareControl;
    case Handshaking::Rts:
    case Handshaking::RtsXonXoff: return QSerialPort::HardwareControl;
    case Handshaking::None: break;
    }
    return QSerialPort::NoFlowControl;
}

// On a closed port the settings are kept for its open.
static bool setQtLine(QSerialPort &port, const LineSettings &line)
{
    return port.setBaudRate(line.baud) && port.setDataBits(QSerialPort::DataBits(line.dataBits))
           && port.setParity(toParity(line.parity)) && port.setStopBits(toStopBits(line.stopBitsTimesTwo))
           && port.setFlowControl(toFlowControl(line.handshaking));
}

bool SerialComm::openDevice(const QString &device, const LineSettings &line, OpenFailure *failure)
{
    m_port.setPortName(device);
    m_pseudoTerminal = isPseudoTerminal(device);
    setQtLine(m_port, framingForQt(line, m_pseudoTerminal));
    if (!m_port.open(QIODevice::ReadWrite)) {
        // Qt files a forbidden device, a busy one and a lock held by another
        // program all as a permission error.
        *failure = {m_port.errorString(), m_port.error() == QSerialPort::PermissionError};
        return false;
    }
    QString why;
    if (!setTerminalExtras(m_port, line, m_pseudoTerminal, &why)) {
        m_port.close();
        *failure = {why, false};
        return false;
    }
    m_port.clearError();
    m_stallReported = false;
    return true;
}

bool SerialComm::configureDevice(const LineSettings &line, QString *error)
{
    bool ok = setQtLine(m_port, framingForQt(line, m_pseudoTerminal));
    if (!ok)
        *error = m_port.errorString();
    else
        ok = setTerminalExtras(m_port, line, m_pseudoTerminal, error);
    m_port.clearError();
    return ok;
}

void SerialComm::closeDevice()
{
    // What a handshake still holds back would keep the close waiting for it,
    // for up to half a minute on some drivers.
    if (outputPending())
        m_port.clear(QSerialPort::Output);
    m_stallCheck.stop();
    m_port.close();
}

bool SerialComm::outputPending() const
{
    if (m_port.bytesToWrite() > 0)
        return true;
#ifdef Q_OS_UNIX
    int queued = 0;
    if (m_port.isOpen() && ::ioctl(int(m_port.handle()), TIOCOUTQ, &queued) == 0 && queued > 0)
        return true;
#endif
    return false;
}

void SerialComm::checkStall()
{
    if (!m_port.isOpen() || !outputPending() || m_stallReported)
        return;
    m_stallReported = true;
    emit outputStalled(QStringLiteral("%1 has not sent what was written to it within a second: handshake %2 "
                                      "holds it back")
                           .arg(device(), handshakingName(line().handshaking)));
}

bool SerialComm::isDeviceOpen() const
{
    return m_port.isOpen();
}

bool SerialComm::writeBytes(const QByteArray &bytes, QString *error)
{
    if (!outputPending())
        m_stallReported = false; // it moved since
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
    if (outputPending() && !m_stallCheck.isActive())
        m_stallCheck.start();
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
        if (isOutputHeldBack())
            return;
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

bool SerialComm::isOutputHeldBack()
{
#ifdef Q_OS_UNIX
    // A write the handshake stops fails with EAGAIN, which Qt files as a lost
    // resource; a device that is gone hangs up.
    if (errno != EAGAIN || !m_port.isOpen())
        return false;
    pollfd p{int(m_port.handle()), 0, 0};
    if (::poll(&p, 1, 0) < 0 || (p.revents & (POLLHUP | POLLERR | POLLNVAL)))
        return false;
    m_port.clearError();
    if (!m_stallCheck.isActive())
        m_stallCheck.start();
    return true;
#else
    return false;
#endif
}

} // namespace ondril
