// The receive box as the operator uses it: keys, mouse, clipboard, context
// menu and input methods.
#include "ReceiveBox.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>

#include <cmath>
#include <functional>
#include <new>

namespace ondril {

namespace {

// Keys the box handles itself rather than leaving them to shortcuts.
struct KeyMove {
    QKeySequence::StandardKey key;
    int move; // a Move, or a number of rows when `rows`
    bool rows;
    bool select;
};

// Both of the usual keys redo: Ctrl+Shift+Z and Ctrl+Y.
bool isRedo(const QKeyEvent *key)
{
    const QKeyCombination pressed = key->keyCombination();
    return pressed == QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z)
        || pressed == QKeyCombination(Qt::ControlModifier, Qt::Key_Y);
}

// Text for the clipboard or X11's primary selection, made only when a
// program asks for it: selecting a whole long log copies nothing, and a copy
// holds its bytes once (a cut shares them with its Undo step).
class LazyText : public QMimeData {
public:
    explicit LazyText(std::function<QString()> make) : m_make(std::move(make)) {}
    QStringList formats() const override { return {QStringLiteral("text/plain")}; }
    bool hasFormat(const QString &mimeType) const override { return mimeType == QLatin1String("text/plain"); }

protected:
    QVariant retrieveData(const QString &mimeType, QMetaType) const override
    {
        if (mimeType != QLatin1String("text/plain"))
            return {};
        try {
            return m_make();
        } catch (const std::bad_alloc &) {
            return {}; // the asking program gets nothing; the box stays as it is
        }
    }

private:
    std::function<QString()> m_make;
};

// A CR LF as a line break, as text goes to the clipboard.
QString clipboardText(QByteArrayView bytes)
{
    QString text = QString::fromLatin1(bytes.data(), bytes.size());
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    return text;
}

// Text a key press types, as a text box takes it: not Ctrl with a letter,
// but AltGr (Ctrl+Alt) on the keyboards that need it.
bool typesText(const QKeyEvent *event)
{
    const QString text = event->text();
    if (text.isEmpty())
        return false;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    if (mods == Qt::ControlModifier || mods == (Qt::ShiftModifier | Qt::ControlModifier))
        return false;
    const QChar c = text.at(0);
    return c.isPrint() || c.category() == QChar::Other_Format || c.category() == QChar::Other_PrivateUse
        || (c.isHighSurrogate() && text.size() > 1);
}

} // namespace

