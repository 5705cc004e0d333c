#include "TrendView.h"

#include "ReadingsCsv.h"
#include "ReadingsLog.h"

#include <QDateTime>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace ondril {

namespace {

const QColor stableColor(0x1f, 0x5f, 0xbf);
const QColor movingColor(0xe0, 0x80, 0x10);
const QColor overColor(0xd0, 0x20, 0x20);
constexpr qint64 shortestSpanMs = 100;
constexpr qint64 longestSpanMs = qint64(10) * 366 * 24 * 3600 * 1000;

// Qt's vectorised painting can leave the upper halves of the AVX registers
// in use, and then every scalar floating-point step after it waits on them:
// sorting a million readings into columns took 19 ms within a paint instead
// of 11. Clearing them first costs nothing.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx"))) void clearUpperHalves()
{
    _mm256_zeroupper();
}
void settleVectorState()
{
    if (__builtin_cpu_supports("avx"))
        clearUpperHalves();
}
#else
void settleVectorState() {}
#endif

QString timeText(qint64 ms, qint64 spanMs)
{
    const char *format = spanMs < 60'000           ? "HH:mm:ss.zzz"
                         : spanMs < 24 * 3'600'000 ? "HH:mm:ss"
                                                   : "yyyy-MM-dd HH:mm";
    return QDateTime::fromMSecsSinceEpoch(ms).toString(QLatin1String(format));
}

// The plot area with one bar per column, stable over moving, on `base`, in
// `image`. A
// fill per column costs a span per pixel row, and writing down a column
// misses the cache at each row; instead one row of pixels is kept, changed
// only where a bar starts or ends, and copied into each row of the image.
template <typename ToY>
void drawBars(QImage &image, const std::vector<TrendColumn> &columns, const QRect &area, const QColor &base, const ToY &y)
{
    struct Bar {
        int top = 1, bottom = 0; // rows; none when top > bottom
        bool holds(int row) const { return row >= top && row <= bottom; }
    };
    const int width = area.width(), height = area.height();
    std::vector<std::pair<Bar, Bar>> bars(static_cast<size_t>(width)); // stable, moving
    // Where a column's pixel may change: each bar's first row and the row after its last.
    std::vector<std::pair<int, int>> changes; // row, column
    const auto rows = [&](quint32 count, double low, double high) {
        return count == 0 ? Bar{} : Bar{y(high) - area.top(), y(low) - area.top()};
    };
    for (int c = 0; c < width; ++c) {
        const TrendColumn &col = columns[size_t(c)];
        auto &[stable, moving] = bars[size_t(c)];
        stable = rows(col.stable, col.stableLow, col.stableHigh);
        moving = rows(col.moving, col.movingLow, col.movingHigh);
        for (const Bar &b : {stable, moving})
            if (b.top <= b.bottom)
                for (const int row : {std::max(0, b.top), b.bottom + 1})
                    if (row < height)
                        changes.emplace_back(row, c);
    }
    std::sort(changes.begin(), changes.end());
    const QRgb background = base.rgb(), stableRgb = stableColor.rgb(), movingRgb = movingColor.rgb();
    std::vector<QRgb> line(size_t(width), background);
    if (image.size() != area.size()) // kept from one paint to the next: a new one faults its pages in each time
        image = QImage(area.size(), QImage::Format_RGB32);
    auto next = changes.cbegin();
    for (int row = 0; row < height; ++row) {
        for (; next != changes.cend() && next->first == row; ++next) {
            const auto &[stable, moving] = bars[size_t(next->second)];
            line[size_t(next->second)] = stable.holds(row) ? stableRgb : moving.holds(row) ? movingRgb : background;
        }
        std::copy(line.cbegin(), line.cend(), reinterpret_cast<QRgb *>(image.scanLine(row)));
    }
}

} // namespace

