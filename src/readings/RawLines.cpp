#include "RawLines.h"

#include <cstring>
#include <utility>

namespace ondril {

namespace {

int put(char *out, quint64 n)
{
    int i = 0;
    for (; n >= 0x80; n >>= 7)
        out[i++] = char(0x80 | (n & 0x7f));
    out[i++] = char(n);
    return i;
}

quint64 get(const char *in, qint64 *at)
{
    quint64 n = 0;
    for (int shift = 0;; shift += 7) {
        const quint8 b = quint8(in[(*at)++]);
        n |= quint64(b & 0x7f) << shift;
        if (!(b & 0x80))
            return n;
    }
}

} // namespace

bool RawLines::add(QByteArrayView line)
{
    qsizetype shared = 0;
    if (m_count % restartEvery != 0) {
        const qsizetype most = std::min(line.size(), m_last.size());
        while (shared < most && line[shared] == m_last[shared])
            ++shared;
    }
    const QByteArrayView rest = line.sliced(shared);
    char head[20];
    int headSize = put(head, quint64(shared));
    headSize += put(head + headSize, quint64(rest.size()));
    const size_t entry = size_t(headSize) + size_t(rest.size());
    if (!m_bytes.reserve(m_bytes.size() + entry)
        || (m_count % restartEvery == 0 && !m_starts.reserve(m_starts.size() + 1)))
        return false;
    try {
        m_last.resize(shared);
        m_last.append(rest);
    } catch (const std::bad_alloc &) {
        return false;
    }
    if (m_count % restartEvery == 0)
        *m_starts.open(m_starts.size(), 1) = qint64(m_bytes.size());
    char *out = m_bytes.open(m_bytes.size(), entry);
    std::memcpy(out, head, size_t(headSize));
    if (!rest.isEmpty())
        std::memcpy(out + headSize, rest.data(), size_t(rest.size()));
    ++m_count;
    return true;
}

void RawLines::tellNext() const
{
    const char *bytes = m_bytes.data();
    const qint64 shared = qint64(get(bytes, &m_next));
    const qint64 rest = qint64(get(bytes, &m_next));
    m_told.truncate(shared);
    m_told.append(bytes + m_next, rest);
    m_next += rest;
    ++m_toldLine;
}

QByteArrayView RawLines::at(qint64 i) const
{
    // On from the line told last, or from the last whole line before `i`,
    // whichever is nearer (entries follow one another, whole ones too).
    const qint64 fromWhole = i % restartEvery + 1;
    if (m_toldLine < 0 || i < m_toldLine || i - m_toldLine > fromWhole) {
        m_toldLine = i - fromWhole;
        m_next = m_starts[size_t(i / restartEvery)];
        m_told.clear();
    }
    while (m_toldLine < i)
        tellNext();
    return m_told;
}

void RawLines::clear()
{
    m_bytes.clear();
    m_starts.clear();
    m_last.clear();
    m_count = 0;
    m_told.clear();
    m_toldLine = -1;
    m_next = 0;
}

void RawLines::swap(RawLines &other) noexcept
{
    m_bytes.swap(other.m_bytes);
    m_starts.swap(other.m_starts);
    std::swap(m_last, other.m_last);
    std::swap(m_count, other.m_count);
    std::swap(m_told, other.m_told);
    std::swap(m_toldLine, other.m_toldLine);
    std::swap(m_next, other.m_next);
}

} // namespace ondril
