#pragma once

#include <QByteArrayView>
#include <QtGlobal>

#include <cmath>
#include <iterator>

namespace ondril {

// The shapes balances answer in, named by their shape.
enum class ReplyShape : quint8 {
    SignValueUnit,       // "+  152.37 g", optionally after an identifier: "N     +    12.3 kg"
    CommandStatusValue,  // "S S      100.00 g", "S D ...", "S +", "ES"
    HeaderCommaValue,    // "ST,+00123.45  g", "US,...", "OL,...", "QT,+0000012 PC"
    NumberAndUnit,       // any other line with one number and a unit
    NotAReading,
};

// Unknown: a number and a unit in a line of no known shape, which says
// nothing of whether the reading had settled.
enum class ReadingStatus : quint8 { Stable, Unstable, Unknown, Overload, Underload, Busy, Error, NotAReading };

// A value as the balance sent it: `mantissa` × 10^-`decimals`, so that
// "152.370" and "152.37" stay apart and nothing is rounded.
struct SentValue {
    qint64 mantissa = 0;
    qint8 decimals = 0;
    bool operator==(const SentValue &o) const { return mantissa == o.mantissa && decimals == o.decimals; }
    double toDouble() const
    {
        constexpr double powers[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8, 1e9,
                                     1e10, 1e11, 1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18};
        return double(mantissa) / (quint8(decimals) < std::size(powers) ? powers[decimals] : std::pow(10.0, decimals));
    }
};

// What one line said. The views point into the line that was decoded.
struct Reply {
    ReplyShape shape = ReplyShape::NotAReading;
    ReadingStatus status = ReadingStatus::NotAReading;
    bool hasValue = false;
    SentValue value;
    QByteArrayView unit;
    QByteArrayView identifier;
};

// Decodes one line as received, its CR LF or LF included or not. Allocates
// nothing; any bytes give an answer.
Reply decodeReply(QByteArrayView line);

} // namespace ondril
