#pragma once

#include <QString>

namespace ondril {

// Line format parsed from a comm-control settings text such as "9600,n,8,1".
struct LineSettings {
    qint32 baud = 600;
    char parity = 'n';   // n, e, o, m or s
    int dataBits = 8;    // 5 to 8
    int stopBitsTimesTwo = 2; // 2 = one stop bit, 3 = one and a half, 4 = two

    // Returns false (and leaves `out` alone) for a text that is not of the form
    // "baud,parity,databits,stopbits".
    static bool parse(const QString &text, LineSettings *out);
};

} // namespace ondril