TrendShown trendColumns(const ReadingsLog &log, quint8 unit, qint64 fromMs, qint64 toMs, int width,
                        const TrendIndex *index, bool withStats)
{
    settleVectorState();
    TrendShown shown;
    if (width <= 0 || toMs < fromMs)
        return shown;
    shown.columns.resize(size_t(width));
    // The log keeps its lines in time order: find the first in the span.
    qint64 first = 0;
    for (qint64 last = log.size(); first < last;) {
        const qint64 mid = first + (last - first) / 2;
        if (log.record(mid).wallMs < fromMs)
            first = mid + 1;
        else
            last = mid;
    }
    // Column c holds the times from fromMs + c·span/width on; the log is in
    // time order, so the column only ever moves right.
    const qint64 span = toMs - fromMs + 1;
    int column = -1;
    qint64 nextColumnMs = fromMs;
    // A whole block of lines that ends within the column: its summary.
    const auto takeBlock = [&](qint64 i, size_t level) {
        const TrendIndex::Summary *b = index ? index->block(level, i) : nullptr;
        if (!b || b->lastMs >= nextColumnMs || b->lastMs > toMs || b->unit == TrendIndex::Summary::mixedUnits)
            return false;
        TrendColumn &c = shown.columns[size_t(column)];
        if (b->unit == unit) {
            c.merge(b->column);
            if (withStats)
                shown.stats.merge(index->statsOf(level, i));
        } else { // another unit's, or none: only its overloads and underloads
            c.overload = c.overload || b->column.overload;
            c.underload = c.underload || b->column.underload;
        }
        return true;
    };
    for (qint64 i = first; i < log.size();) {
        // Where a block starts (only where its size divides the line's
        // number), the line's time is the largest block's own: the line
        // itself, thousands of lines past the last one read, is not in the
        // cache, and fetching it cost most of a redraw.
        size_t level = index && i % TrendIndex::blockSizes[0] == 0 ? TrendIndex::blockSizes.size() : 0;
        const TrendIndex::Summary *largest = nullptr;
        while (level > 0 && !(largest = index->block(level - 1, i)))
            --level;
        const qint64 wallMs = largest ? largest->firstMs : log.record(i).wallMs;
        if (wallMs > toMs)
            break;
        if (wallMs >= nextColumnMs) {
            column = int((wallMs - fromMs) * width / span);
            nextColumnMs = fromMs + ((column + 1) * span + width - 1) / width;
        }
        while (level > 0 && !takeBlock(i, level - 1))
            --level;
        if (level > 0) {
            i += TrendIndex::blockSizes[level - 1];
        } else {
            shown.columns[size_t(column)].add(log.record(i), unit, withStats ? &shown.stats : nullptr);
            ++i;
        }
    }
    return shown;
}

