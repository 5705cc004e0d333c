#include "FixedText.h"

#include <QAction>
#include <QClipboard>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QPainter>

#include <algorithm>

namespace ondril {

FixedText::FixedText(QWidget *parent) : QWidget(parent)
{
    setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto *copy = new QAction(QStringLiteral("Copy"), this);
    connect(copy, &QAction::triggered, this, [this] { QGuiApplication::clipboard()->setText(text()); });
    addAction(copy);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void FixedText::setLines(const QStringList &lines)
{
    if (lines == m_lines)
        return;
    qsizetype widest = 0;
    for (const QString &line : lines)
        widest = std::max(widest, line.size());
    const bool resized = widest != m_widest || lines.size() != m_lines.size();
    m_lines = lines;
    m_widest = widest;
    setAccessibleDescription(text()); // what a screen reader reads out
    if (resized)
        updateGeometry();
    update();
}

QSize FixedText::sizeHint() const
{
    const QFontMetrics fm = fontMetrics();
    return {fm.horizontalAdvance(QString(m_widest, u'0')) + 2, int(m_lines.size()) * fm.lineSpacing()};
}

void FixedText::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    const QFontMetrics fm = fontMetrics();
    for (qsizetype i = 0; i < m_lines.size(); ++i)
        p.drawText(0, int(i) * fm.lineSpacing() + fm.ascent(), m_lines[i]);
}

QStringList inColumns(const QList<QStringList> &rows)
{
    QList<qsizetype> widths;
    for (const QStringList &row : rows)
        for (qsizetype i = 0; i < row.size(); ++i) {
            if (widths.size() <= i)
                widths << 0;
            widths[i] = std::max(widths[i], row[i].size());
        }
    QStringList lines;
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype i = 0; i < row.size(); ++i)
            line += i == 0 ? row[i].leftJustified(widths[i]) : QStringLiteral("  ") + row[i].rightJustified(widths[i]);
        lines << line;
    }
    return lines;
}

} // namespace ondril
