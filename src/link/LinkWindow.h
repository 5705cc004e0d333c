#pragma once

#include "LoopbackVerdict.h"
#include "serial/MSComm.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QProgressDialog;
class QPushButton;
class QTableWidget;

namespace ondril {

class Form1;
class LoopbackTest;

// What the port sees of the link, beside the main window: the lines from the
// far end, live, with every change logged to the millisecond; DTR and RTS at
// hand; a break to send; the driver's error counts; and a loopback self-test.
// It follows the port the main window holds, through losses and reopens.
class LinkWindow : public QWidget {
    Q_OBJECT
public:
    // `busy` says why the self-test may not run now (a cycle print, a scan),
    // empty when it may.
    LinkWindow(Form1 *form, std::function<QString()> busy);
    ~LinkWindow() override;

    QString changeLog() const;
    bool runSelfTest();
    bool isSelfTestRunning() const;

signals:
    void selfTestStarted();
    void selfTestFinished(const QString &verdict);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void buildControls();
    void showPort();
    void showPortLine();
    void showLines(const std::optional<ControlLines> &lines);
    void linesChanged(const ControlLines &lines, qint64 steadyNs);
    void setOwnLine(bool dtr, bool on);
    void sendBreak();
    void refresh();
    void showCounts();
    void showBusy();
    void log(const QString &what, qint64 steadyNs);
    void selfTestDone(const LoopbackResult &result);
    void selfTestEnded();
    QString portName() const;

    Form1 *m_form;
    MSComm *m_comm;
    std::function<QString()> m_busy;
    QLabel *m_port;
    QLabel *m_lineState[4]; // CTS, DSR, DCD, RI
    QCheckBox *m_dtr, *m_rts;
    QLabel *m_ownNote;
    QPushButton *m_break;
    QLabel *m_breaks;
    QLabel *m_counts[4]; // framing, parity, overrun, buffer overrun
    QLabel *m_countWords;
    QPlainTextEdit *m_log;
    QPushButton *m_selfTestButton;
    QTableWidget *m_table;
    QLabel *m_verdict;
    QTimer m_tick; // the counts, as often as the eye can follow
    std::optional<ControlLines> m_lines;
    QList<qint64> m_framingSeen; // the framing count at the last ticks
    int m_breaksSent = 0;
    LoopbackTest *m_selfTest = nullptr;
    QPointer<QProgressDialog> m_progress;
};

} // namespace ondril
