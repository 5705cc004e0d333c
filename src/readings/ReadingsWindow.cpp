#include "ReadingsWindow.h"

#include "CsvExport.h"
#include "FigureTable.h"
#include "ReadingsCsv.h"
#include "TrendView.h"
#include "window/Dialogs.h"
#include "window/Form1.h"
#include "window/KeptChoices.h"
#include "window/SteadyClock.h"
#include "window/ToolWindow.h"

#include <QAccessible>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <cmath>

namespace ondril {

namespace {

QString ms(double value)
{
    return QString::number(value, 'f', value < 10 ? 2 : 1);
}

// One row of the link table.
QStringList linkRow(const LinkTally::PerCommand &c)
{
    const ReplyTimes &t = c.times;
    const QString none = QStringLiteral("-");
    return {c.name,
            QString::number(c.sent),
            QString::number(c.replies),
            QString::number(c.noReply),
            t.count() ? ms(t.percentileMs(0.5)) : none,
            t.count() ? ms(t.percentileMs(0.95)) : none,
            t.count() ? ms(t.worstMs()) : none};
}

// A number as an operator types it, with a decimal point or comma; 0 when none.
double typedNumber(const QLineEdit *edit)
{
    bool ok = false;
    const double v = QString(edit->text().trimmed()).replace(u',', u'.').toDouble(&ok);
    return ok && std::isfinite(v) ? v : 0;
}

} // namespace

ReadingsWindow::ReadingsWindow(Form1 *form, Dialogs *dialogs) : QWidget(nullptr, Qt::Window), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("ReadingsWindow"));
    setWindowTitle(QStringLiteral("Ondril: Readings"));
    makeToolWindow(this);
    // Queued: nothing of this runs inside the main window's handlers.
    connect(form, &Form1::commandWritten, this, [this](int command, qint64 at) { m_log.commandSent(command, at); },
            Qt::QueuedConnection);
    connect(
        form, &Form1::lineCompleted, this,
        [this](const QString &received, const QString &, qint64 discarded, qint64 at, qint64 firstByte) {
            const qint64 from = m_log.size();
            m_log.received(received.toLatin1(), at, QDateTime::currentMSecsSinceEpoch(), firstByte);
            m_log.discarded(discarded);
            if (m_log.size() > from)
                emit logged(from, m_log.size());
        },
        Qt::QueuedConnection);
}

// Made when first shown: a run that never opens the window spends nothing
// on it at start-up.
void ReadingsWindow::build()
{
    const auto table = [&](const char *name, const QString &title) {
        auto *figures = new FigureTable(this);
        figures->setObjectName(QLatin1String(name));
        figures->setAccessibleName(title);
        return figures;
    };
    m_link = table("link", QStringLiteral("Replies per command"));
    m_linkNotes = readOutLabel("linkNotes", this);
    m_stats = table("stats", QStringLiteral("Statistics per unit"));
    const auto field = [&](const char *name, const QString &tip) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        edit->setToolTip(tip);
        edit->setMaximumWidth(110);
        connect(edit, &QLineEdit::textChanged, this, &ReadingsWindow::checkRepeatability);
        return edit;
    };
    m_nominal = field("nominal", QStringLiteral("The nominal mass of the test weight, in the current unit"));
    m_interval = field("scaleInterval", QStringLiteral("The balance's scale interval d, in the current unit"));
    m_repeatability = readOutLabel("repeatability", this);
    auto *check = new QHBoxLayout;
    for (const auto &[caption, edit] : {std::pair{"Repeatability: &nominal", m_nominal}, {"scale &interval d", m_interval}}) {
        auto *label = new QLabel(QString::fromUtf8(caption), this);
        label->setBuddy(edit);
        edit->setAccessibleName(label->text().remove(u'&'));
        check->addWidget(label);
        check->addWidget(edit);
    }
    check->addWidget(m_repeatability, 1);
    m_trend = new TrendView(&m_log, this);
    auto *resetButton = new QPushButton(QStringLiteral("&Reset"), this);
    resetButton->setObjectName(QStringLiteral("reset"));
    auto *csvButton = new QPushButton(QStringLiteral("&Export CSV\u2026"), this);
    csvButton->setObjectName(QStringLiteral("exportCsv"));
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(resetButton);
    buttons->addWidget(csvButton);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->setSizeConstraint(QLayout::SetMinimumSize); // never so small that figures overlap
    layout->addWidget(m_link);
    layout->addWidget(m_linkNotes);
    layout->addWidget(m_stats);
    layout->addLayout(check);
    layout->addWidget(m_trend, 1);
    layout->addLayout(buttons);
    connect(resetButton, &QPushButton::clicked, this, &ReadingsWindow::reset);
    connect(csvButton, &QPushButton::clicked, this, &ReadingsWindow::exportCsv);
    resize(sizeHint().expandedTo(QSize(720, 640)));
}

