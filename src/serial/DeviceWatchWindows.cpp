#include "DeviceWatch.h"

#ifdef Q_OS_WIN

#include <QSerialPortInfo>
#include <QTimerEvent>

namespace ondril {

namespace {
bool listed(const QString &device)
{
    const QList<QSerialPortInfo> ports = QSerialPortInfo::availablePorts();
    return std::any_of(ports.begin(), ports.end(),
                       [&](const QSerialPortInfo &p) { return p.portName().compare(device, Qt::CaseInsensitive) == 0; });
}
} // namespace

DeviceWatch::DeviceWatch(QObject *parent) : QObject(parent) {}

void DeviceWatch::opened(const QString &device)
{
    m_openedDevice = device;
}

bool DeviceWatch::watch(const QString &device)
{
    stop();
    if (device.isEmpty())
        return false;
    m_device = device;
    m_gone = !listed(device);
    m_look.start(500, this);
    return true;
}

void DeviceWatch::stop()
{
    m_device.clear();
    m_look.stop();
    m_retry.stop();
}

void DeviceWatch::refused()
{
    if (!isWatching())
        return;
    if (!m_retry.isActive() && m_retriesLeft <= 0)
        m_retriesLeft = 40; // ten seconds for the port that came back
    if (m_retriesLeft > 0)
        m_retry.start(250, this);
}

void DeviceWatch::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_retry.timerId()) {
        m_retry.stop();
        if (--m_retriesLeft >= 0)
            announce();
        return;
    }
    if (event->timerId() != m_look.timerId())
        return QObject::timerEvent(event);
    if (!listed(m_device)) {
        m_gone = true;
    } else if (m_gone) {
        m_gone = false;
        m_retriesLeft = 0;
        announce();
    }
}

} // namespace ondril

#endif
