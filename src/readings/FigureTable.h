#pragma once

#include <QStringList>
#include <QTableView>

namespace ondril {

class FigureModel;

// Figures as a table a screen reader walks cell by cell and the keyboard
// reaches: a header row, then rows whose first cell names them and whose
// others are figures. Ctrl+C and the context menu copy it whole as text in
// columns. Tab leaves it rather than moving between cells.
class FigureTable : public QTableView {
    Q_OBJECT
public:
    explicit FigureTable(QWidget *parent = nullptr);

    // The header, then the rows; nothing is laid out again unless they changed.
    void setRows(const QList<QStringList> &rows);
    // The table as lines, each column as wide as its widest cell.
    QString text() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

private:
    FigureModel *m_model;
};

// Rows of cells as lines in columns, each column as wide as its widest cell
// and two blanks from the next: the first column to the left, the others
// (figures) to the right.
QStringList inColumns(const QList<QStringList> &rows);

} // namespace ondril
