#include "BoxText.h"

#include <QChar>

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>

namespace ondril {

namespace {

// Room for `n` elements, growing by half again at least.
template <class T>
void reserveFor(std::vector<T> &v, size_t n)
{
    if (n > v.capacity())
        v.reserve(std::max(n, v.capacity() + v.capacity() / 2));
}

// Calls `f` with the offset of every LF in `bytes`.
template <class F>
void forEachLineFeed(QByteArrayView bytes, F f)
{
    const char *p = bytes.data();
    const char *end = p + bytes.size();
    while (p < end && (p = static_cast<const char *>(std::memchr(p, '\n', size_t(end - p))))) {
        f(p - bytes.data());
        ++p;
    }
}

} // namespace

qint64 BoxText::lineEnd(qint64 line) const
{
    if (line + 1 >= lineCount())
        return size();
    const qint64 lf = lineStart(line + 1) - 1;
    return lf > lineStart(line) && at(lf - 1) == '\r' ? lf - 1 : lf;
}

qint64 BoxText::lineOf(qint64 pos) const
{
    return qint64(std::upper_bound(m_starts.begin(), m_starts.end(), pos) - m_starts.begin());
}

qint64 BoxText::snap(qint64 pos) const
{
    pos = std::clamp<qint64>(pos, 0, size());
    return pos > 0 && pos < size() && at(pos) == '\n' && at(pos - 1) == '\r' ? pos - 1 : pos;
}

qint64 BoxText::next(qint64 pos) const
{
    if (pos >= size())
        return size();
    return at(pos) == '\r' && pos + 1 < size() && at(pos + 1) == '\n' ? pos + 2 : pos + 1;
}

qint64 BoxText::previous(qint64 pos) const
{
    if (pos <= 0)
        return 0;
    return pos >= 2 && at(pos - 1) == '\n' && at(pos - 2) == '\r' ? pos - 2 : pos - 1;
}

BoxText::CharClass BoxText::classAt(qint64 pos) const
{
    const uchar b = at(pos);
    if (b == '\n' || (b == '\r' && pos + 1 < size() && at(pos + 1) == '\n'))
        return CharClass::Break;
    if (b == ' ' || b == '\t')
        return CharClass::Blank;
    const auto digit = [&](qint64 p) { return p >= 0 && p < size() && QChar(at(p)).isDigit(); };
    if (QChar(b).isLetterOrNumber() || b == '_' || ((b == '.' || b == ',') && digit(pos - 1) && digit(pos + 1)))
        return CharClass::Word;
    return CharClass::Other;
}

qint64 BoxText::nextWord(qint64 pos) const
{
    // Over this run, then over the blanks after it.
    if (pos >= size())
        return size();
    const CharClass c = classAt(pos);
    pos = next(pos);
    while (c != CharClass::Break && pos < size() && classAt(pos) == c)
        pos = next(pos);
    while (pos < size() && classAt(pos) == CharClass::Blank)
        pos = next(pos);
    return pos;
}

qint64 BoxText::previousWord(qint64 pos) const
{
    while (pos > 0 && classAt(previous(pos)) == CharClass::Blank)
        pos = previous(pos);
    if (pos == 0)
        return 0;
    const CharClass c = classAt(previous(pos));
    pos = previous(pos);
    while (c != CharClass::Break && pos > 0 && classAt(previous(pos)) == c)
        pos = previous(pos);
    return pos;
}

std::pair<qint64, qint64> BoxText::wordAt(qint64 pos) const
{
    const qint64 line = lineOf(pos);
    const qint64 start = lineStart(line);
    const qint64 end = lineEnd(line);
    pos = std::min(pos, end > start ? end - 1 : end);
    if (pos >= end)
        return {pos, pos};
    const CharClass c = classAt(pos);
    qint64 from = pos;
    qint64 to = pos + 1;
    while (from > start && classAt(from - 1) == c)
        --from;
    while (to < end && classAt(to) == c)
        ++to;
    return {from, to};
}

bool BoxText::replace(qint64 from, qint64 to, QByteArrayView with)
{
    const qint64 first = lineOf(from);
    const qint64 oldLast = lineOf(to);
    const qint64 delta = with.size() - (to - from);
    qint64 feeds = 0;
    forEachLineFeed(with, [&](qsizetype) { ++feeds; });
    // Everything that can fail comes first: once the bytes change, nothing
    // allocates, so the box never holds half a change.
    if (!m_bytes.reserve(size_t(size() + std::max<qint64>(delta, 0)))
        || !m_starts.reserve(m_starts.size() + size_t(feeds)))
        return false;
    try {
        reserveFor(m_wrapped, m_wrapped.size() + size_t(feeds) + 1);
        if (m_scratch.capacity() < size_t(feeds) + 1)
            m_scratch.reserve(size_t(feeds) + 1);
    } catch (const std::exception &) { // bad_alloc, or length_error beyond any size
        return false;
    }

    if (delta > 0)
        m_bytes.open(size_t(to), size_t(delta));
    else
        m_bytes.erase(size_t(from + with.size()), size_t(to));
    if (!with.isEmpty())
        std::memcpy(m_bytes.data() + from, with.data(), size_t(with.size()));

    // The lines that started inside the replaced bytes are gone; the ones after
    // them move; every LF in `with` starts a new one. Line n > 0 starts at m_starts[n - 1].
    for (size_t i = size_t(oldLast); i < m_starts.size(); ++i)
        m_starts[i] += delta;
    m_starts.erase(size_t(first), size_t(oldLast));
    qint64 *added = m_starts.open(size_t(first), size_t(feeds));
    forEachLineFeed(with, [&](qsizetype lf) { *added++ = from + lf + 1; });

    layOut(first, oldLast, first + feeds, from, to, delta);
    if (m_scratch.capacity() > 4096)
        std::vector<Wrapped>().swap(m_scratch); // a large paste does not keep its room
    return true;
}

void BoxText::clear()
{
    m_bytes.clear();
    m_starts.clear();
    std::vector<Wrapped>().swap(m_wrapped);
    std::vector<Marks>().swap(m_marks);
    m_extraRows = 0;
}

void BoxText::setMetrics(const Metrics &metrics)
{
    m_metrics = metrics;
    m_wrapped.clear();
    m_marks.clear();
    m_extraRows = 0;
    try {
        std::vector<Mark> marks;
        for (qint64 line = 0; line < lineCount(); ++line)
            if (const qint64 extra = layOutLine(line, {0, 0}, &marks, nullptr, 0, 0) - 1) {
                m_wrapped.push_back({line, m_extraRows, extra});
                m_extraRows += extra;
            }
    } catch (const std::exception &) {
        // No room to wrap: every line takes one row, which is still a true layout.
        m_metrics.rowWidth = 0;
        std::vector<Wrapped>().swap(m_wrapped);
        std::vector<Marks>().swap(m_marks);
        m_extraRows = 0;
    }
}

std::vector<BoxText::Wrapped>::const_iterator BoxText::wrappedFrom(qint64 line) const
{
    return std::lower_bound(m_wrapped.begin(), m_wrapped.end(), line,
                            [](const Wrapped &w, qint64 l) { return w.line < l; });
}

qint64 BoxText::firstRow(qint64 line) const
{
    const auto it = wrappedFrom(line);
    return line + (it == m_wrapped.end() ? m_extraRows : it->extraBefore);
}

std::vector<BoxText::Marks>::iterator BoxText::marksFrom(qint64 line)
{
    return std::lower_bound(m_marks.begin(), m_marks.end(), line, [](const Marks &m, qint64 l) { return m.line < l; });
}

std::vector<BoxText::Marks>::const_iterator BoxText::marksFrom(qint64 line) const
{
    return const_cast<BoxText *>(this)->marksFrom(line);
}

const BoxText::Marks *BoxText::marksOf(qint64 line) const
{
    const auto it = marksFrom(line);
    return it != m_marks.end() && it->line == line ? &*it : nullptr;
}

BoxText::Mark BoxText::markForRow(qint64 line, qint64 within) const
{
    const Marks *marks = marksOf(line);
    if (!marks)
        return {0, 0};
    const auto it = std::upper_bound(marks->at.begin(), marks->at.end(), within,
                                     [](qint64 w, const Mark &m) { return w < m.row; });
    return it == marks->at.begin() ? Mark{0, 0} : *(it - 1);
}

BoxText::Mark BoxText::markForPos(qint64 line, qint64 pos, bool before) const
{
    const Marks *marks = marksOf(line);
    if (!marks)
        return {0, 0};
    const qint64 offset = pos - lineStart(line);
    const auto it = before ? std::lower_bound(marks->at.begin(), marks->at.end(), offset,
                                              [](const Mark &m, qint64 o) { return m.offset < o; })
                           : std::upper_bound(marks->at.begin(), marks->at.end(), offset,
                                              [](qint64 o, const Mark &m) { return o < m.offset; });
    return it == marks->at.begin() ? Mark{0, 0} : *(it - 1);
}

qint64 BoxText::walkRows(qint64 line, Mark from, std::vector<Mark> *marks, const Marks *old, qint64 syncFrom,
                         qint64 delta) const
{
    const qint64 base = lineStart(line);
    const qint64 end = lineEnd(line);
    qint64 row = from.row;
    qint64 lastMark = marks && !marks->empty() ? marks->back().row : 0;
    auto next = old ? std::lower_bound(old->at.begin(), old->at.end(), syncFrom - base,
                                       [](const Mark &m, qint64 o) { return m.offset < o; })
                    : std::vector<Mark>::const_iterator();
    for (qint64 at = rowEnd(base + from.offset, end); at < end; at = rowEnd(at, end)) {
        ++row;
        if (old) {
            // A row that starts where an old one did, moved, is followed by the old rows.
            while (next != old->at.end() && base + next->offset + delta < at)
                ++next;
            if (next != old->at.end() && base + next->offset + delta == at) {
                const qint64 shift = row - next->row;
                if (marks)
                    for (; next != old->at.end(); ++next)
                        marks->push_back({next->row + shift, next->offset + delta});
                return old->rows + shift;
            }
        }
        if (marks && row - lastMark == markEvery) {
            marks->push_back({row, at - base});
            lastMark = row;
        }
    }
    return row + 1;
}

qint64 BoxText::layOutLine(qint64 line, Mark from, std::vector<Mark> *marks, const Marks *old, qint64 syncFrom,
                           qint64 delta)
{
    const qint64 rows = walkRows(line, from, marks, old, syncFrom, delta);
    if (rows > markEvery) {
        const auto at = marksFrom(line);
        m_marks.insert(at, Marks{line, rows, std::move(*marks)});
    }
    marks->clear();
    return rows;
}

BoxText::Row BoxText::row(qint64 number) const
{
    number = std::clamp<qint64>(number, 0, rowCount() - 1);
    // The last wrapped line that starts at or before the row.
    const auto after = std::upper_bound(m_wrapped.begin(), m_wrapped.end(), number,
                                        [](qint64 n, const Wrapped &w) { return n < w.line + w.extraBefore; });
    qint64 line = number;
    qint64 within = 0;
    if (after != m_wrapped.begin()) {
        const Wrapped &w = *(after - 1);
        const qint64 first = w.line + w.extraBefore;
        if (number <= first + w.extra) {
            line = w.line;
            within = number - first;
        } else {
            line = w.line + (number - first - w.extra);
        }
    }
    const qint64 end = lineEnd(line);
    const Mark mark = markForRow(line, within);
    qint64 start = lineStart(line) + mark.offset;
    for (within -= mark.row;; --within) {
        const qint64 stop = rowEnd(start, end);
        if (within == 0 || stop >= end)
            return {number, line, start, stop};
        start = stop;
    }
}

BoxText::Row BoxText::rowOf(qint64 pos, bool atRowEnd) const
{
    const qint64 line = lineOf(pos);
    const qint64 end = lineEnd(line);
    const Mark mark = markForPos(line, pos, atRowEnd);
    qint64 number = firstRow(line) + mark.row;
    for (qint64 start = lineStart(line) + mark.offset;; ++number) {
        const qint64 stop = rowEnd(start, end);
        if (pos < stop || (atRowEnd && pos == stop) || stop >= end)
            return {number, line, start, stop};
        start = stop;
    }
}

BoxText::Row BoxText::following(const Row &row) const
{
    const qint64 end = lineEnd(row.line);
    if (row.end < end)
        return {row.number + 1, row.line, row.end, rowEnd(row.end, end)};
    const qint64 line = row.line + 1;
    const qint64 start = lineStart(line);
    return {row.number + 1, line, start, rowEnd(start, lineEnd(line))};
}

qint64 BoxText::rowEnd(qint64 from, qint64 end) const
{
    const float limit = m_metrics.rowWidth;
    if (limit <= 0 || from >= end)
        return end;
    // A row holds at least one cell, however narrow the box.
    float x = m_metrics.cell[at(from)];
    qint64 pos = from + 1;
    const char *bytes = m_bytes.data();
    for (; pos < end; ++pos) {
        x += m_metrics.cell[uchar(bytes[pos])];
        if (x > limit)
            break;
    }
    return pos;
}

float BoxText::width(qint64 from, qint64 to) const
{
    float x = 0;
    for (qint64 pos = from; pos < to; ++pos)
        x += m_metrics.cell[at(pos)];
    return x;
}

void BoxText::layOut(qint64 first, qint64 oldLast, qint64 newLast, qint64 from, qint64 to, qint64 delta)
{
    const auto lo = size_t(wrappedFrom(first) - m_wrapped.begin());
    const auto hi = size_t(wrappedFrom(oldLast + 1) - m_wrapped.begin());
    const qint64 base = lo == m_wrapped.size() ? m_extraRows : m_wrapped[lo].extraBefore;
    qint64 oldExtra = 0;
    for (size_t i = lo; i < hi; ++i)
        oldExtra += m_wrapped[i].extra;

    // Marks are a short cut: without room for them, rows are found from
    // their line's start, as slowly as that is, and just as right.
    std::optional<Marks> old;
    std::vector<Mark> marks;
    if (const auto had = marksFrom(first); had != m_marks.end() && had->line == first) {
        old = std::move(*had);
        // The rows that start before the change stay as they were.
        const auto kept = std::lower_bound(old->at.begin(), old->at.end(), from - lineStart(first),
                                           [](const Mark &m, qint64 o) { return m.offset < o; });
        try {
            marks.assign(old->at.begin(), kept);
        } catch (const std::exception &) {
            marks.clear();
        }
    }
    // A row that started at a CR starts none once its LF comes: the CR then
    // ends the line.
    const qint64 firstEnd = lineEnd(first) - lineStart(first);
    while (!marks.empty() && marks.back().offset >= firstEnd)
        marks.pop_back();
    m_marks.erase(marksFrom(first), marksFrom(oldLast + 1));
    for (auto it = marksFrom(oldLast + 1); it != m_marks.end(); ++it)
        it->line += newLast - oldLast;

    m_scratch.clear();
    qint64 newExtra = 0;
    for (qint64 line = first; line <= newLast; ++line) {
        // Within one line, the rows after the change meet the old ones again soon.
        const bool sameLine = line == first && first == oldLast && first == newLast;
        const Mark start = line == first && !marks.empty() ? marks.back() : Mark{0, 0};
        qint64 rows;
        try {
            rows = layOutLine(line, start, &marks, sameLine && old ? &*old : nullptr, to, delta);
        } catch (const std::exception &) {
            const auto at = marksFrom(line);
            if (at != m_marks.end() && at->line == line)
                m_marks.erase(at);
            marks.clear();
            rows = walkRows(line, {0, 0}, nullptr);
        }
        if (const qint64 extra = rows - 1) {
            m_scratch.push_back({line, base + newExtra, extra});
            newExtra += extra;
        }
    }
    for (size_t i = hi; i < m_wrapped.size(); ++i) {
        m_wrapped[i].line += newLast - oldLast;
        m_wrapped[i].extraBefore += newExtra - oldExtra;
    }
    const auto at = m_wrapped.erase(m_wrapped.begin() + qsizetype(lo), m_wrapped.begin() + qsizetype(hi));
    m_wrapped.insert(at, m_scratch.begin(), m_scratch.end());
    m_extraRows += newExtra - oldExtra;
}

} // namespace ondril
