#include "ReadingsLog.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace ondril {

void ReadingsLog::commandSent(int command, qint64 steadyNs)
{
    m_tally.commandSent(command, steadyNs);
}

void ReadingsLog::commandSent(const QString &name, bool asksWeight, qint64 steadyNs)
{
    m_tally.commandSent(m_tally.commandNamed(name, asksWeight), steadyNs);
}

bool ReadingsLog::received(QByteArrayView text, qint64 steadyNs, qint64 wallMs, qint64 firstByteNs)
{
    bool kept = true;
    QByteArray joined;
    if (!m_tail.isEmpty()) {
        joined = std::exchange(m_tail, {});
        joined.append(text);
        text = joined;
    }
    while (!text.isEmpty()) {
        const qsizetype lf = text.indexOf('\n');
        if (lf < 0) { // only a whole line is a reading: a head like "  +  15" is not
            m_tail = text.toByteArray();
            break;
        }
        const qsizetype end = lf + 1;
        kept = line(text.first(end), steadyNs, wallMs, firstByteNs) && kept;
        text = text.sliced(end);
        firstByteNs = -1; // the lines after the first came no earlier than their read
    }
    return kept;
}

bool ReadingsLog::line(QByteArrayView bytes, qint64 steadyNs, qint64 wallMs, qint64 firstByteNs)
{
    const Reply reply = decodeReply(bytes);
    const auto answer = m_tally.lineDecoded(reply.shape != ReplyShape::NotAReading, steadyNs, firstByteNs);
    // The line's own bytes, without its line end.
    while (!bytes.isEmpty() && (bytes.back() == '\n' || bytes.back() == '\r'))
        bytes.chop(1);
    return keep(bytes, reply, wallMs, answer ? answer->command : -1, answer ? answer->ns / 1000 : -1);
}

bool ReadingsLog::keep(QByteArrayView bytes, const Reply &reply, qint64 wallMs, int command, qint64 replyUs)
{
    if (!m_records.reserve(m_records.size() + 1) || !m_raw.add(bytes))
        return false;
    // Kept in time order, for the trend's search: a clock set back shows as a pause.
    if (!m_records.empty())
        wallMs = std::max(wallMs, m_records[m_records.size() - 1].wallMs);
    Record r{};
    r.wallMs = wallMs;
    r.mantissa = reply.value.mantissa;
    r.decimals = reply.value.decimals;
    r.replyUs = replyUs >= 0 ? quint32(std::min<qint64>(replyUs, Record::noReply - 1)) : Record::noReply;
    r.command = qint8(command);
    const bool answersWeightRequest = command > 0 && command < m_tally.commandCount() && m_tally.asksWeight(command);
    r.kind = quint8(int(reply.shape) | int(reply.status) << 3 | (reply.hasValue ? 64 : 0) |
                    (answersWeightRequest ? 128 : 0));
    r.unit = unitIndex(reply.unit);
    if (r.unit != 255)
        m_unit = r.unit;
    else if (r.isReading() && reply.hasValue)
        r.unit = m_unit;
    *m_records.open(m_records.size(), 1) = r;
    if (r.isWeighing() && reply.hasValue && r.unit != 255) {
        auto *stats = const_cast<UnitStats *>(statsOf(r.unit));
        if (!stats)
            stats = &m_stats.emplace_back(UnitStats{m_units[r.unit], {}, wallMs, wallMs});
        stats->stats.add(reply.value, reply.status == ReadingStatus::Stable);
        stats->lastMs = wallMs;
    }
    return true;
}

bool ReadingsLog::recoverEarlier(const std::vector<Earlier> &lines)
{
    beginEarlier();
    const bool kept = addEarlier(lines);
    return endEarlier() && kept;
}

void ReadingsLog::beginEarlier()
{
    m_earlier = std::make_unique<ReadingsLog>();
}

bool ReadingsLog::addEarlier(const std::vector<Earlier> &lines)
{
    bool kept = true;
    for (const Earlier &e : lines)
        kept = m_earlier->keep(e.raw, decodeReply(e.raw), e.wallMs, e.command, e.replyUs) && kept;
    return kept;
}

bool ReadingsLog::endEarlier()
{
    // Laid out again from the start: the earlier lines, then this run's.
    const std::unique_ptr<ReadingsLog> earlier = std::move(m_earlier);
    ReadingsLog &merged = *earlier;
    bool kept = true;
    for (qint64 i = 0; i < size(); ++i) {
        const Record &r = record(i);
        kept = merged.keep(raw(i), decodeReply(raw(i)), r.wallMs, r.command,
                           r.replyUs == Record::noReply ? -1 : qint64(r.replyUs)) && kept;
    }
    m_records.swap(merged.m_records);
    m_raw.swap(merged.m_raw);
    m_units.swap(merged.m_units);
    m_stats.swap(merged.m_stats);
    m_unit = merged.m_unit;
    ++m_layout;
    return kept;
}

quint8 ReadingsLog::unitIndex(QByteArrayView unit)
{
    if (unit.isEmpty())
        return 255;
    for (size_t i = 0; i < m_units.size(); ++i)
        if (m_units[i] == unit)
            return quint8(i);
    if (m_units.size() >= 255)
        return 255;
    m_units.push_back(unit.toByteArray());
    return quint8(m_units.size() - 1);
}

const ReadingsLog::UnitStats *ReadingsLog::statsOf(quint8 unit) const
{
    const QByteArrayView name = unitName(unit);
    for (const UnitStats &s : m_stats)
        if (s.unit == name && !name.isEmpty())
            return &s;
    return nullptr;
}

void ReadingsLog::reset()
{
    m_tally.reset();
    m_records.clear();
    m_raw.clear();
    m_units.clear();
    m_unit = 255;
    m_stats.clear();
    m_tail.clear();
    ++m_layout;
}

} // namespace ondril
