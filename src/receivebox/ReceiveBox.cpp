#include "ReceiveBox.h"

#include "ReceiveBoxAccessible.h"

#include <QAccessible>
#include <QApplication>
#include <QPainter>
#include <QPaintEvent>
#include <QScrollBar>
#include <QStyleOptionSlider>

#include <tuple>

#include <climits>
#include <cmath>

namespace ondril {

namespace {

constexpr int paintPacingMs = 100;

// A scroll bar that repaints only when what it shows changes. A streaming box
// moves its range with every line while the slider moves a pixel only every
// few hundred lines, and drawing the bar would cost more than the line.
class QuietScrollBar : public QScrollBar {
public:
    using QScrollBar::QScrollBar;

    // All at once, so that no state along the way asks for a paint.
    void setRows(qint64 top, qint64 page, qint64 value)
    {
        const auto clamp = [](qint64 n) { return int(std::min<qint64>(n, INT_MAX)); };
        m_settling = true;
        setRange(0, clamp(top));
        setPageStep(clamp(page));
        setSingleStep(1);
        setValue(clamp(value));
        m_settling = false;
        if (looks() != m_painted)
            update();
    }

protected:
    void sliderChange(SliderChange change) override
    {
        if (!m_settling && looks() != m_painted)
            QScrollBar::sliderChange(change);
    }
    void paintEvent(QPaintEvent *event) override
    {
        m_painted = looks();
        QScrollBar::paintEvent(event);
    }

private:
    using Looks = std::tuple<QRect, bool, bool, bool>;
    Looks looks() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        const QRect slider = style()->subControlRect(QStyle::CC_ScrollBar, &option, QStyle::SC_ScrollBarSlider, this);
        return {slider, minimum() < maximum(), value() == minimum(), value() == maximum()};
    }
    Looks m_painted;
    bool m_settling = false;
};

} // namespace

ReceiveBox::ReceiveBox(QWidget *parent) : QAbstractScrollArea(parent)
{
    installReceiveBoxAccessibility();
    setVerticalScrollBar(new QuietScrollBar(Qt::Vertical, this));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setInputMethodHints(Qt::ImhMultiLine);
    viewport()->setCursor(Qt::IBeamCursor);
    // The cells are made for the font the box is shown with, at its first
    // layout: the window gives it its own font right after this.
}

ReceiveBox::~ReceiveBox() = default;

bool ReceiveBox::append(QStringView received)
{
    return receive(received, m_text.size());
}

bool ReceiveBox::prepend(QStringView received)
{
    if (!receive(received, 0))
        return false;
    forgetHistory();
    setSelection(m_text.size(), m_text.size());
    return true;
}

bool ReceiveBox::receiveAt(QByteArrayView received, qint64 at)
{
    if (!edit(std::min(at, m_text.size()), std::min(at, m_text.size()), received, Origin::Received))
        return false;
    forgetHistory();
    return true;
}

bool ReceiveBox::receive(QStringView received, qint64 at)
{
    QByteArray bytes;
    try {
        bytes = received.toLatin1();
    } catch (const std::bad_alloc &) {
        return refuse();
    }
    return edit(at, at, bytes, Origin::Received);
}

bool ReceiveBox::insertTyped(const QString &text)
{
    return insert(text, Origin::Edit);
}

bool ReceiveBox::insert(const QString &text, Origin origin)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == u'\n' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator) {
            bytes.append("\r\n", 2);
        } else if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            bytes.append("\r\n", 2);
            ++i;
        } else if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            bytes.append('?'); // one character, even if it takes two code units
            ++i;
        } else {
            bytes.append(c <= 0xFF ? char(c) : '?');
        }
    }
    return edit(selectionStart(), selectionEnd(), bytes, origin);
}

void ReceiveBox::clear()
{
    const QString removed = removedText(0, m_text.size());
    forgetHistory(); // what was cleared is not the operator's edit
    m_text.clear();
    m_caret = m_anchor = m_top = 0;
    m_atRowEnd = false;
    m_full = false;
    showChange();
    emit changed();
    tellAssistiveTechnology(0, removed, {});
}

