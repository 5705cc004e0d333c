#pragma once

#include "ReadingsLog.h"

#include <QByteArray>
#include <QDateTime>
#include <QIODevice>
#include <QString>

#include <vector>

#include <optional>

namespace ondril {

// One row per line received: time (ISO 8601, local, with milliseconds and
// the offset from UTC), command, reply_ms, raw, shape, status, value, unit.
// The raw line is quoted
// as RFC 4180 says and kept to printable ASCII: bytes 0x20 to 0x7E stand for
// themselves, but for the backslash, which is written \x5C like every other
// byte (control bytes, 0x7F and above), so the line can be told back byte for
// byte. Values are written with the digits sent and a decimal point.
extern const QByteArray readingsCsvHeader;
// Line `i` of the log as a row, with its CR LF.
QByteArray readingsCsvRow(const ReadingsLog &log, qint64 i);

// What a row tells back of its line: the rest follows from decoding it again.
std::optional<ReadingsLog::Earlier> parseReadingsCsvRow(QByteArrayView row);

// The lines of a journal's text brought back, from its line `firstLine` on,
// each with its reading: from the journal's CSV row while its rows reach
// (the first of them is line `rowsFromLine`), else decoded from the text
// itself, its stamps taken off, its time theirs (or `started`), its command
// and reply time unknown. The text comes a piece of whole lines at a time.
class EarlierLines {
public:
    EarlierLines(QIODevice *csv, qint64 firstLine, qint64 rowsFromLine, const QDateTime &started);
    std::vector<ReadingsLog::Earlier> take(QByteArrayView text);

private:
    std::optional<ReadingsLog::Earlier> rowOf(qint64 line);
    ReadingsLog::Earlier fromText(QByteArrayView line);

    QIODevice *m_csv;
    qint64 m_line;
    qint64 m_rowsFrom;
    qint64 m_rowsRead = 0;
    bool m_rowsEnded = false;
    QDateTime m_started;
    qint64 m_hour = -1; // the hour of the last stamp, and its start in ms since the epoch
    qint64 m_hourMs = 0;
};

// The raw field, quotes included.
QByteArray csvRaw(QByteArrayView line);
// A value as sent: "152.370", "-0.03".
QByteArray sentText(SentValue value);

} // namespace ondril