TrendView::TrendView(const ReadingsLog *log, QWidget *parent) : QWidget(parent), m_log(log)
{
    setObjectName(QStringLiteral("trend"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setToolTip(QStringLiteral("Wheel: zoom. Drag: pan. Double-click: the whole run."));
    setAccessibleName(QStringLiteral("Trend"));
    setFocusPolicy(Qt::StrongFocus);
    refresh();
}

void TrendView::showSpan(qint64 fromMs, qint64 toMs)
{
    const qint64 span = std::clamp(toMs - fromMs, shortestSpanMs, longestSpanMs);
    m_follow = false;
    m_from = fromMs;
    m_to = fromMs + span;
    update();
}

void TrendView::followRun()
{
    m_follow = true;
    refresh();
}

void TrendView::refresh()
{
    qint64 from = m_from;
    qint64 to = m_to;
    if (m_follow) {
        const ReadingsLog::UnitStats *unit = m_log->statsOf(m_log->currentUnit());
        from = unit ? unit->firstMs : 0;
        to = unit ? unit->lastMs : 0;
        // Room at the ends for the first and last dot; a lone reading sits
        // in the middle of a second.
        const qint64 pad = to - from < shortestSpanMs ? 500 : (to - from) / 50;
        from -= pad;
        to += pad;
    }
    if (from == m_from && to == m_to && m_log->size() == m_seen)
        return; // nothing new to draw
    m_from = from;
    m_to = to;
    m_seen = m_log->size();
    update();
}

QRect TrendView::plotArea() const
{
    const QFontMetrics fm = fontMetrics();
    const int line = fm.height() + 4;
    const int left = fm.horizontalAdvance(QStringLiteral("-00000.0000 kg")) + 8;
    return QRect(left, line, std::max(1, width() - left - 8), std::max(1, height() - 2 * line));
}

void TrendView::paintEvent(QPaintEvent *)
{
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const QRect area = plotArea();
    const QColor ink = palette().text().color();
    const quint8 unit = m_log->currentUnit();
    const QString unitName = QString::fromLatin1(m_log->unitName(unit));
    const QColor frame = hasFocus() ? palette().highlight().color() : palette().mid().color(); // where the keys go
    p.setPen(frame);
    p.drawRect(area.adjusted(0, 0, -1, -1));
    p.setPen(ink);
    if (unit == 255) {
        p.drawText(area, Qt::AlignCenter, QStringLiteral("No readings yet"));
        describe(QStringLiteral("No readings yet"));
        return;
    }
    const QFontMetrics fm = fontMetrics();
    const int below = area.bottom() + fm.ascent() + 3;
    p.drawText(area.left(), below, timeText(m_from, m_to - m_from));
    const QString end = timeText(m_to, m_to - m_from);
    p.drawText(area.right() - fm.horizontalAdvance(end), below, end);

    m_index.catchUp(*m_log);
    // Following the run, what is shown is every reading of the unit, whose
    // statistics the log keeps already.
    const ReadingsLog::UnitStats *all = m_follow ? m_log->statsOf(unit) : nullptr;
    TrendShown shown = trendColumns(*m_log, unit, m_from, m_to, area.width(), &m_index, !all);
    if (all)
        shown.stats = all->stats;
    const ReadingStats &s = shown.stats;
    if (s.count() == 0) {
        p.drawText(area, Qt::AlignCenter, QStringLiteral("No readings in %1 here").arg(unitName));
    } else {
        const SentValue lowest = *s.minimum();
        const SentValue highest = *s.maximum();
        const double step = SentValue{1, std::max(lowest.decimals, highest.decimals)}.toDouble();
        const double pad = std::max((highest.toDouble() - lowest.toDouble()) * 0.08, step);
        const double low = lowest.toDouble() - pad;
        const double high = highest.toDouble() + pad;
        const auto y = [&](double v) { return area.bottom() - int(std::lround((v - low) / (high - low) * (area.height() - 1))); };
        // Few readings are drawn as dots; many as one bar per column.
        const bool dots = s.count() <= area.width() / 4;
        if (!dots) {
            drawBars(m_bars, shown.columns, area, palette().base().color(), y);
            p.drawImage(area.topLeft(), m_bars);
            p.save();
            p.setPen(frame);
            p.drawRect(area.adjusted(0, 0, -1, -1));
            p.restore();
        }
        // The extremes of what is shown, exactly as sent.
        p.setPen(QPen(palette().mid().color(), 1, Qt::DotLine));
        for (const SentValue v : {lowest, highest}) {
            const int at = y(v.toDouble());
            p.drawLine(area.left(), at, area.right(), at);
            p.save();
            p.setPen(ink);
            p.drawText(QRect(0, at - fm.height() / 2, area.left() - 4, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                       QString::fromLatin1(sentText(v)) + u' ' + unitName);
            p.restore();
        }
        const auto dot = [&](int x, quint32 count, double lowValue, double highValue, const QColor &color) {
            if (count == 0)
                return;
            const int top = y(highValue);
            p.fillRect(x, top, 1, y(lowValue) - top + 1, color);
            for (const double v : {lowValue, highValue})
                p.fillRect(x - 1, y(v) - 1, 3, 3, color);
        };
        for (int c = 0; dots && c < area.width(); ++c) {
            const TrendColumn &col = shown.columns[size_t(c)];
            dot(area.left() + c, col.moving, col.movingLow, col.movingHigh, movingColor);
            dot(area.left() + c, col.stable, col.stableLow, col.stableHigh, stableColor);
        }
    }
    for (int c = 0; c < area.width(); ++c) {
        const TrendColumn &col = shown.columns[size_t(c)];
        if (col.overload)
            p.fillRect(area.left() + c - 1, area.top() + 1, 3, 6, overColor);
        if (col.underload)
            p.fillRect(area.left() + c - 1, area.bottom() - 6, 3, 6, overColor);
    }

    p.setPen(ink);
    const QString summary =
        s.count() == 0 ? unitName
                       : QStringLiteral("%1: %2 readings shown   mean %3   s %4   range %5   %6 % stable")
                             .arg(unitName)
                             .arg(s.count())
                             .arg(s.mean(), 0, 'f', 5)
                             .arg(s.standardDeviation(), 0, 'f', 5)
                             .arg(s.range(), 0, 'f', 5)
                             .arg(100 * s.stableShare(), 0, 'f', 0);
    p.drawText(area.left(), fm.ascent() + 1, summary);
    describe((s.count() == 0 ? QStringLiteral("No readings in %1").arg(unitName) : summary.simplified()) +
             QStringLiteral(", from %1 to %2%3. Keys: arrows pan, + and - zoom, Home follows the run.")
                 .arg(timeText(m_from, m_to - m_from), timeText(m_to, m_to - m_from),
                      m_follow ? QStringLiteral(", following the run") : QString()));
    // The legend, under the middle of the plot.
    int x = area.center().x() - fm.horizontalAdvance(QStringLiteral("  stable    moving    over/under  ")) / 2;
    for (const auto &[color, text] : {std::pair{stableColor, "stable"}, {movingColor, "moving"}, {overColor, "over/under"}}) {
        p.fillRect(x, below - fm.ascent() / 2 - 3, 6, 6, color);
        p.drawText(x + 9, below, QLatin1String(text));
        x += 9 + fm.horizontalAdvance(QLatin1String(text)) + 14;
    }
}

void TrendView::describe(const QString &text)
{
    if (accessibleDescription() != text)
        setAccessibleDescription(text);
}

void TrendView::zoom(double steps, double at)
{
    const double span = double(m_to - m_from);
    const double anchor = double(m_from) + at * span;
    const double wanted = std::clamp(span * std::pow(0.8, steps), double(shortestSpanMs), double(longestSpanMs));
    const auto from = qint64(std::llround(anchor - at * wanted));
    showSpan(from, from + std::llround(wanted));
}

void TrendView::wheelEvent(QWheelEvent *event)
{
    const double steps = event->angleDelta().y() / 120.0;
    if (steps == 0)
        return;
    const QRect area = plotArea();
    zoom(steps, std::clamp((event->position().x() - area.left()) / area.width(), 0.0, 1.0));
    event->accept();
}

void TrendView::keyPressEvent(QKeyEvent *event)
{
    const qint64 tenth = (m_to - m_from) / 10;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Right: {
        const qint64 by = event->key() == Qt::Key_Left ? -tenth : tenth;
        showSpan(m_from + by, m_to + by);
        break;
    }
    case Qt::Key_Plus:
    case Qt::Key_Equal: // + without Shift
        zoom(1, 0.5);
        break;
    case Qt::Key_Minus:
        zoom(-1, 0.5);
        break;
    case Qt::Key_Home:
        followRun();
        break;
    default:
        return QWidget::keyPressEvent(event);
    }
    event->accept();
}

void TrendView::mousePressEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return QWidget::mousePressEvent(event);
    m_dragX = qRound(event->position().x());
    m_dragFrom = m_from;
}

void TrendView::mouseMoveEvent(QMouseEvent *event)
{
    if (!(event->buttons() & Qt::LeftButton) || m_dragX < 0)
        return QWidget::mouseMoveEvent(event);
    const qint64 span = m_to - m_from;
    const qint64 moved = qint64(qRound(event->position().x()) - m_dragX) * span / plotArea().width();
    showSpan(m_dragFrom - moved, m_dragFrom - moved + span);
}

void TrendView::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton)
        followRun();
}

} // namespace ondril
