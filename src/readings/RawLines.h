#pragma once

#include "paged/BigArray.h"

#include <QByteArray>
#include <QByteArrayView>

namespace ondril {

// The raw bytes of every line of a run, each kept as how much it shares with
// the line before and the rest: a balance's lines differ in a few digits, so
// a line costs a few bytes instead of its length. Every 64th line is kept
// whole, so that any line is told back from at most 63 before it, and the
// next line after the last one told back from its own entry alone.
class RawLines {
public:
    // False, with nothing changed, when there is no memory for it.
    bool add(QByteArrayView line);
    // Line `i`; the view holds until the next call.
    QByteArrayView at(qint64 i) const;
    qint64 size() const { return m_count; }
    void clear();
    void swap(RawLines &other) noexcept;

private:
    static constexpr qint64 restartEvery = 64;
    // Tells back the entry at m_next into m_told, after line m_toldLine.
    void tellNext() const;

    BigArray<char> m_bytes;    // per line: shared length, rest length (both base-128), the rest
    BigArray<qint64> m_starts; // where every 64th line's entry starts
    QByteArray m_last;         // the last line added, whole
    qint64 m_count = 0;
    mutable QByteArray m_told; // the last line told back
    mutable qint64 m_toldLine = -1;
    mutable qint64 m_next = 0; // where the entry after it starts
};

} // namespace ondril
