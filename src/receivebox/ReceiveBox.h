#pragma once

#include "BoxCells.h"
#include "BoxText.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>

#include <limits>
#include <vector>

class QMenu;

namespace ondril {

// The receive box: a text box whose storage is the received bytes themselves,
// held once, and that lays out only the rows it paints. A CR LF shows as one
// line break, a lone LF as a line break, any other control byte (a lone CR
// among them) as a framed hex code; rows wrap anywhere at the box's edge. It
// scrolls by rows, and edits like any text box: what the operator types goes
// in as bytes too, so what is shown is exactly what Save writes.
class ReceiveBox : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit ReceiveBox(QWidget *parent = nullptr);
    ~ReceiveBox() override;

    // Received characters, one byte each (Latin-1), added at the end as they
    // are; the caret goes to the end and the box shows it. While lines stream
    // in, the box is painted at most ten times a second; the first line after
    // a pause is painted at once. False, with nothing changed, when there is
    // no memory for them.
    bool append(QStringView received);
    // Received characters put before everything the box holds (a run's
    // lines recovered after a crash); the caret goes to the end. The
    // operator's edits so far can no longer be undone: the text they
    // touched has moved.
    bool prepend(QStringView received);
    // Received bytes put at `at` (at most the end), as prepend puts them at 0:
    // a long recovery goes in a piece at a time.
    bool receiveAt(QByteArrayView received, qint64 at);
    // What the operator types, pastes or commits through an input method, in
    // place of the selection: a line break goes in as CR LF, a character
    // outside Latin-1 as "?".
    bool insertTyped(const QString &text);
    // Clears the box; not an edit of the operator's, so not undone.
    void clear();

    // The operator's edits (typing, a paste, a cut, a delete), undone and
    // done again; lines received since stay where they are. A run of typed
    // characters is one step.
    bool undo();
    bool redo();
    bool canUndo() const { return !m_undo.empty(); }
    bool canRedo() const { return !m_redo.empty(); }

    // Everything the box holds, exactly as Save writes it.
    QByteArrayView bytes() const { return m_text.bytes(); }
    bool isEmpty() const { return m_text.isEmpty(); }
    const BoxText &content() const { return m_text; }
    // Characters as held, one per byte.
    QString text(qint64 from = 0, qint64 to = -1) const;

    qint64 caretPosition() const { return m_caret; }
    qint64 anchorPosition() const { return m_anchor; }
    void setSelection(qint64 anchor, qint64 caret);
    // As it goes to the clipboard: a CR LF as a line break.
    QString selectedText() const { return textForClipboard(selectionStart(), selectionEnd()); }
    QString textForClipboard(qint64 from, qint64 to) const;
    void selectAll();
    void copy();
    void cut();
    void paste();
    QMenu *createContextMenu(QWidget *parent);

    // Geometry, in the coordinates of the viewport.
    QRect caretRect() const;
    QRect cellRect(qint64 pos) const;
    qint64 positionAt(const QPoint &point) const { return placeAt(point).pos; }
    // The character under `point`; -1 where there is none.
    qint64 characterAt(const QPoint &point) const;
    qint64 topRow() const { return m_top; }
    int visibleRows() const;
    void scrollToShow(qint64 from, qint64 to);

signals:
    void changed();
    // The box could not take more: no memory. Raised once, until text goes in
    // again or the box is cleared.
    void full();
    // No memory to do `what` ("copy the selection"); the box is as it was.
    void noMemoryFor(const QString &what);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void changeEvent(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;
    void timerEvent(QTimerEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;

private:
    // A caret position; at a wrap, whether it shows at the end of the upper row.
    struct Place {
        qint64 pos;
        bool atRowEnd;
    };
    enum class Move { NextChar, PreviousChar, NextWord, PreviousWord, StartOfRow, EndOfRow, Start, End };

    // Where a change comes from: only the operator's own are undone, and only
    // received ones are painted at a measured pace.
    enum class Origin { Received, Typed, Edit, History };
    bool insert(const QString &text, Origin origin);
    bool receive(QStringView received, qint64 at);
    bool edit(qint64 from, qint64 to, QByteArrayView with, Origin origin);
    bool refuse();
    bool copySelection();
    // The bytes from..to, kept within the box (to < 0: to the end).
    QByteArrayView bytesBetween(qint64 from, qint64 to) const;
    void offerSelection();
    void undoAction() { undo(); }
    void redoAction() { redo(); }

    // An edit as Undo sees it: at `at`, put back `put` in place of `take` bytes.
    struct Step {
        qint64 at = 0;
        QByteArray put;
        qint64 take = 0;
    };
    bool typingGoesOn(qint64 from, qint64 to, Origin origin) const;
    bool prepareStep(qint64 from, qint64 to, qint64 inserted, Origin origin, bool joins, Step *step);
    void commitStep(Step step, bool joins, Origin origin);
    bool travel(std::vector<Step> &from, std::vector<Step> &to);
    void forgetHistory();
    void moveCaret(Place to, bool select);
    Place moved(Move move, bool select) const;
    void moveByRows(qint64 rows, bool select);
    Place placeAt(const QPointF &point) const;
    Place placeInRow(const BoxText::Row &row, qreal x) const;
    bool handleKey(QKeyEvent *event);
    void dragTo(const QPointF &point);
    void selectWordAt(qint64 pos);
    qint64 selectionStart() const { return std::min(m_anchor, m_caret); }
    qint64 selectionEnd() const { return std::max(m_anchor, m_caret); }

    // Text keeps a margin from the box's edges, as in any text box; once
    // scrolled, the top row starts at the edge.
    static constexpr int margin = 4;
    int topMargin(qint64 top) const { return top == 0 ? margin : 0; }
    int topMargin() const { return topMargin(m_top); }
    void paintRow(QPainter &painter, const BoxText::Row &row, int y) const;
    int rowTop(qint64 number, qint64 top) const;
    qreal xOf(const BoxText::Row &row, qint64 pos) const;
    void layOut();
    void setTop(qint64 row);
    void ensureCaretVisible();
    // Brings the scroll bar and the picture up to date; the rows before
    // `changedFrom` only moved. A paced change waits for the end of the pacing
    // interval when one is running.
    static constexpr qint64 everything = -1;
    static constexpr qint64 nothing = std::numeric_limits<qint64>::max();
    void showChange(qint64 changedFrom = everything, bool paced = false);
    void flush();
    void restartBlink();
    QString removedText(qint64 from, qint64 to) const;
    void tellAssistiveTechnology(qint64 from, const QString &removed, QByteArrayView inserted);

    BoxText m_text;
    BoxCells m_cells;
    qint64 m_caret = 0;
    qint64 m_anchor = 0;
    bool m_atRowEnd = false;
    qreal m_preferredX = -1; // kept while the caret moves up and down
    qint64 m_top = 0;        // the row at the top of the box
    qint64 m_paintedTop = 0; // and where it was when last brought up to date
    qint64 m_changedFrom = nothing;
    std::vector<Step> m_undo;
    std::vector<Step> m_redo;
    bool m_typingRun = false; // the last edit was typing, and the caret has not moved since
    bool m_full = false;
    bool m_held = false; // a paced change waits to be painted
    bool m_syncing = false;
    bool m_caretShown = false;
    bool m_dragging = false;
    QPointF m_dragPoint;
    QBasicTimer m_pace;
    QBasicTimer m_blink;
    QBasicTimer m_autoScroll;
};

} // namespace ondril