void ReadingsWindow::countCommand(const QString &name, bool asksWeight, qint64 steadyNs)
{
    m_log.commandSent(name, asksWeight, steadyNs);
}

void ReadingsWindow::reset()
{
    endExport(); // it reads the log
    m_log.reset();
    refresh();
}

void ReadingsWindow::exportCsv()
{
    FileDialogRequest request;
    request.title = QStringLiteral("Export CSV: choose the file");
    request.filters = QStringList{QStringLiteral("CSV (*.csv)"), QStringLiteral("all (*)")};
    request.saving = true;
    request.suffix = QStringLiteral("csv");
    QString chosen = m_dialogs->openFile(this, request);
    if (chosen.isEmpty())
        return;
    if (QFileInfo(chosen).suffix().isEmpty()) // Qt's dialog adds it; a platform's may not
        chosen += QStringLiteral(".csv");
    const QString path = QFileInfo(chosen).absoluteFilePath();
    endExport(); // one export at a time: a new one replaces one still running
    m_export = new CsvExport(&m_log, path, this);
    auto *progress = new QProgressDialog(QStringLiteral("Exporting %1 rows to %2").arg(m_export->rows()).arg(path),
                                         QStringLiteral("Cancel"), 0, 1000, this);
    m_exportProgress = progress;
    progress->setObjectName(QStringLiteral("exportProgress"));
    if (auto *bar = progress->findChild<QProgressBar *>())
        bar->setAccessibleName(QStringLiteral("Rows exported"));
    progress->setWindowTitle(QStringLiteral("Export CSV"));
    progress->setMinimumDuration(500); // a short export shows none
    progress->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_export, &CsvExport::progress, progress, [progress](qint64 done, qint64 rows) {
        progress->setValue(rows > 0 ? int(done * 999 / rows) : 999);
    });
    connect(progress, &QProgressDialog::canceled, m_export, &CsvExport::cancel);
    connect(m_export, &CsvExport::finished, this, [this, path](bool, const QString &why) {
        endExport();
        if (!why.isEmpty())
            m_dialogs->message(this, QStringLiteral("ERROR: The readings could not be exported.\n%1\n%2").arg(path, why));
    });
}

void ReadingsWindow::endExport()
{
    if (m_exportProgress) {
        m_exportProgress->disconnect(); // closing it says "canceled"
        m_exportProgress->close();
    }
    if (m_export) {
        m_export->cancel(); // no slice of it reads the log any more
        m_export->disconnect(this);
        m_export->deleteLater();
        m_export = nullptr;
    }
}

struct ReadingsWindow::Earlier {
    QFile csv;
    EarlierLines lines;
    Earlier(const QString &path, qint64 firstLine, qint64 rowsFromLine, const QDateTime &started)
        : csv(path), lines(csv.open(QIODevice::ReadOnly) ? &csv : nullptr, firstLine, rowsFromLine, started)
    {
    }
};

ReadingsWindow::~ReadingsWindow() = default;

void ReadingsWindow::beginEarlier(const QString &csvPath, qint64 firstLine, qint64 rowsFromLine,
                                  const QDateTime &started)
{
    m_earlier = std::make_unique<Earlier>(csvPath, firstLine, rowsFromLine, started);
    m_log.beginEarlier();
}

void ReadingsWindow::addEarlier(QByteArrayView text)
{
    if (m_earlier)
        m_log.addEarlier(m_earlier->lines.take(text));
}

void ReadingsWindow::endEarlier()
{
    if (!m_earlier)
        return;
    m_earlier.reset();
    m_log.endEarlier();
    refresh();
}

