#include "ReadingsCsv.h"

#include "ReadingsLog.h"
#include "commands/BalanceCommand.h"

#include <QDateTime>
#include <QSaveFile>

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

bool writeReadingsCsv(const QString &path, const ReadingsLog &log, QString *why)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        *why = file.errorString();
        return false;
    }
    QByteArray chunk = "time,command,reply_ms,raw,shape,status,value,unit\r\n";
    for (qint64 i = 0; i < log.size(); ++i) {
        const ReadingsLog::Record &r = log.record(i);
        chunk += QDateTime::fromMSecsSinceEpoch(r.wallMs).toString(Qt::ISODateWithMs).toLatin1() + ',';
        if (r.command >= 0)
            chunk += balanceCommands[size_t(r.command)].caption;
        chunk += ',';
        if (r.replyUs != ReadingsLog::Record::noReply)
            chunk += sentText({qint64(r.replyUs), 3});
        chunk += ',' + csvRaw(log.raw(i)) + ',' + shapeName(r.shape()) + ',' + statusName(r.status()) + ',';
        if (r.hasValue())
            chunk += sentText(r.value());
        chunk += ',' + log.unit(r).toByteArray() + "\r\n";
        if (chunk.size() > (1 << 20)) {
            if (file.write(chunk) != chunk.size())
                break;
            chunk.clear();
        }
    }
    if (file.error() == QFileDevice::NoError && file.write(chunk) == chunk.size() && file.commit())
        return true;
    *why = file.errorString();
    file.cancelWriting();
    return false;
}

} // namespace ondril