bool ReceiveBox::event(QEvent *event)
{
    // Keys the box uses go to the box, not to a shortcut of the window.
    if (event->type() == QEvent::ShortcutOverride) {
        auto *key = static_cast<QKeyEvent *>(event);
        if (typesText(key) || key == QKeySequence::Copy || key == QKeySequence::Cut || key == QKeySequence::Paste
            || key == QKeySequence::Undo || key == QKeySequence::Redo || isRedo(key)
            || key == QKeySequence::SelectAll || key == QKeySequence::Delete || key->key() == Qt::Key_Backspace
            || key->key() == Qt::Key_Home || key->key() == Qt::Key_End || key->key() == Qt::Key_Left
            || key->key() == Qt::Key_Right || key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
            key->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void ReceiveBox::keyPressEvent(QKeyEvent *event)
{
    if (!handleKey(event))
        event->ignore(); // Escape and the like belong to the window
}

bool ReceiveBox::handleKey(QKeyEvent *event)
{
    static const KeyMove moves[] = {
        {QKeySequence::MoveToNextChar, int(Move::NextChar), false, false},
        {QKeySequence::SelectNextChar, int(Move::NextChar), false, true},
        {QKeySequence::MoveToPreviousChar, int(Move::PreviousChar), false, false},
        {QKeySequence::SelectPreviousChar, int(Move::PreviousChar), false, true},
        {QKeySequence::MoveToNextWord, int(Move::NextWord), false, false},
        {QKeySequence::SelectNextWord, int(Move::NextWord), false, true},
        {QKeySequence::MoveToPreviousWord, int(Move::PreviousWord), false, false},
        {QKeySequence::SelectPreviousWord, int(Move::PreviousWord), false, true},
        {QKeySequence::MoveToStartOfLine, int(Move::StartOfRow), false, false},
        {QKeySequence::SelectStartOfLine, int(Move::StartOfRow), false, true},
        {QKeySequence::MoveToEndOfLine, int(Move::EndOfRow), false, false},
        {QKeySequence::SelectEndOfLine, int(Move::EndOfRow), false, true},
        {QKeySequence::MoveToStartOfDocument, int(Move::Start), false, false},
        {QKeySequence::SelectStartOfDocument, int(Move::Start), false, true},
        {QKeySequence::MoveToEndOfDocument, int(Move::End), false, false},
        {QKeySequence::SelectEndOfDocument, int(Move::End), false, true},
        {QKeySequence::MoveToNextLine, 1, true, false},
        {QKeySequence::SelectNextLine, 1, true, true},
        {QKeySequence::MoveToPreviousLine, -1, true, false},
        {QKeySequence::SelectPreviousLine, -1, true, true},
        {QKeySequence::MoveToNextPage, 0, true, false},
        {QKeySequence::SelectNextPage, 0, true, true},
        {QKeySequence::MoveToPreviousPage, 0, true, false},
        {QKeySequence::SelectPreviousPage, 0, true, true},
    };
    for (const KeyMove &m : moves) {
        if (!event->matches(m.key))
            continue;
        if (!m.rows) {
            m_preferredX = -1;
            moveCaret(moved(Move(m.move), m.select), m.select);
        } else if (m.move != 0) {
            moveByRows(m.move, m.select);
        } else {
            const bool down = m.key == QKeySequence::MoveToNextPage || m.key == QKeySequence::SelectNextPage;
            const int page = visibleRows();
            setTop(m_top + (down ? page : -page));
            moveByRows(down ? page : -page, m.select);
        }
        return true;
    }
    if (event == QKeySequence::Undo)
        undo();
    else if (event == QKeySequence::Redo || isRedo(event))
        redo();
    else if (event == QKeySequence::SelectAll)
        selectAll();
    else if (event == QKeySequence::Copy)
        copy();
    else if (event == QKeySequence::Cut)
        cut();
    else if (event == QKeySequence::Paste)
        paste();
    else if (event == QKeySequence::Delete || event->key() == Qt::Key_Backspace) {
        const bool forward = event == QKeySequence::Delete;
        if (m_anchor != m_caret)
            edit(selectionStart(), selectionEnd(), {}, Origin::Edit);
        else if (forward)
            edit(m_caret, m_text.next(m_caret), {}, Origin::Edit);
        else
            edit(m_text.previous(m_caret), m_caret, {}, Origin::Edit);
    } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
        insert(QStringLiteral("\n"), Origin::Typed);
    else if (typesText(event))
        insert(event->text(), Origin::Typed);
    else
        return false;
    return true;
}

ReceiveBox::Place ReceiveBox::moved(Move move, bool select) const
{
    const BoxText &t = m_text;
    qint64 pos = m_caret;
    // An arrow without Shift first ends the selection at its side.
    const bool collapse = !select && m_anchor != m_caret;
    switch (move) {
    case Move::NextChar:
        return {collapse ? selectionEnd() : t.next(pos), false};
    case Move::PreviousChar:
        return {collapse ? selectionStart() : t.previous(pos), false};
    case Move::NextWord:
        return {t.nextWord(pos), false};
    case Move::PreviousWord:
        return {t.previousWord(pos), false};
    case Move::StartOfRow:
        return {t.rowOf(pos, m_atRowEnd).start, false};
    case Move::EndOfRow: {
        const BoxText::Row row = t.rowOf(pos, m_atRowEnd);
        return {row.end, row.end < t.lineEnd(row.line)};
    }
    case Move::Start:
        return {0, false};
    case Move::End:
        return {t.size(), false};
    }
    return {pos, false};
}

void ReceiveBox::moveByRows(qint64 rows, bool select)
{
    const BoxText::Row row = m_text.rowOf(m_caret, m_atRowEnd);
    if (m_preferredX < 0)
        m_preferredX = xOf(row, m_caret);
    const qreal keep = m_preferredX;
    const qint64 target = std::clamp<qint64>(row.number + rows, 0, m_text.rowCount() - 1);
    // Past the first or last row the caret goes to the start or the end.
    Place to = placeInRow(m_text.row(target), keep);
    if (row.number + rows < 0)
        to = {0, false};
    else if (row.number + rows >= m_text.rowCount())
        to = {m_text.size(), false};
    moveCaret(to, select);
    m_preferredX = keep;
}

ReceiveBox::Place ReceiveBox::placeInRow(const BoxText::Row &row, qreal x) const
{
    qreal at = margin;
    for (qint64 pos = row.start; pos < row.end; ++pos) {
        const qreal w = m_text.metrics().cell[m_text.at(pos)];
        if (x < at + w / 2)
            return {pos, false};
        at += w;
    }
    return {row.end, row.end < m_text.lineEnd(row.line)};
}

ReceiveBox::Place ReceiveBox::placeAt(const QPointF &point) const
{
    const qint64 number = m_top + qint64(std::floor((point.y() - topMargin()) / m_cells.rowHeight()));
    if (number < 0)
        return {0, false};
    if (number >= m_text.rowCount())
        return {m_text.size(), false};
    return placeInRow(m_text.row(number), point.x());
}

qint64 ReceiveBox::characterAt(const QPoint &point) const
{
    const qint64 number = m_top + qint64(std::floor(qreal(point.y() - topMargin()) / m_cells.rowHeight()));
    if (number < 0 || number >= m_text.rowCount() || point.y() < topMargin())
        return -1;
    const BoxText::Row row = m_text.row(number);
    qreal at = margin;
    for (qint64 pos = row.start; pos < row.end && point.x() >= at; ++pos) {
        at += m_text.metrics().cell[m_text.at(pos)];
        if (point.x() < at)
            return pos;
    }
    return -1;
}

void ReceiveBox::mousePressEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton) {
        m_preferredX = -1;
        moveCaret(placeAt(event->position()), event->modifiers() & Qt::ShiftModifier);
        m_dragging = true;
    } else if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        // X11's primary selection: pasted where the middle button is pressed.
        moveCaret(placeAt(event->position()), false);
        insertTyped(QGuiApplication::clipboard()->text(QClipboard::Selection));
    } else if (event->button() == Qt::RightButton && m_anchor == m_caret) {
        moveCaret(placeAt(event->position()), false);
    }
}

