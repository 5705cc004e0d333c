#include "ReadingsCsv.h"

#include "ReadingsLog.h"
#include "commands/BalanceCommand.h"

#include <QDateTime>

#include <cmath>
#include <cstring>

namespace ondril {

namespace {

const char *shapeName(ReplyShape shape)
{
    switch (shape) {
    case ReplyShape::SignValueUnit: return "sign value unit";
    case ReplyShape::CommandStatusValue: return "command status value";
    case ReplyShape::HeaderCommaValue: return "header comma value";
    case ReplyShape::NumberAndUnit: return "number and unit";
    case ReplyShape::NotAReading: break;
    }
    return "not a reading";
}

const char *statusName(ReadingStatus status)
{
    switch (status) {
    case ReadingStatus::Stable: return "stable";
    case ReadingStatus::Unstable: return "unstable";
    case ReadingStatus::Unknown: return "unknown";
    case ReadingStatus::Overload: return "overload";
    case ReadingStatus::Underload: return "underload";
    case ReadingStatus::Busy: return "busy";
    case ReadingStatus::Error: return "error";
    case ReadingStatus::NotAReading: break;
    }
    return "not a reading";
}

// Local time in ISO 8601 with milliseconds and the offset from UTC, as Qt
// writes it, without asking
// the time zone for each row (Qt sets it up afresh each time): the offset
// is looked up again for each quarter of an hour, on whose bounds zones
// change theirs. Rows are written from one thread only.
QByteArray localIsoTime(qint64 ms)
{
    static qint64 from = 1;
    static qint64 to = 0;
    static qint64 offsetMs = 0;
    constexpr qint64 quarter = 15 * 60 * 1000;
    constexpr qint64 day = 24 * 3600 * 1000;
    if (ms < from || ms >= to) {
        from = ms - ((ms % quarter) + quarter) % quarter;
        to = from + quarter;
        offsetMs = qint64(QDateTime::fromMSecsSinceEpoch(ms).offsetFromUtc()) * 1000;
    }
    const qint64 local = ms + offsetMs;
    const qint64 msOfDay = ((local % day) + day) % day;
    // The civil date of a day count (H. Hinnant's days_from_civil, backwards).
    const qint64 z = (local - msOfDay) / day + 719468;
    const qint64 era = (z >= 0 ? z : z - 146096) / 146097;
    const qint64 doe = z - era * 146097;
    const qint64 yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const qint64 doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const qint64 mp = (5 * doy + 2) / 153;
    const qint64 d = doy - (153 * mp + 2) / 5 + 1;
    const qint64 m = mp < 10 ? mp + 3 : mp - 9;
    const qint64 y = yoe + era * 400 + (m <= 2 ? 1 : 0);
    QByteArray text(29, Qt::Uninitialized); // yyyy-MM-ddTHH:mm:ss.zzz+hh:mm, or Z
    char *p = text.data();
    const auto put = [&p](qint64 value, int digits) {
        for (int i = digits - 1; i >= 0; --i, value /= 10)
            p[i] = char('0' + value % 10);
        p += digits;
    };
    const auto sep = [&p](char c) { *p++ = c; };
    put(y, 4), sep('-'), put(m, 2), sep('-'), put(d, 2), sep('T');
    put(msOfDay / 3600000, 2), sep(':'), put(msOfDay / 60000 % 60, 2), sep(':'), put(msOfDay / 1000 % 60, 2);
    sep('.'), put(msOfDay % 1000, 3);
    // The offset, so that the hour a zone repeats in autumn reads twice apart.
    if (offsetMs == 0) {
        sep('Z');
        text.truncate(24);
        return text;
    }
    const qint64 offsetMinutes = (offsetMs < 0 ? -offsetMs : offsetMs) / 60000;
    sep(offsetMs < 0 ? '-' : '+'), put(offsetMinutes / 60, 2), sep(':'), put(offsetMinutes % 60, 2);
    return text;
}

} // namespace

QByteArray csvRaw(QByteArrayView line)
{
    static const char hex[] = "0123456789ABCDEF";
    QByteArray out;
    out.reserve(line.size() + 2);
    out += '"';
    for (const char c : line) {
        const auto b = uchar(c);
        if (b == '"')
            out += "\"\"";
        else if (b >= 0x20 && b < 0x7F && b != '\\')
            out += c;
        else
            out += QByteArray("\\x") + hex[b >> 4] + hex[b & 15];
    }
    out += '"';
    return out;
}

QByteArray sentText(SentValue value)
{
    QByteArray digits = QByteArray::number(value.mantissa < 0 ? -value.mantissa : value.mantissa);
    if (value.decimals > 0) {
        if (digits.size() <= value.decimals)
            digits.prepend(QByteArray(value.decimals - digits.size() + 1, '0'));
        digits.insert(digits.size() - value.decimals, '.');
    }
    return value.mantissa < 0 ? '-' + digits : digits;
}

const QByteArray readingsCsvHeader = "time,command,reply_ms,raw,shape,status,value,unit\r\n";

QByteArray readingsCsvRow(const ReadingsLog &log, qint64 i)
{
    const ReadingsLog::Record &r = log.record(i);
    QByteArray row = localIsoTime(r.wallMs) + ',';
    if (r.command >= 0 && r.command < log.tally().commandCount())
        row += log.tally().name(r.command).toLatin1();
    row += ',';
    if (r.replyUs != ReadingsLog::Record::noReply)
        row += sentText({qint64(r.replyUs), 3});
    row += ',' + csvRaw(log.raw(i)) + ',' + shapeName(r.shape()) + ',' + statusName(r.status()) + ',';
    if (r.hasValue())
        row += sentText(r.value());
    return row + ',' + log.unit(r).toByteArray() + "\r\n";
}

std::optional<ReadingsLog::Earlier> parseReadingsCsvRow(QByteArrayView row)
{
    // time,command,reply_ms,"raw",...: the first three have no commas or quotes.
    const auto field = [&row]() {
        const qsizetype comma = row.indexOf(',');
        const QByteArrayView f = comma < 0 ? row : row.first(comma);
        row = comma < 0 ? QByteArrayView() : row.sliced(comma + 1);
        return f;
    };
    const QDateTime time = QDateTime::fromString(QString::fromLatin1(field().toByteArray()), Qt::ISODateWithMs);
    const QByteArrayView command = field();
    const QByteArrayView reply = field();
    if (!time.isValid() || !row.startsWith('"'))
        return std::nullopt;
    ReadingsLog::Earlier line;
    line.wallMs = time.toMSecsSinceEpoch();
    for (size_t i = 0; i < balanceCommands.size(); ++i)
        if (command == balanceCommands[i].caption)
            line.command = int(i);
    if (!reply.isEmpty()) {
        bool ok = false;
        line.replyUs = qint64(std::llround(QByteArray(reply.data(), reply.size()).toDouble(&ok) * 1000));
        if (!ok)
            return std::nullopt;
    }
    for (qsizetype i = 1; i < row.size(); ++i) {
        const char c = row[i];
        if (c == '"' && i + 1 < row.size() && row[i + 1] == '"') {
            line.raw += '"';
            ++i;
        } else if (c == '"') {
            return line;
        } else if (c == '\\' && i + 3 < row.size() && row[i + 1] == 'x') {
            bool ok = false;
            line.raw += char(QByteArray(row.data() + i + 2, 2).toInt(&ok, 16));
            if (!ok)
                return std::nullopt;
            i += 3;
        } else {
            line.raw += c;
        }
    }
    return std::nullopt; // the raw field never ended
}

// Whether `line` starts with `shape`, '9' standing for any digit.
static bool startsLike(QByteArrayView line, const char *shape)
{
    const qsizetype n = qsizetype(std::strlen(shape));
    if (line.size() < n)
        return false;
    for (qsizetype i = 0; i < n; ++i)
        if (shape[i] == '9' ? !(line[i] >= '0' && line[i] <= '9') : line[i] != shape[i])
            return false;
    return true;
}

// A line as the receive box took it: the date and time stamps, then the line.
ReadingsLog::Earlier EarlierLines::fromText(QByteArrayView line)
{
    QDate date = m_started.date();
    QTime time = m_started.time();
    if (startsLike(line, "9999-99-99 ")) {
        date = QDate::fromString(QString::fromLatin1(line.first(10)), Qt::ISODate);
        line = line.sliced(11);
    }
    if (startsLike(line, "99:99:99 ")) {
        time = QTime::fromString(QString::fromLatin1(line.first(8)), Qt::ISODate);
        line = line.sliced(9);
    }
    ReadingsLog::Earlier e;
    if (date.isValid() && time.isValid()) {
        // The local time's offset changes on the hour at most: one
        // conversion an hour, not one a line.
        const qint64 hour = date.toJulianDay() * 24 + time.hour();
        if (hour != m_hour) {
            m_hour = hour;
            m_hourMs = QDateTime(date, QTime(time.hour(), 0)).toMSecsSinceEpoch();
        }
        e.wallMs = m_hourMs + (time.minute() * 60 + time.second()) * 1000;
    } else {
        e.wallMs = m_started.toMSecsSinceEpoch();
    }
    e.raw = line.toByteArray();
    if (e.raw.endsWith("\r\n"))
        e.raw.chop(2);
    else if (e.raw.endsWith('\n'))
        e.raw.chop(1);
    return e;
}

EarlierLines::EarlierLines(QIODevice *csv, qint64 firstLine, qint64 rowsFromLine, const QDateTime &started)
    : m_csv(csv), m_line(firstLine), m_rowsFrom(rowsFromLine), m_started(started)
{
}

std::optional<ReadingsLog::Earlier> EarlierLines::rowOf(qint64 line)
{
    const qint64 row = line - m_rowsFrom;
    while (row >= m_rowsRead && !m_rowsEnded) {
        if (!m_csv || m_csv->atEnd()) {
            m_rowsEnded = true;
            break;
        }
        const QByteArray text = m_csv->readLine();
        if (text.startsWith("time,"))
            continue; // the header
        std::optional<ReadingsLog::Earlier> parsed = parseReadingsCsvRow(text);
        if (!parsed) { // a row cut off: the rows end there
            m_rowsEnded = true;
            break;
        }
        if (row == m_rowsRead++)
            return parsed;
    }
    return std::nullopt;
}

std::vector<ReadingsLog::Earlier> EarlierLines::take(QByteArrayView text)
{
    std::vector<ReadingsLog::Earlier> lines;
    for (qsizetype from = 0; from < text.size(); ++m_line) {
        qsizetype end = text.indexOf('\n', from);
        end = end < 0 ? text.size() : end + 1;
        if (std::optional<ReadingsLog::Earlier> row = rowOf(m_line))
            lines.push_back(std::move(*row));
        else
            lines.push_back(fromText(text.sliced(from, end - from)));
        from = end;
    }
    return lines;
}

} // namespace ondril
