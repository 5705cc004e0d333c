#pragma once

#include <QStringList>
#include <QWidget>

namespace ondril {

// Lines of text in the fixed-pitch font, as a table in columns. Unlike a
// label it lays nothing out when its text changes: its size follows from
// the longest line and the line count, so a refresh each second costs only
// the paint. Its context menu copies the text.
class FixedText : public QWidget {
    Q_OBJECT
public:
    explicit FixedText(QWidget *parent = nullptr);

    void setLines(const QStringList &lines);
    QString text() const { return m_lines.join(u'\n'); }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QStringList m_lines;
    qsizetype m_widest = 0;
};

// Rows of cells as lines in columns, each column as wide as its widest cell
// and two blanks from the next: the first column to the left, the others
// (figures) to the right.
QStringList inColumns(const QList<QStringList> &rows);

} // namespace ondril
