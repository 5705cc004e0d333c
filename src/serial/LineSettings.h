#pragma once

#include <QString>

namespace ondril {

// Flow control as the classic comm control numbers it.
enum class Handshaking : qint8 { None = 0, XonXoff = 1, Rts = 2, RtsXonXoff = 3 };

// Line format parsed from a comm-control settings text such as "9600,n,8,1",
// and the handshake, which that text does not carry.
struct LineSettings {
    qint32 baud = 600;
    char parity = 'n';   // n, e, o, m or s
    int dataBits = 8;    // 5 to 8
    int stopBitsTimesTwo = 2; // 2 = one stop bit, 3 = one and a half, 4 = two
    Handshaking handshaking = Handshaking::None;

    // Returns false (and leaves `out` alone) for a text that is not of the form
    // "baud,parity,databits,stopbits". The handshake is left as it was.
    static bool parse(const QString &text, LineSettings *out);
    // The settings text: "1200,o,7,1".
    QString text() const;
    // The settings text without its speed: ",o,7,1".
    QString framingText() const;
    // For people: "7O1", "8N1.5".
    QString shortName() const;
    // "7 data bits, odd parity, 1 stop bit".
    QString description() const;
    bool sameFraming(const LineSettings &o) const
    {
        return parity == o.parity && dataBits == o.dataBits && stopBitsTimesTwo == o.stopBitsTimesTwo;
    }
};

QString handshakingName(Handshaking h);

} // namespace ondril