// What assistive technology is told was removed: no more than a screen reader
// would read out, so that clearing a long box costs no copy of it.
QString ReceiveBox::removedText(qint64 from, qint64 to) const
{
    return QAccessible::isActive() ? text(from, std::min(to, from + 65536)) : QString();
}

bool ReceiveBox::edit(qint64 from, qint64 to, QByteArrayView with, Origin origin)
{
    // The operator's edits are kept for Undo, with the bytes they remove:
    // copied first, so that no memory for them leaves the box as it is.
    Step step;
    const bool joins = typingGoesOn(from, to, origin);
    if (!prepareStep(from, to, with.size(), origin, joins, &step))
        return false;
    const QString removed = removedText(from, to);
    // The rows before the one the change starts in stay as they are, but for
    // the row just above a change at the start of a wrapped row: the cell
    // that did not fit there may now, or the one now there may not. A caret or
    // a selection drawn in them would not stay either.
    const BoxText::Row row = m_text.rowOf(from);
    const bool atWrap = from == row.start && from > m_text.lineStart(row.line);
    const qint64 changedFrom = m_caretShown || m_anchor != m_caret ? everything : row.number - (atWrap ? 1 : 0);
    if (!m_text.replace(from, to, with))
        return refuse();
    commitStep(std::move(step), joins, origin);
    m_full = false;
    m_caret = m_anchor = m_text.snap(from + with.size());
    m_atRowEnd = false;
    m_preferredX = -1;
    ensureCaretVisible();
    showChange(changedFrom, origin == Origin::Received);
    restartBlink();
    emit changed();
    tellAssistiveTechnology(from, removed, with);
    return true;
}

bool ReceiveBox::refuse()
{
    if (!m_full) {
        m_full = true;
        emit full();
    }
    return false;
}

QByteArrayView ReceiveBox::bytesBetween(qint64 from, qint64 to) const
{
    if (to < 0 || to > m_text.size())
        to = m_text.size();
    from = std::clamp<qint64>(from, 0, to);
    return m_text.bytes(from, to);
}

QString ReceiveBox::text(qint64 from, qint64 to) const
{
    const QByteArrayView part = bytesBetween(from, to);
    return QString::fromLatin1(part.data(), part.size());
}

void ReceiveBox::setSelection(qint64 anchor, qint64 caret)
{
    m_anchor = m_text.snap(anchor);
    moveCaret({caret, false}, true);
}

void ReceiveBox::selectAll()
{
    setSelection(0, m_text.size());
}

void ReceiveBox::moveCaret(Place to, bool select)
{
    m_caret = m_text.snap(to.pos);
    m_atRowEnd = to.atRowEnd && m_caret == to.pos;
    m_typingRun = false;
    if (!select)
        m_anchor = m_caret;
    ensureCaretVisible();
    showChange();
    restartBlink();
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent moved(this, int(std::min<qint64>(m_caret, INT_MAX)));
        QAccessible::updateAccessibility(&moved);
    }
}

// Layout and scrolling.

int ReceiveBox::visibleRows() const
{
    return std::max(1, (viewport()->height() - margin) / m_cells.rowHeight());
}

int ReceiveBox::rowTop(qint64 number, qint64 top) const
{
    return topMargin(top) + int(number - top) * m_cells.rowHeight();
}

qreal ReceiveBox::xOf(const BoxText::Row &row, qint64 pos) const
{
    return margin + m_text.width(row.start, pos);
}

QRect ReceiveBox::cellRect(qint64 pos) const
{
    const BoxText::Row row = m_text.rowOf(pos, pos == m_caret && m_atRowEnd);
    const qreal x = xOf(row, pos);
    const qreal w = pos < row.end ? m_text.metrics().cell[m_text.at(pos)] : 1;
    return QRect(int(x), rowTop(row.number, m_top), std::max(1, int(std::ceil(w))), m_cells.rowHeight());
}

