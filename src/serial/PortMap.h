#pragma once

#include <QString>
#include <array>

namespace ondril {

// Which of COM 1 to COM 12 exist, and the device behind each.
class PortMap {
public:
    static constexpr int PortCount = 12;

    // ONDRIL_PORTS when it is set (even empty), else the machine's serial ports.
    static PortMap fromEnvironment();
    // Colon-separated devices: entry n is COM n, an empty entry is a missing port.
    static PortMap fromList(const QString &list);
    static PortMap fromSystem();

    // Empty when COM `number` does not exist (or is outside 1..12).
    QString device(int number) const;
    QString description(int number) const;
    int count() const;

    // Text for the tooltip of a port box entry.
    QString toolTip(int number) const;

private:
    struct Entry {
        QString device;
        QString description;
    };
    std::array<Entry, PortCount> m_entries;
};

// "ttyUSB2" before "ttyUSB10": digit runs compare by value.
bool naturalLess(const QString &a, const QString &b);

} // namespace ondril

namespace ondril {
// A port number as the port box shows it: "COM 1" ... "COM 12".
QString portText(int number);
} // namespace ondril
