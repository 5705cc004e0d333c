#include "PortMap.h"

#include <QSerialPortInfo>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace ondril {

PortMap PortMap::fromEnvironment()
{
    if (qEnvironmentVariableIsSet("ONDRIL_PORTS"))
        return fromList(qEnvironmentVariable("ONDRIL_PORTS"));
    return fromSystem();
}

PortMap PortMap::fromList(const QString &list)
{
    PortMap map;
    const QStringList devices = list.split(QLatin1Char(':'));
    for (int i = 0; i < PortCount && i < devices.size(); ++i) {
        map.m_entries[i].device = devices[i].trimmed();
        if (!map.m_entries[i].device.isEmpty())
            map.m_entries[i].description = QStringLiteral("from ONDRIL_PORTS");
    }
    return map;
}

#ifndef Q_OS_WIN
static bool isAdapter(const QSerialPortInfo &info)
{
    const QString name = info.portName();
    return info.hasVendorIdentifier() || name.startsWith(QLatin1String("ttyUSB"))
        || name.startsWith(QLatin1String("ttyACM"));
}
#endif

PortMap PortMap::fromSystem()
{
#ifdef Q_OS_WIN
    // COM n is the system's own COMn, where it has one.
    PortMap map;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        bool ok = false;
        const int n = info.portName().mid(3).toInt(&ok);
        if (!info.portName().startsWith(QLatin1String("COM"), Qt::CaseInsensitive) || !ok || n < 1 || n > PortCount)
            continue;
        map.m_entries[size_t(n - 1)].device = info.portName();
        QStringList about;
        if (!info.description().isEmpty())
            about << info.description();
        if (!info.manufacturer().isEmpty())
            about << info.manufacturer();
        map.m_entries[size_t(n - 1)].description = about.join(QStringLiteral(", "));
    }
    return map;
#else
    std::vector<QSerialPortInfo> ports;
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts())
        ports.push_back(info);
    std::stable_sort(ports.begin(), ports.end(),
                     [](const QSerialPortInfo &a, const QSerialPortInfo &b) {
                         const bool aa = isAdapter(a), ba = isAdapter(b);
                         if (aa != ba)
                             return aa;
                         return naturalLess(a.portName(), b.portName());
                     });

    PortMap map;
    for (size_t i = 0; i < ports.size() && i < size_t(PortCount); ++i) {
        const QSerialPortInfo &info = ports[i];
        map.m_entries[i].device = info.systemLocation();
        QStringList about;
        if (!info.description().isEmpty())
            about << info.description();
        if (!info.manufacturer().isEmpty())
            about << info.manufacturer();
        map.m_entries[i].description = about.join(QStringLiteral(", "));
    }
    return map;
#endif
}

QString PortMap::device(int number) const
{
    if (number < 1 || number > PortCount)
        return {};
    return m_entries[number - 1].device;
}

QString PortMap::description(int number) const
{
    if (number < 1 || number > PortCount)
        return {};
    return m_entries[number - 1].description;
}

int PortMap::count() const
{
    return int(std::count_if(m_entries.begin(), m_entries.end(),
                             [](const Entry &e) { return !e.device.isEmpty(); }));
}

QString PortMap::toolTip(int number) const
{
    const QString dev = device(number);
    if (dev.isEmpty())
        return QStringLiteral("no device");
    const QString about = description(number);
    return about.isEmpty() ? dev : dev + QStringLiteral(" (") + about + QLatin1Char(')');
}

bool naturalLess(const QString &a, const QString &b)
{
    int i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (a[i].isDigit() && b[j].isDigit()) {
            int ie = i, je = j;
            while (ie < a.size() && a[ie].isDigit())
                ++ie;
            while (je < b.size() && b[je].isDigit())
                ++je;
            // Compare digit runs by value without overflowing: strip leading zeros,
            // then a longer run is larger.
            QStringView ra = QStringView(a).mid(i, ie - i), rb = QStringView(b).mid(j, je - j);
            while (ra.size() > 1 && ra.front() == QLatin1Char('0'))
                ra = ra.mid(1);
            while (rb.size() > 1 && rb.front() == QLatin1Char('0'))
                rb = rb.mid(1);
            if (ra.size() != rb.size())
                return ra.size() < rb.size();
            const int c = ra.compare(rb);
            if (c != 0)
                return c < 0;
            i = ie;
            j = je;
        } else {
            if (a[i] != b[j])
                return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return (a.size() - i) < (b.size() - j);
}

} // namespace ondril

namespace ondril {
QString portText(int number)
{
    return QStringLiteral("COM %1").arg(number);
}
} // namespace ondril
