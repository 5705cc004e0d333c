#pragma once

#include "paged/BigArray.h"

#include <QByteArrayView>

#include <array>
#include <utility>
#include <vector>

namespace ondril {

// What the receive box holds: the received bytes themselves, once, with the
// offsets where lines start and the rows that lines too wide for the box wrap
// into. An LF ends a line, together with a CR just before it; every other byte
// is one cell of a row, a lone CR included. Rows break anywhere: device text
// is not prose.
class BoxText {
public:
    // The width of each byte's cell, and the width rows wrap at (0: no wrapping).
    struct Metrics {
        std::array<float, 256> cell{};
        float rowWidth = 0;
    };
    // A row of a line: the absolute row number, and where its cells are.
    struct Row {
        qint64 number;
        qint64 line;
        qint64 start;
        qint64 end;
    };

    qint64 size() const { return qint64(m_bytes.size()); }
    bool isEmpty() const { return m_bytes.empty(); }
    QByteArrayView bytes() const { return {m_bytes.data(), qsizetype(m_bytes.size())}; }
    QByteArrayView bytes(qint64 from, qint64 to) const { return {m_bytes.data() + from, qsizetype(to - from)}; }
    uchar at(qint64 pos) const { return uchar(m_bytes[size_t(pos)]); }

    qint64 lineCount() const { return qint64(m_starts.size()) + 1; }
    qint64 lineStart(qint64 line) const { return line == 0 ? 0 : m_starts[size_t(line - 1)]; }
    // Where the line's cells end: before its CR LF or LF.
    qint64 lineEnd(qint64 line) const;
    qint64 lineOf(qint64 pos) const;

    // The positions a caret can take: any but the one between a CR and its LF.
    qint64 snap(qint64 pos) const;
    qint64 next(qint64 pos) const;
    qint64 previous(qint64 pos) const;

    // Words: runs of letters and digits ("152.37" is one), of blanks, or of
    // other signs; a line break stands alone.
    qint64 nextWord(qint64 pos) const;
    qint64 previousWord(qint64 pos) const;
    // The word at `pos`, within its line; at the end of a line, the last one.
    std::pair<qint64, qint64> wordAt(qint64 pos) const;

    // Replaces the bytes from `from` to `to` by `with`. False, with nothing
    // changed, when there is no memory for it.
    bool replace(qint64 from, qint64 to, QByteArrayView with);
    void clear();

    // Lays every line out again for new cell widths or a new row width.
    void setMetrics(const Metrics &metrics);
    const Metrics &metrics() const { return m_metrics; }
    qint64 rowCount() const { return lineCount() + m_extraRows; }
    qint64 firstRow(qint64 line) const;
    // The row with this absolute number, and the row that shows `pos` (at a
    // wrap, the row it starts, unless `atRowEnd` asks for the one it ends).
    Row row(qint64 number) const;
    Row rowOf(qint64 pos, bool atRowEnd = false) const;
    // The row after `row`, which must not be the last.
    Row following(const Row &row) const;
    // Where the row that starts at `from` ends, in a line whose cells end at `end`.
    qint64 rowEnd(qint64 from, qint64 end) const;
    float width(qint64 from, qint64 to) const;

private:
    enum class CharClass { Blank, Word, Break, Other };
    CharClass classAt(qint64 pos) const;
    // A line that takes more than one row.
    struct Wrapped {
        qint64 line;
        qint64 extraBefore; // rows beyond one per line, in the lines before it
        qint64 extra;
    };
    // A line of many rows keeps where some of its rows start, no more than
    // markEvery rows apart, so that finding a row in it walks a few rows
    // from the nearest mark, not the line from its start.
    static constexpr qint64 markEvery = 64;
    struct Mark {
        qint64 row;    // within the line
        qint64 offset; // from the line's start
    };
    struct Marks {
        qint64 line;
        qint64 rows;
        std::vector<Mark> at;
    };
    // The first marks of `line` or of a line after it.
    std::vector<Marks>::iterator marksFrom(qint64 line);
    std::vector<Marks>::const_iterator marksFrom(qint64 line) const;
    const Marks *marksOf(qint64 line) const;
    // The nearest mark at or before row `within` of `line` / before or at
    // `pos` (before it only, with `before`); {0, 0} for the line's start.
    Mark markForRow(qint64 line, qint64 within) const;
    Mark markForPos(qint64 line, qint64 pos, bool before) const;
    // Counts the rows of `line` from `from`, the start of row `row`, adding
    // marks to `marks` when given. Where `old` marks of the line moved by
    // `delta` (from `syncFrom` on) meet a row start, the rest is theirs.
    qint64 walkRows(qint64 line, Mark from, std::vector<Mark> *marks, const Marks *old = nullptr,
                    qint64 syncFrom = 0, qint64 delta = 0) const;
    // The rows of `line`, and its marks when it has many.
    qint64 layOutLine(qint64 line, Mark from, std::vector<Mark> *marks, const Marks *old, qint64 syncFrom,
                      qint64 delta);
    std::vector<Wrapped>::const_iterator wrappedFrom(qint64 line) const;
    // Lines first..oldLast have become first..newLast: bytes from..from+delta
    // are new, and the rest of line `first` moved by `delta`.
    void layOut(qint64 first, qint64 oldLast, qint64 newLast, qint64 from, qint64 to, qint64 delta);

    BigArray<char> m_bytes;
    BigArray<qint64> m_starts; // of every line but the first, which starts at 0
    std::vector<Wrapped> m_wrapped;
    std::vector<Wrapped> m_scratch;
    std::vector<Marks> m_marks; // by line
    qint64 m_extraRows = 0;
    Metrics m_metrics;
};

} // namespace ondril
