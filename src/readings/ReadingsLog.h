#pragma once

#include "LinkTally.h"
#include "paged/BigArray.h"
#include "RawLines.h"
#include "ReadingStats.h"
#include "ReplyDecoder.h"

#include <QByteArray>

#include <memory>
#include <vector>

namespace ondril {

// Every line received in a run, decoded and accounted for: what the Readings
// window shows and the CSV holds. The raw lines are a store of its own, not
// the receive box's text, which the operator may edit or clear; each line
// costs what differs from the line before there (a few bytes) and 24 bytes
// of record.
class ReadingsLog {
public:
    struct Record {
        qint64 wallMs;      // when it came, ms since the epoch
        qint64 mantissa;    // its value as sent, with `decimals`
        quint32 replyUs;    // from the command it answers, µs; noReply when none
        qint8 command;      // the command it answers, or -1
        qint8 decimals;
        quint8 kind;        // ReplyShape | ReadingStatus << 3 | has a value << 6
                            // | it answers a weight request sent by name << 7
        quint8 unit;        // into the log's units; 255 for none. A moving reading
                            // sent without its unit is in the unit in force.
        static constexpr quint32 noReply = 0xFFFFFFFF;
        ReplyShape shape() const { return ReplyShape(kind & 7); }
        ReadingStatus status() const { return ReadingStatus(kind >> 3 & 7); }
        bool hasValue() const { return kind & 64; }
        bool isReading() const { return shape() != ReplyShape::NotAReading && status() <= ReadingStatus::Unknown; }
        // A reading the statistics and the trend take: a reply to PRINT or a
        // line nobody asked for, never what CAL, COUNT, UNIT or TARE answered.
        bool isWeighing() const { return isReading() && (command <= 0 || kind & 128); }
        SentValue value() const { return {mantissa, decimals}; }
    };
    static_assert(sizeof(Record) == 24);

    struct UnitStats {
        QByteArray unit;
        ReadingStats stats;
        qint64 firstMs = 0; // when its first and last reading came
        qint64 lastMs = 0;
    };

    // A line of an earlier run, as its journal tells it back.
    struct Earlier {
        qint64 wallMs = 0;
        int command = -1;
        qint64 replyUs = -1; // -1: no reply time
        QByteArray raw;      // without its line end
    };

    void commandSent(int command, qint64 steadyNs);
    // A command sent from elsewhere, counted under its name (see LinkTally).
    void commandSent(const QString &name, bool asksWeight, qint64 steadyNs);
    // Text the line collector completed (no stamps): lines with their CR LF.
    // A piece without its line end waits for the rest.
    // False when there was no memory to keep it; the tally still counts it.
    // `firstByteNs`: when its first byte came, when known to be before its end.
    bool received(QByteArrayView text, qint64 steadyNs, qint64 wallMs, qint64 firstByteNs = -1);
    void discarded(qint64 bytes) { m_tally.discarded(bytes); }
    void expire(qint64 steadyNs) { m_tally.expire(steadyNs); }
    void reset();
    // Changes whenever the lines kept are laid out anew (Reset, a recovery),
    // rather than only added to.
    quint64 layout() const { return m_layout; }
    // Puts an earlier run's lines before this run's, in the statistics and
    // the trend too; the link tally stays this run's. A long run's lines go
    // in a piece at a time: the log shows them all once the last is in.
    bool recoverEarlier(const std::vector<Earlier> &lines);
    void beginEarlier();
    bool addEarlier(const std::vector<Earlier> &lines);
    bool endEarlier();

    const LinkTally &tally() const { return m_tally; }
    const std::vector<UnitStats> &statsByUnit() const { return m_stats; }
    const UnitStats *statsOf(quint8 unit) const;
    qint64 size() const { return qint64(m_records.size()); }
    const Record &record(qint64 i) const { return m_records[size_t(i)]; }
    // Its bytes, without the line end; the view holds until the next call.
    QByteArrayView raw(qint64 i) const { return m_raw.at(i); }
    QByteArrayView unit(const Record &r) const { return unitName(r.unit); }
    QByteArrayView unitName(quint8 unit) const { return unit == 255 ? QByteArrayView() : QByteArrayView(m_units[unit]); }
    // The unit of the last reading that named one; 255 before any.
    quint8 currentUnit() const { return m_unit; }

private:
    bool line(QByteArrayView bytes, qint64 steadyNs, qint64 wallMs, qint64 firstByteNs);
    bool keep(QByteArrayView bytes, const Reply &reply, qint64 wallMs, int command, qint64 replyUs);
    quint8 unitIndex(QByteArrayView unit);

    LinkTally m_tally;
    BigArray<Record> m_records;
    RawLines m_raw;
    std::vector<QByteArray> m_units;
    std::vector<UnitStats> m_stats;
    quint8 m_unit = 255; // the unit in force: the last one a reading named
    QByteArray m_tail;   // the start of a line whose end has not come yet
    quint64 m_layout = 0;
    std::unique_ptr<ReadingsLog> m_earlier; // earlier lines gathered so far
};

} // namespace ondril
