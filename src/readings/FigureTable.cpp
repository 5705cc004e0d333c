#include "FigureTable.h"

#include <QAbstractTableModel>
#include <QAction>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>

#include <algorithm>
#include <utility>

namespace ondril {

class FigureModel : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    QList<QStringList> rows; // the header first

    void setRows(const QList<QStringList> &next)
    {
        if (next.size() != rows.size() || next.value(0).size() != rows.value(0).size()) {
            beginResetModel();
            rows = next;
            endResetModel();
            return;
        }
        // Only the cells that changed are repainted: each second most stay as they were.
        const QList<QStringList> before = std::exchange(rows, next);
        for (qsizetype r = 0; r < rows.size(); ++r)
            for (qsizetype c = 0; c < rows[r].size(); ++c) {
                if (rows[r][c] == before[r].value(c))
                    continue;
                if (r == 0)
                    emit headerDataChanged(Qt::Horizontal, int(c), int(c));
                else // as long as before: its column need not be measured again (digits are of one width)
                    emit dataChanged(index(int(r) - 1, int(c)), index(int(r) - 1, int(c)),
                                     {rows[r][c].size() == before[r].value(c).size() ? Qt::AccessibleTextRole
                                                                                     : Qt::DisplayRole});
            }
    }

    int rowCount(const QModelIndex &parent) const override { return parent.isValid() ? 0 : std::max(0, int(rows.size()) - 1); }
    int columnCount(const QModelIndex &parent) const override
    {
        return parent.isValid() || rows.isEmpty() ? 0 : int(rows.first().size());
    }
    QVariant data(const QModelIndex &index, int role) const override
    {
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return rows.value(index.row() + 1).value(index.column());
        if (role == Qt::TextAlignmentRole)
            return QVariant::fromValue((index.column() == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter);
        return {};
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override
    {
        if (role != Qt::DisplayRole || rows.isEmpty())
            return {};
        if (orientation == Qt::Horizontal)
            return rows.first().value(section);
        return rows.value(section + 1).value(0); // a row is named by its first cell
    }
    Qt::ItemFlags flags(const QModelIndex &) const override { return Qt::ItemIsEnabled | Qt::ItemIsSelectable; }
};

FigureTable::FigureTable(QWidget *parent) : QTableView(parent), m_model(new FigureModel(this))
{
    setModel(m_model);
    setTabKeyNavigation(false);
    setEditTriggers(NoEditTriggers);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    // As large as its figures, so nothing scrolls.
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    horizontalHeader()->setStretchLastSection(false);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4); // rows of text, not of buttons
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] { updateGeometry(); });
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto *copy = new QAction(QStringLiteral("&Copy"), this);
    copy->setShortcut(QKeySequence::Copy);
    copy->setShortcutContext(Qt::WidgetShortcut);
    connect(copy, &QAction::triggered, this, [this] { QGuiApplication::clipboard()->setText(text()); });
    addAction(copy);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void FigureTable::setRows(const QList<QStringList> &rows)
{
    if (rows == m_model->rows)
        return;
    const bool moreOrFewer = rows.size() != m_model->rows.size();
    m_model->setRows(rows);
    if (moreOrFewer)
        updateGeometry();
}

QString FigureTable::text() const
{
    return inColumns(m_model->rows).join(u'\n');
}

QSize FigureTable::sizeHint() const
{
    // Every cell shown.
    const int rows = m_model->rowCount({});
    return {horizontalHeader()->length() + 2 * frameWidth(),
            horizontalHeader()->sizeHint().height() + rows * verticalHeader()->defaultSectionSize() + 2 * frameWidth()};
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