QRect ReceiveBox::caretRect() const
{
    const QRect cell = cellRect(m_caret);
    return QRect(cell.topLeft(), QSize(1, cell.height()));
}

void ReceiveBox::layOut()
{
    if (!m_cells.isReady())
        m_cells.setFont(font());
    BoxText::Metrics metrics;
    metrics.cell = m_cells.widths();
    metrics.rowWidth = float(std::max(0, viewport()->width() - 2 * margin));
    if (metrics.rowWidth == m_text.metrics().rowWidth && metrics.cell == m_text.metrics().cell)
        return;
    const qint64 topLine = m_text.row(m_top).line;
    m_text.setMetrics(metrics);
    setTop(m_text.firstRow(topLine));
    showChange();
}

void ReceiveBox::setTop(qint64 row)
{
    m_top = std::clamp<qint64>(row, 0, std::max<qint64>(0, m_text.rowCount() - visibleRows()));
}

void ReceiveBox::ensureCaretVisible()
{
    const qint64 row = m_text.rowOf(m_caret, m_atRowEnd).number;
    if (row < m_top)
        setTop(row);
    else if (row >= m_top + visibleRows())
        setTop(row - visibleRows() + 1);
    else
        setTop(m_top); // the box may have shrunk below it
}

void ReceiveBox::scrollToShow(qint64 from, qint64 to)
{
    const qint64 first = m_text.rowOf(from).number;
    const qint64 last = m_text.rowOf(to, true).number;
    if (first < m_top || last >= m_top + visibleRows())
        setTop(last - first < visibleRows() ? last - visibleRows() + 1 : first);
    showChange();
}

void ReceiveBox::scrollContentsBy(int, int)
{
    if (m_syncing)
        return;
    m_top = verticalScrollBar()->value();
    showChange();
}

void ReceiveBox::showChange(qint64 changedFrom, bool paced)
{
    m_changedFrom = std::min(m_changedFrom, changedFrom);
    if (paced) {
        if (m_pace.isActive()) {
            m_held = true;
            return;
        }
        m_pace.start(paintPacingMs, this);
    }
    flush();
}

void ReceiveBox::flush()
{
    m_held = false;
    m_syncing = true;
    static_cast<QuietScrollBar *>(verticalScrollBar())
        ->setRows(std::max<qint64>(0, m_text.rowCount() - visibleRows()), visibleRows(), m_top);
    m_syncing = false;
    // Rows that only moved are moved on screen rather than drawn again: a
    // streaming box then paints just the rows that came in.
    const qint64 shift = m_top - m_paintedTop;
    QWidget *view = viewport();
    if (m_changedFrom > std::max(m_top, m_paintedTop) && std::abs(shift) <= visibleRows()
        && (m_top == 0) == (m_paintedTop == 0)) {
        if (shift != 0)
            view->scroll(0, int(-shift) * m_cells.rowHeight());
        const int y = std::max(0, rowTop(std::min(m_changedFrom, m_top + visibleRows() + 1), m_top));
        if (y < view->height())
            view->update(0, y, view->width(), view->height() - y);
    } else {
        view->update();
    }
    m_paintedTop = m_top;
    m_changedFrom = nothing;
}

void ReceiveBox::restartBlink()
{
    if (!hasFocus())
        return;
    m_caretShown = true;
    const int flash = QApplication::cursorFlashTime();
    if (flash >= 2)
        m_blink.start(flash / 2, this);
}

void ReceiveBox::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_pace.timerId()) {
        // Lines that came within the interval share one paint; after an
        // interval without any, the next is painted at once again.
        if (m_held)
            flush();
        else
            m_pace.stop();
    } else if (event->timerId() == m_blink.timerId()) {
        m_caretShown = !m_caretShown;
        if (!m_held) // a held change is painted whole, not piecemeal
            viewport()->update(caretRect());
    } else if (event->timerId() == m_autoScroll.timerId()) {
        dragTo(m_dragPoint);
    } else {
        QAbstractScrollArea::timerEvent(event);
    }
}

