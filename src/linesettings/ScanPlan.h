#pragma once

#include "serial/LineSettings.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

#include <optional>

namespace ondril {

// A reply is cut off here when no line end comes (a wrong speed may lose it):
// the longest line a balance sends, with room to spare.
constexpr qsizetype longestReply = 120;

// A line end, whatever a wrong parity made of its bit 7.
inline bool endsReply(char c)
{
    return (quint8(c) & 0x7f) == '\n';
}
// The reply with bit 7 of every byte dropped, as a 7-bit port reads it.
QByteArray withoutBit7(QByteArrayView reply);

// Whether a reply, up to its line end, is a reading of a known shape in
// plain printable characters: what a right speed and framing give.
bool isReadableReading(QByteArrayView reply);

// A reply read at 8 data bits without parity that reads right once bit 7 is
// dropped: the framing its top bits point to (7O1, 7E1, or 7N2 for a bit 7
// always set), at the speed it was read at.
std::optional<LineSettings> framingFromTopBits(QByteArrayView reply, qint32 baud);

// The order in which the scan tries speeds and framings: the common ones
// first (9600, 1200, 2400 before others; 8N1, 7E1, 7O1 before 8E1, 8O1,
// 7N2, 8N2), and a framing a garbled reply points to next.
class ScanPlan {
public:
    explicit ScanPlan(const QList<qint32> &speeds);

    // False when every try has been made.
    bool next(LineSettings *out);
    // What a try heard, when it was not a reading: true when it points to a
    // framing, which is tried next.
    bool heard(const LineSettings &tried, QByteArrayView reply);

    int made() const { return m_made; }
    int count() const { return int(m_tries.size()) + m_made; }
    // "600 to 9600 baud; 8N1, 7E1, ...": what the scan covers, for people.
    QString coverage() const { return m_coverage; }

private:
    QList<LineSettings> m_tries; // still to make, in order
    int m_made = 0;
    QString m_coverage;
};

// The time a character takes on the line, in ms, its start and stop bits included.
double charMs(const LineSettings &line);

} // namespace ondril
