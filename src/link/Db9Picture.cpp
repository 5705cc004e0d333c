#include "Db9Picture.h"

#include <QPainter>
#include <QPainterPath>

namespace ondril {

Db9Picture::Db9Picture(QWidget *parent) : QWidget(parent)
{
    setMinimumSize(sizeHint());
    setToolTip(QStringLiteral("2–3: TX and RX; 7–8: RTS and CTS; 4–6–1: DTR, DSR and DCD"));
    setAccessibleName(QStringLiteral("DB9 plug: join pins 2 and 3, 7 and 8, and 4, 6 and 1"));
}

// Pins 1 to 5 on the wide row, 6 to 9 on the narrow one, as on the port.
static QPointF pinAt(int pin, const QRectF &face)
{
    const double step = face.width() / 6;
    if (pin <= 5)
        return {face.left() + step * pin, face.top() + face.height() * 0.33};
    return {face.left() + step * (pin - 5) + step / 2, face.top() + face.height() * 0.70};
}

void Db9Picture::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF face = QRectF(rect()).adjusted(10, 10, -10, -10);
    const double slant = face.width() * 0.08;
    QPainterPath shell;
    shell.moveTo(face.topLeft());
    shell.lineTo(face.topRight());
    shell.lineTo(face.right() - slant, face.bottom());
    shell.lineTo(face.left() + slant, face.bottom());
    shell.closeSubpath();
    p.setPen(QPen(palette().color(QPalette::WindowText), 1.5));
    p.setBrush(palette().color(QPalette::Base));
    p.drawPath(shell);

    const QColor join(200, 60, 30);
    p.setPen(QPen(join, 4, Qt::SolidLine, Qt::RoundCap));
    for (const auto &[a, b] : {std::pair{2, 3}, {7, 8}, {4, 6}, {6, 1}})
        p.drawLine(pinAt(a, face), pinAt(b, face));

    const double r = face.height() * 0.12;
    for (int pin = 1; pin <= 9; ++pin) {
        const QPointF c = pinAt(pin, face);
        p.setPen(QPen(palette().color(QPalette::WindowText), 1));
        p.setBrush(palette().color(QPalette::Button));
        p.drawEllipse(c, r, r);
        p.drawText(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), Qt::AlignCenter, QString::number(pin));
    }
}

} // namespace ondril