void ReceiveBox::mouseMoveEvent(QMouseEvent *event)
{
    if (!m_dragging || !(event->buttons() & Qt::LeftButton))
        return;
    m_dragPoint = event->position();
    const bool outside = m_dragPoint.y() < 0 || m_dragPoint.y() > viewport()->height();
    if (outside && !m_autoScroll.isActive())
        m_autoScroll.start(50, this); // keeps scrolling while the pointer stays out
    else if (!outside)
        m_autoScroll.stop();
    dragTo(m_dragPoint);
}

void ReceiveBox::dragTo(const QPointF &point)
{
    if (point.y() < 0)
        setTop(m_top - 1);
    else if (point.y() > viewport()->height())
        setTop(m_top + 1);
    moveCaret(placeAt(point), true);
}

void ReceiveBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton || !m_dragging)
        return;
    m_dragging = false;
    m_autoScroll.stop();
    offerSelection();
}

void ReceiveBox::offerSelection()
{
    QClipboard *clipboard = QGuiApplication::clipboard();
    if (m_anchor != m_caret && clipboard->supportsSelection())
        clipboard->setMimeData(new LazyText([box = QPointer<ReceiveBox>(this), from = selectionStart(),
                                             to = selectionEnd()] { return box ? box->textForClipboard(from, to) : QString(); }),
                               QClipboard::Selection);
}

void ReceiveBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    selectWordAt(placeAt(event->position()).pos);
    m_dragging = false;
    offerSelection();
}

