#pragma once

#include "ReadingStats.h"
#include "TrendIndex.h"

#include <QImage>
#include <QWidget>

#include <vector>

namespace ondril {

class ReadingsLog;

struct TrendShown {
    std::vector<TrendColumn> columns;
    ReadingStats stats; // of the readings shown
};

// The readings of `unit` that came from `fromMs` to `toMs`, in `width`
// columns, and their statistics unless `withStats` is false; overloads and
// underloads are marked whatever their unit. With an index caught up with
// the log, whole blocks of lines within one column are taken from their
// summaries.
TrendShown trendColumns(const ReadingsLog &log, quint8 unit, qint64 fromMs, qint64 toMs, int width,
                        const TrendIndex *index = nullptr, bool withStats = true);

// The trend of the current unit over time. It follows the run until the
// operator zooms (the wheel, + and -) or pans (a drag, the arrow keys); a
// double-click or Home follows again. Its accessible description says in
// words what it shows.
// Each paint draws one column per pixel, so a long run draws as fast as a
// short one.
class TrendView : public QWidget {
    Q_OBJECT
public:
    explicit TrendView(const ReadingsLog *log, QWidget *parent = nullptr);

    bool following() const { return m_follow; }
    qint64 fromMs() const { return m_from; }
    qint64 toMs() const { return m_to; }
    void showSpan(qint64 fromMs, qint64 toMs);
    void followRun();
    // New readings came, or the log was reset.
    void refresh();

    QSize sizeHint() const override { return {640, 240}; }
    QSize minimumSizeHint() const override { return {240, 120}; }

protected:
    void paintEvent(QPaintEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    QRect plotArea() const;
    // `steps` of the wheel (out when negative) about `at`, 0 to 1 across the plot.
    void zoom(double steps, double at);
    void describe(const QString &text);

    const ReadingsLog *m_log;
    TrendIndex m_index;
    QImage m_bars; // the plot's bars, drawn anew each paint
    bool m_follow = true;
    qint64 m_from = 0;
    qint64 m_to = 0;
    qint64 m_seen = -1; // the log's size when last drawn
    int m_dragX = -1;
    qint64 m_dragFrom = 0;
};

} // namespace ondril
