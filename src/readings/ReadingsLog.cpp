#include "ReadingsLog.h"

#include <algorithm>
#include <cstring>

namespace ondril {

void ReadingsLog::commandSent(int command, qint64 steadyNs)
{
    m_tally.commandSent(command, steadyNs);
}

bool ReadingsLog::received(QByteArrayView text, qint64 steadyNs, qint64 wallMs)
{
    bool kept = true;
    while (!text.isEmpty()) {
        const qsizetype lf = text.indexOf('\n');
        const qsizetype end = lf < 0 ? text.size() : lf + 1;
        kept = line(text.first(end), steadyNs, wallMs) && kept;
        text = text.sliced(end);
    }
    return kept;
}

bool ReadingsLog::line(QByteArrayView bytes, qint64 steadyNs, qint64 wallMs)
{
    const Reply reply = decodeReply(bytes);
    const auto answer = m_tally.lineDecoded(reply.shape != ReplyShape::NotAReading, steadyNs);
    // The line's own bytes, without its line end.
    while (!bytes.isEmpty() && (bytes.back() == '\n' || bytes.back() == '\r'))
        bytes.chop(1);
    if (!m_raw.reserve(m_raw.size() + size_t(bytes.size())) || !m_records.reserve(m_records.size() + 1))
        return false;
    if (!bytes.isEmpty())
        std::memcpy(m_raw.open(m_raw.size(), size_t(bytes.size())), bytes.data(), size_t(bytes.size()));
    Record r{};
    r.wallMs = wallMs;
    r.mantissa = reply.value.mantissa;
    r.decimals = reply.value.decimals;
    r.rawEnd = qint64(m_raw.size());
    r.replyUs = answer ? quint32(std::min<qint64>(answer->ns / 1000, Record::noReply - 1)) : Record::noReply;
    r.command = qint8(answer ? answer->command : -1);
    r.kind = quint8(int(reply.shape) | int(reply.status) << 3 | (reply.hasValue ? 64 : 0));
    r.unit = unitIndex(reply.unit);
    *m_records.open(m_records.size(), 1) = r;
    if (!reply.unit.isEmpty())
        m_unit = unitIndex(reply.unit);
    if (r.isReading() && reply.hasValue && m_unit != 255) {
        // A moving reading sent without its unit is in the unit in force.
        const QByteArrayView unit = m_units[m_unit];
        auto it = std::find_if(m_stats.begin(), m_stats.end(), [&](const UnitStats &s) { return s.unit == unit; });
        if (it == m_stats.end())
            it = m_stats.insert(m_stats.end(), UnitStats{unit.toByteArray(), {}});
        it->stats.add(reply.value, reply.status == ReadingStatus::Stable);
    }
    return true;
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

QByteArrayView ReadingsLog::raw(qint64 i) const
{
    const qint64 from = i == 0 ? 0 : m_records[size_t(i - 1)].rawEnd;
    return {m_raw.data() + from, qsizetype(m_records[size_t(i)].rawEnd - from)};
}

void ReadingsLog::reset()
{
    m_tally.reset();
    m_records.clear();
    m_raw.clear();
    m_units.clear();
    m_unit = 255;
    m_stats.clear();
}

} // namespace ondril
