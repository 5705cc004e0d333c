#include "MSComm.h"

#include "window/SteadyClock.h"

#include <QMetaObject>
#include <limits>

namespace ondril {

MSComm::MSComm(PortMap ports, QObject *parent)
    : QObject(parent), m_ports(std::move(ports))
{
    LineSettings::parse(QStringLiteral("9600,n,8,1"), &m_line);
}

MSComm::~MSComm() = default;

bool MSComm::setCommPort(qint16 port)
{
    if (port < 1 || port > PortMap::PortCount) {
        m_error = QStringLiteral("Invalid port number %1").arg(port);
        return false;
    }
    m_commPort = port;
    return true;
}

bool MSComm::setSettings(const QString &settings)
{
    LineSettings line = m_line;
    if (!LineSettings::parse(settings, &line)) {
        m_error = QStringLiteral("Invalid settings \"%1\"").arg(settings);
        return false;
    }
    m_line = line; // takes effect at the next open
    return true;
}

bool MSComm::setHandshaking(Handshaking handshaking)
{
    LineSettings line = m_line;
    line.handshaking = handshaking;
    return setLine(line);
}

bool MSComm::setLine(const LineSettings &line)
{
    QString why;
    if (isDeviceOpen() && !configureDevice(line, &why)) {
        QString ignored;
        configureDevice(m_line, &ignored);
        m_error = QStringLiteral("%1 does not take %2, %3 baud, handshake %4: %5")
                      .arg(device(), line.description())
                      .arg(line.baud)
                      .arg(handshakingName(line.handshaking), why);
        return false;
    }
    m_line = line; // a closed port takes it at the next open
    return true;
}

qint64 MSComm::lineErrors() const
{
    const std::optional<LineCounts> counts = isDeviceOpen() ? lineCounts() : std::nullopt;
    return counts ? counts->framing + counts->parity : 0;
}

bool MSComm::setDtr(bool)
{
    m_error = QStringLiteral("%1 has no control lines to set").arg(device());
    return false;
}

bool MSComm::setRts(bool on)
{
    return setDtr(on);
}

bool MSComm::sendBreak(int)
{
    m_error = QStringLiteral("%1 cannot send a break").arg(device());
    return false;
}

bool MSComm::setPortOpen(bool open)
{
    if (!open) {
        const bool wasOpen = isDeviceOpen();
        if (wasOpen)
            closeDevice();
        m_unreadSince = 0;
        if (wasOpen)
            emit portOpenChanged(false, {});
        return true;
    }
    if (isDeviceOpen()) {
        m_error = QStringLiteral("Port already open");
        return false;
    }
    const QString dev = device();
    m_openFailure = {};
    if (dev.isEmpty()) {
        m_error = QStringLiteral("COM %1 does not exist").arg(m_commPort);
        return false;
    }
    if (!openDevice(dev, m_line, &m_openFailure)) {
        m_error = QStringLiteral("%1: %2").arg(dev, m_openFailure.reason);
        return false;
    }
    bytesArrived(); // characters already waiting raise the event too
    emit portOpenChanged(true, {});
    return true;
}

void MSComm::setInBufferCount(qint16 count)
{
    if (count == 0 && isDeviceOpen()) {
        discardInput();
        m_unreadSince = 0;
    }
}

qint16 MSComm::inBufferCount() const
{
    // What Input can return now; the driver's queue comes in as it is read.
    const qint64 readable = isDeviceOpen() ? bytesWaiting() : 0;
    return qint16(qMin<qint64>(readable, std::numeric_limits<qint16>::max()));
}

void MSComm::setRThreshold(qint16 threshold)
{
    m_rThreshold = threshold < 0 ? qint16(0) : threshold;
    // Characters that were already waiting raise the event too, so nothing sits
    // unseen until the next byte happens to arrive. With none waiting, the
    // event would find nothing: it is not posted, which saves a wake-up per line.
    if (isDeviceOpen() && bytesWaiting() > 0)
        bytesArrived();
}

bool MSComm::setOutput(const QString &text)
{
    if (!isDeviceOpen()) {
        m_error = QStringLiteral("Port is closed");
        return false;
    }
    if (m_unreadSince == 0 && heldBytes() > 0)
        m_unreadSince = steadyNow();
    QString why;
    if (!writeBytes(text.toLatin1(), &why)) {
        m_error = why;
        return false;
    }
    return true;
}

QString MSComm::input()
{
    if (!isDeviceOpen())
        return {};
    const QByteArray bytes = readBytes(m_inputLen);
    if (bytesWaiting() == 0)
        m_unreadSince = 0; // what is left of a part read came no earlier
    emit bytesRead(bytes);
    return QString::fromLatin1(bytes);
}

void MSComm::noteArrival()
{
    if (m_unreadSince == 0 && bytesWaiting() > 0)
        m_unreadSince = steadyNow();
}

void MSComm::bytesArrived()
{
    noteArrival();
    emit bytesReceived();
    // Whether anything is still waiting is checked when the event is delivered.
    if (m_rThreshold > 0)
        postReceiveEvent();
}

void MSComm::deviceFailed(const QString &reason)
{
    if (!isDeviceOpen())
        return;
    closeDevice();
    emit portOpenChanged(false, reason);
    // Queued: the device's own notification is still on the stack here, and
    // the window may open a modal message in answer.
    QMetaObject::invokeMethod(
        this, [this, reason] { emit deviceLost(reason); }, Qt::QueuedConnection);
}

void MSComm::postReceiveEvent()
{
    if (m_eventPosted)
        return;
    m_eventPosted = true;
    QMetaObject::invokeMethod(this, &MSComm::deliverReceiveEvent, Qt::QueuedConnection);
}

void MSComm::deliverReceiveEvent()
{
    m_eventPosted = false;
    raiseReceiveEvent();
}

void MSComm::raiseReceiveEvent()
{
    // Disarmed or drained since: nothing to report.
    if (m_rThreshold <= 0 || !isDeviceOpen() || bytesWaiting() <= 0)
        return;
    raiseCommEvent(comEvReceive);
}

void MSComm::raiseCommEvent(qint16 event)
{
    m_commEvent = event;
    emit OnComm();
}

} // namespace ondril
