#pragma once

#include "ReadingsLog.h"

#include <memory>

#include <QBasicTimer>
#include <QPointer>
#include <QProgressDialog>
#include <QWidget>

class QLabel;
class QLineEdit;
class QMenu;

namespace ondril {

class CsvExport;
class Dialogs;
class FigureTable;
class Form1;
class TrendView;

// The Readings window: what the balance said and how the link behaved, fed
// by the main window's seam (a command was written, a line was completed).
// It keeps the run's log from the start, open or not, and shows it while
// open: the replies counted and timed per command, and the statistics of
// each unit, a repeatability check and the trend of the current unit. Reset starts the tally again; Export CSV… writes every line.
class ReadingsWindow : public QWidget {
    Q_OBJECT
public:
    ReadingsWindow(Form1 *form, Dialogs *dialogs);
    ~ReadingsWindow() override;

    const ReadingsLog &log() const { return m_log; }
    void reset();
    // A command sent from elsewhere (the Send window), counted under its name.
    void countCommand(const QString &name, bool asksWeight, qint64 steadyNs);
    void exportCsv();
    // Brings the figures up to date now (the window does so every second).
    void refresh();
    // An earlier run's lines put before this run's, from its journal's text
    // a piece at a time: `firstLine` is the line of the text the first piece
    // starts, `rowsFromLine` the line the CSV at `csvPath` starts at.
    void beginEarlier(const QString &csvPath, qint64 firstLine, qint64 rowsFromLine, const QDateTime &started);
    void addEarlier(QByteArrayView text);
    void endEarlier();

signals:
    // Lines `from` to `to` - 1 of the log are new.
    void logged(qint64 from, qint64 to);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void timerEvent(QTimerEvent *event) override;

private:
    struct Earlier;
    void build();
    void checkRepeatability();
    void setVerdict(const QString &text);
    // Cancels the export running, if any, and closes its progress.
    void endExport();

    ReadingsLog m_log;
    Dialogs *m_dialogs;
    FigureTable *m_link = nullptr;
    QLabel *m_linkNotes = nullptr; // what the link table's rows do not count
    FigureTable *m_stats = nullptr;
    QLineEdit *m_nominal = nullptr;
    QLineEdit *m_interval = nullptr;
    QLabel *m_repeatability = nullptr;
    TrendView *m_trend = nullptr;
    CsvExport *m_export = nullptr; // the one running
    QPointer<QProgressDialog> m_exportProgress;
    QBasicTimer m_refresh;
    std::unique_ptr<Earlier> m_earlier; // a recovery under way
};

// "Readings window…" in the Tools menu.
void addReadingsMenu(QMenu *menu, Form1 *form, ReadingsWindow *window);

} // namespace ondril