void ReceiveBox::selectWordAt(qint64 pos)
{
    const auto [from, to] = m_text.wordAt(pos);
    setSelection(from, to);
}

void ReceiveBox::copy()
{
    copySelection();
}

QString ReceiveBox::textForClipboard(qint64 from, qint64 to) const
{
    return clipboardText(bytesBetween(from, to));
}

bool ReceiveBox::copySelection()
{
    if (m_anchor == m_caret)
        return false;
    QByteArray bytes;
    try {
        bytes = m_text.bytes(selectionStart(), selectionEnd()).toByteArray();
    } catch (const std::bad_alloc &) {
        emit noMemoryFor(tr("copy the selection"));
        return false;
    }
    QGuiApplication::clipboard()->setMimeData(new LazyText([bytes] { return clipboardText(bytes); }));
    return true;
}

void ReceiveBox::cut()
{
    // The cut bytes go to the clipboard from the Undo step that keeps them:
    // held once. What cannot be kept is not cut.
    if (m_anchor == m_caret || !edit(selectionStart(), selectionEnd(), {}, Origin::Edit))
        return;
    const QByteArray bytes = m_undo.back().put;
    QGuiApplication::clipboard()->setMimeData(new LazyText([bytes] { return clipboardText(bytes); }));
}

void ReceiveBox::paste()
{
    const QString pasted = QGuiApplication::clipboard()->text();
    if (!pasted.isEmpty())
        insertTyped(pasted);
}

QMenu *ReceiveBox::createContextMenu(QWidget *parent)
{
    auto *menu = new QMenu(parent);
    menu->setObjectName(QStringLiteral("receiveBoxMenu"));
    const auto add = [&](const QString &text, QKeySequence::StandardKey key, void (ReceiveBox::*slot)(), bool on) {
        QAction *a = menu->addAction(text + u'\t' + QKeySequence(key).toString(QKeySequence::NativeText));
        a->setEnabled(on);
        connect(a, &QAction::triggered, this, slot);
    };
    const bool selected = m_anchor != m_caret;
    add(tr("&Undo"), QKeySequence::Undo, &ReceiveBox::undoAction, canUndo());
    add(tr("&Redo"), QKeySequence::Redo, &ReceiveBox::redoAction, canRedo());
    menu->addSeparator();
    add(tr("Cu&t"), QKeySequence::Cut, &ReceiveBox::cut, selected);
    add(tr("&Copy"), QKeySequence::Copy, &ReceiveBox::copy, selected);
    add(tr("&Paste"), QKeySequence::Paste, &ReceiveBox::paste, !QGuiApplication::clipboard()->text().isEmpty());
    menu->addSeparator();
    add(tr("Select All"), QKeySequence::SelectAll, &ReceiveBox::selectAll, !isEmpty());
    return menu;
}

void ReceiveBox::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu *menu = createContextMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(event->globalPos()); // no event loop of its own: lines keep arriving
}

void ReceiveBox::inputMethodEvent(QInputMethodEvent *event)
{
    // What an input method commits goes in as typed; text still being composed
    // is not part of the box until then.
    if (!event->commitString().isEmpty())
        insertTyped(event->commitString());
    event->accept();
}

QVariant ReceiveBox::inputMethodQuery(Qt::InputMethodQuery query) const
{
    const qint64 line = m_text.lineOf(m_caret);
    const qint64 start = m_text.lineStart(line);
    // Input methods look at the text around the caret, not at a whole log.
    constexpr qint64 around = 512;
    const qint64 from = std::max(start, m_caret - around);
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return caretRect().translated(viewport()->pos());
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return int(m_caret - from);
    case Qt::ImAnchorPosition:
        return int(std::clamp(m_anchor, from, m_caret + around) - from);
    case Qt::ImSurroundingText:
        return text(from, std::min(m_text.lineEnd(line), m_caret + around));
    case Qt::ImCurrentSelection:
        return text(selectionStart(), std::min(selectionEnd(), selectionStart() + around));
    case Qt::ImHints:
        return int(inputMethodHints());
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

} // namespace ondril
