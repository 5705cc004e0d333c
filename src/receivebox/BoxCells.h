#pragma once

#include <QFont>
#include <QList>
#include <QPointF>
#include <QRawFont>

#include <array>

class QPainter;

namespace ondril {

// How the receive box draws each of the 256 byte values: a glyph of its font
// at a fixed advance, with no shaping, so that what is drawn and where the
// caret goes always agree; or, for a control byte and any byte the font has
// no glyph for, a small frame holding its hex code.
class BoxCells {
public:
    void setFont(const QFont &font);

    bool isReady() const { return m_raw.isValid(); }
    const std::array<float, 256> &widths() const { return m_width; }
    int rowHeight() const { return m_rowHeight; }

    // Draws `cells` from x on the row whose top is at y; returns where they end.
    qreal draw(QPainter &painter, qreal x, qreal y, QByteArrayView cells, const QColor &color) const;

private:
    QRawFont m_raw;
    QFont m_markFont;
    std::array<quint32, 256> m_glyph{};
    std::array<float, 256> m_width{};
    int m_rowHeight = 1;
    int m_ascent = 0;
    mutable QList<quint32> m_runGlyphs;
    mutable QList<QPointF> m_runPositions;
};

} // namespace ondril
