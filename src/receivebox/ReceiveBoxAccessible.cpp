#include "ReceiveBoxAccessible.h"

#include "ReceiveBox.h"
#include "window/AccessibleFactory.h"

#include <QAccessibleWidget>

#include <climits>

namespace ondril {

namespace {

// Offsets are characters of the box, one per byte.
class BoxAccessible : public QAccessibleWidget,
                      public QAccessibleTextInterface,
                      public QAccessibleEditableTextInterface {
public:
    explicit BoxAccessible(ReceiveBox *box) : QAccessibleWidget(box, QAccessible::EditableText) {}

    void *interface_cast(QAccessible::InterfaceType type) override
    {
        if (type == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface *>(this);
        if (type == QAccessible::EditableTextInterface)
            return static_cast<QAccessibleEditableTextInterface *>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QAccessible::State state() const override
    {
        QAccessible::State s = QAccessibleWidget::state();
        s.editable = true;
        s.multiLine = true;
        s.selectableText = true;
        return s;
    }

    void selection(int index, int *start, int *end) const override
    {
        const bool any = index == 0 && selectionCount() == 1;
        *start = any ? clamp(std::min(box()->anchorPosition(), box()->caretPosition())) : 0;
        *end = any ? clamp(std::max(box()->anchorPosition(), box()->caretPosition())) : 0;
    }
    int selectionCount() const override { return box()->anchorPosition() != box()->caretPosition() ? 1 : 0; }
    void addSelection(int start, int end) override { box()->setSelection(start, end); }
    void removeSelection(int) override { box()->setSelection(box()->caretPosition(), box()->caretPosition()); }
    void setSelection(int, int start, int end) override { box()->setSelection(start, end); }
    int cursorPosition() const override { return clamp(box()->caretPosition()); }
    void setCursorPosition(int position) override { box()->setSelection(position, position); }
    int characterCount() const override { return clamp(box()->content().size()); }
    QString text(int start, int end) const override { return box()->text(start, end); }

    QString textAtOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override
    {
        const auto [from, to] = unitAt(offset, type);
        return found(from, to, start, end);
    }
    QString textBeforeOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override
    {
        const qint64 from = unitAt(offset, type).first;
        if (from == 0)
            return found(0, 0, start, end);
        const auto [f, t] = unitAt(from - 1, type);
        return found(f, t, start, end);
    }
    QString textAfterOffset(int offset, QAccessible::TextBoundaryType type, int *start, int *end) const override
    {
        const qint64 to = unitAt(offset, type).second;
        if (to >= box()->content().size())
            return found(to, to, start, end);
        const auto [f, t] = unitAt(to, type);
        return found(f, t, start, end);
    }

    QRect characterRect(int offset) const override
    {
        QRect r = box()->cellRect(std::clamp<qint64>(offset, 0, box()->content().size()));
        r.moveTopLeft(box()->viewport()->mapToGlobal(r.topLeft()));
        return r;
    }
    int offsetAtPoint(const QPoint &point) const override
    {
        const qint64 at = box()->characterAt(box()->viewport()->mapFromGlobal(point));
        return at < 0 ? -1 : clamp(at);
    }
    void scrollToSubstring(int start, int end) override { box()->scrollToShow(start, end); }
    QString attributes(int, int *start, int *end) const override
    {
        *start = 0;
        *end = characterCount();
        return {};
    }

    void deleteText(int start, int end) override { replaceText(start, end, QString()); }
    void insertText(int offset, const QString &text) override { replaceText(offset, offset, text); }
    void replaceText(int start, int end, const QString &text) override
    {
        box()->setSelection(start, end);
        box()->insertTyped(text);
    }

private:
    ReceiveBox *box() const { return static_cast<ReceiveBox *>(widget()); }
    static int clamp(qint64 n) { return int(std::min<qint64>(n, INT_MAX)); }

    QString found(qint64 from, qint64 to, int *start, int *end) const
    {
        *start = clamp(from);
        *end = clamp(to);
        return box()->text(from, to);
    }

    // The unit of text that holds `offset`; lines and paragraphs with their line break.
    std::pair<qint64, qint64> unitAt(qint64 offset, QAccessible::TextBoundaryType type) const
    {
        const BoxText &t = box()->content();
        offset = std::clamp<qint64>(offset, 0, t.size());
        const auto withBreak = [&](qint64 line, qint64 from, qint64 to) {
            const bool last = line + 1 >= t.lineCount();
            return std::pair<qint64, qint64>(from, to == t.lineEnd(line) && !last ? t.lineStart(line + 1) : to);
        };
        switch (type) {
        case QAccessible::CharBoundary:
            return {offset, std::min(offset + 1, t.size())};
        case QAccessible::WordBoundary:
            return t.wordAt(offset);
        case QAccessible::LineBoundary: {
            const BoxText::Row row = t.rowOf(offset);
            return withBreak(row.line, row.start, row.end);
        }
        case QAccessible::SentenceBoundary:
        case QAccessible::ParagraphBoundary: {
            const qint64 line = t.lineOf(offset);
            return withBreak(line, t.lineStart(line), t.lineEnd(line));
        }
        case QAccessible::NoBoundary:
            break;
        }
        return {0, t.size()};
    }
};

QAccessibleInterface *boxFactory(const QString &key, QObject *object)
{
    if (key == QLatin1String(ReceiveBox::staticMetaObject.className()))
        if (auto *box = qobject_cast<ReceiveBox *>(object))
            return new BoxAccessible(box);
    return nullptr;
}

} // namespace

void installReceiveBoxAccessibility()
{
    installAccessibleFactory<boxFactory>();
}

} // namespace ondril