void ReadingsWindow::refresh()
{
    if (!m_link)
        return; // not shown yet
    m_log.expire(steadyNow());
    const LinkTally &tally = m_log.tally();
    QList<QStringList> rows{{QStringLiteral("command"), QStringLiteral("sent"), QStringLiteral("replies"),
                             QStringLiteral("no reply"), QStringLiteral("median ms"), QStringLiteral("95th ms"),
                             QStringLiteral("worst ms")}};
    for (int i = 0; i < tally.commandCount(); ++i)
        rows << linkRow(tally.command(i));
    rows << linkRow(tally.total());
    m_link->setRows(rows);
    QString notes = QStringLiteral("lines nobody asked for: %1   not a reading: %2   bytes discarded: %3")
                        .arg(tally.unasked())
                        .arg(tally.notAReading())
                        .arg(tally.discardedBytes());
    // Only a port that does not say when bytes come leaves a reply waiting past its time.
    if (tally.late() > 0)
        notes += QStringLiteral("\nlate replies (waiting since before the next command, counted as no reply): %1")
                     .arg(tally.late());
    if (notes != m_linkNotes->text())
        m_linkNotes->setText(notes);

    QList<QStringList> statRows{{QStringLiteral("unit"), QStringLiteral("count"), QStringLiteral("mean"),
                                 QStringLiteral("std dev"), QStringLiteral("min"), QStringLiteral("max"),
                                 QStringLiteral("range"), QStringLiteral("stable")}};
    for (const ReadingsLog::UnitStats &u : m_log.statsByUnit()) {
        const ReadingStats &s = u.stats;
        statRows << QStringList{QString::fromLatin1(u.unit),
                                QString::number(s.count()),
                                QString::number(s.mean(), 'f', 5),
                                QString::number(s.standardDeviation(), 'f', 5),
                                QString::fromLatin1(sentText(*s.minimum())),
                                QString::fromLatin1(sentText(*s.maximum())),
                                QString::number(s.range(), 'f', std::max(s.minimum()->decimals, s.maximum()->decimals)),
                                QStringLiteral("%1 %").arg(100 * s.stableShare(), 0, 'f', 0)};
    }
    m_stats->setRows(statRows);
    checkRepeatability();
    m_trend->refresh();
}

// 2·s against the nominal mass, for the readings of the current unit.
void ReadingsWindow::checkRepeatability()
{
    const double nominal = typedNumber(m_nominal);
    const ReadingsLog::UnitStats *unit = m_log.statsOf(m_log.currentUnit());
    if (nominal <= 0 || !unit || unit->stats.count() < 2) {
        setVerdict(nominal <= 0 ? QStringLiteral("enter the nominal mass and d")
                                   : QStringLiteral("needs two readings or more"));
        return;
    }
    const Repeatability r = repeatability(unit->stats.standardDeviation(), nominal, typedNumber(m_interval));
    setVerdict(QStringLiteral("2\u00b7s/nominal = %1 % in %2: %3 (limit 0.10 %)")
                   .arg(r.percent, 0, 'f', 4)
                   .arg(QString::fromLatin1(unit->unit), r.passes ? QStringLiteral("pass") : QStringLiteral("fail")));
}

// The verdict changes while the operator types elsewhere: a screen reader is told.
void ReadingsWindow::setVerdict(const QString &text)
{
    if (text == m_repeatability->text())
        return;
    m_repeatability->setText(text);
    QAccessibleEvent changed(m_repeatability, QAccessible::NameChanged);
    QAccessible::updateAccessibility(&changed);
}

void ReadingsWindow::showEvent(QShowEvent *event)
{
    if (!m_link)
        build();
    m_link->setFocus(); // where the keys start: the figures
    QWidget::showEvent(event);
    refresh();
    m_refresh.start(1000, this);
}

void ReadingsWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    m_refresh.stop(); // closed, it costs nothing but the log's own keeping
}

void ReadingsWindow::timerEvent(QTimerEvent *event)
{
    if (event->timerId() == m_refresh.timerId())
        refresh();
    else
        QWidget::timerEvent(event);
}

void addReadingsMenu(QMenu *menu, Form1 *form, ReadingsWindow *window)
{
    QAction *open = menu->addAction(QStringLiteral("&Readings window\u2026"));
    open->setObjectName(QStringLiteral("openReadings"));
    QObject::connect(open, &QAction::triggered, window, [form, window] { showBeside(form, window); });
}

} // namespace ondril
