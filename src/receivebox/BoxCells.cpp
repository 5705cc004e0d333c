#include "BoxCells.h"

#include <QFontMetrics>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QPainter>

#include <cmath>

namespace ondril {

namespace {

bool isControl(int byte)
{
    return byte < 0x20 || (byte >= 0x7F && byte < 0xA0);
}

QString hexCode(int byte)
{
    return QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0')).toUpper();
}

} // namespace

void BoxCells::setFont(const QFont &font)
{
    m_raw = QRawFont::fromFont(font);
    const QFontMetrics metrics(font);
    m_rowHeight = std::max(1, metrics.height());
    m_ascent = metrics.ascent();
    m_markFont = font;
    m_markFont.setPixelSize(std::max(6, metrics.height() * 3 / 5));
    const float markWidth = float(std::ceil(QFontMetricsF(m_markFont).horizontalAdvance(QStringLiteral("00")))) + 6;
    for (int b = 0; b < 256; ++b) {
        quint32 glyph = 0;
        if (!isControl(b) && m_raw.isValid()) {
            const QList<quint32> found = m_raw.glyphIndexesForString(QString(QChar(b)));
            glyph = found.isEmpty() ? 0 : found.constFirst();
        }
        m_glyph[size_t(b)] = glyph;
        m_width[size_t(b)] = glyph ? float(m_raw.advancesForGlyphIndexes(QList<quint32>{glyph}).value(0).x())
                                   : markWidth;
    }
}

qreal BoxCells::draw(QPainter &painter, qreal x, qreal y, QByteArrayView cells, const QColor &color) const
{
    m_runGlyphs.clear();
    m_runPositions.clear();
    const qreal startX = x;
    bool marks = false;
    for (const char c : cells) {
        const auto b = uchar(c);
        if (m_glyph[b] && b != ' ') {
            m_runGlyphs.append(m_glyph[b]);
            m_runPositions.append(QPointF(x, y + m_ascent));
        }
        marks = marks || !m_glyph[b];
        x += m_width[b];
    }
    painter.setPen(color);
    if (!m_runGlyphs.isEmpty()) {
        QGlyphRun run;
        run.setRawFont(m_raw);
        run.setGlyphIndexes(m_runGlyphs);
        run.setPositions(m_runPositions);
        painter.drawGlyphRun(QPointF(0, 0), run);
    }
    if (marks) {
        painter.setFont(m_markFont);
        qreal at = startX;
        for (const char c : cells) {
            const auto b = uchar(c);
            if (!m_glyph[b]) {
                const QRectF frame(at + 1.5, y + 2.5, m_width[b] - 3, m_rowHeight - 5);
                painter.drawRect(frame);
                painter.drawText(frame, Qt::AlignCenter, hexCode(b));
            }
            at += m_width[b];
        }
    }
    return x;
}

} // namespace ondril