void ReceiveBox::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    layOut();
    setTop(m_top); // as many rows fit as before only if the height stayed
    showChange();
}

void ReceiveBox::changeEvent(QEvent *event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_cells.setFont(font());
        layOut();
    }
}

void ReceiveBox::focusInEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusInEvent(event);
    restartBlink();
    viewport()->update();
}

void ReceiveBox::focusOutEvent(QFocusEvent *event)
{
    QAbstractScrollArea::focusOutEvent(event);
    m_blink.stop();
    m_caretShown = false;
    viewport()->update();
}

// Painting: only the rows in the damaged area, each laid out as it is drawn.

void ReceiveBox::paintEvent(QPaintEvent *event)
{
    // The picture shows the rows from where they were at the last flush: a
    // paint between a paced change and its flush (focus moving, a window
    // uncovering the box) draws them there too, so that the flush moves
    // pixels that are where it expects them.
    const qint64 top = m_paintedTop;
    QPainter painter(viewport());
    const int h = m_cells.rowHeight();
    // After a scroll only a strip or two need paint; their bounding rect may be all of it.
    for (const QRect &area : event->region()) {
        const qint64 first = top + std::max(0, (area.top() - topMargin(top)) / h);
        const qint64 last = std::min(m_text.rowCount() - 1, top + std::max(0, (area.bottom() - topMargin(top)) / h));
        if (first > last || area.bottom() < topMargin(top))
            continue;
        BoxText::Row row = m_text.row(first);
        for (;;) {
            paintRow(painter, row, rowTop(row.number, top));
            if (row.number >= last)
                break;
            row = m_text.following(row);
        }
    }
    if (m_caretShown && hasFocus() && !m_held) // a held caret is drawn at the flush
        painter.fillRect(caretRect(), palette().color(QPalette::Text));
}

void ReceiveBox::paintRow(QPainter &painter, const BoxText::Row &row, int y) const
{
    const QPalette &colours = palette();
    const qint64 selFrom = std::clamp(selectionStart(), row.start, row.end);
    const qint64 selTo = std::clamp(selectionEnd(), row.start, row.end);
    qreal x = margin;
    x = m_cells.draw(painter, x, y, m_text.bytes(row.start, selFrom), colours.color(QPalette::Text));
    if (selFrom < selTo) {
        const qreal w = m_text.width(selFrom, selTo);
        painter.fillRect(QRectF(x, y, w, m_cells.rowHeight()), colours.brush(QPalette::Highlight));
        x = m_cells.draw(painter, x, y, m_text.bytes(selFrom, selTo), colours.color(QPalette::HighlightedText));
    }
    m_cells.draw(painter, x, y, m_text.bytes(selTo, row.end), colours.color(QPalette::Text));
    // A selected line break shows as a selected blank after the row.
    const qint64 lineEnd = m_text.lineEnd(row.line);
    if (row.end == lineEnd && row.line + 1 < m_text.lineCount() && selectionStart() <= lineEnd
        && selectionEnd() > lineEnd)
        painter.fillRect(QRectF(xOf(row, lineEnd), y, m_text.metrics().cell[' '], m_cells.rowHeight()),
                         colours.brush(QPalette::Highlight));
}

void ReceiveBox::tellAssistiveTechnology(qint64 from, const QString &removed, QByteArrayView inserted)
{
    if (!QAccessible::isActive())
        return;
    QAccessibleTextUpdateEvent update(this, int(std::min<qint64>(from, INT_MAX)), removed,
                                      QString::fromLatin1(inserted.data(), inserted.size()));
    QAccessible::updateAccessibility(&update);
    QAccessibleTextCursorEvent moved(this, int(std::min<qint64>(m_caret, INT_MAX)));
    QAccessible::updateAccessibility(&moved);
}

} // namespace ondril
