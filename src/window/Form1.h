#pragma once

#include "PathLabel.h"
#include "reception/ReplyWait.h"

#include <QMainWindow>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace ondril {

class DeviceWatch;
class Dialogs;
class MSComm;
class ReceiveBox;
struct BalanceCommand;

// The one window. Its controls and three integers hold all of the program's
// state; the controls keep their classic names so that each handler reads
// like the behaviour it implements.
class Form1 : public QMainWindow {
    Q_OBJECT
public:
    Form1(MSComm *comm, Dialogs *dialogs, QWidget *parent = nullptr);
    ~Form1() override;

    // Start-up: log path, timer, port settings, then the first COM port that opens.
    // False when none opened; the operator has been told and the window must not show.
    bool Form_Load();
    void EXIT_Click();

    // Shows the window in the middle of its screen.
    void showCentred();
    // A failure the operator must know about, with what it took to find its
    // cause when there is more to say; the program goes on.
    void reportError(const QString &text, const QString &details = QString());
    void setComboPortText(int port);

    // Balance commands (commands/): the five buttons and the cycle-print tick.
    void sendCommand(const BalanceCommand &command);

    // Reception (reception/). The line collector waits, letting other handlers
    // run, until a CR LF arrives (true, the text is shown) or `stop` is 1, the
    // device is lost or, given one, the reply time-out has passed (false).
    bool collectLine(const StopFlag &stop, int replyTimeoutMs = 0);
    // `lines` (each ended by CR LF) with the checked stamps before each one.
    QString stamped(const QString &lines) const;
    void MSComm1_OnComm();
    void Command1_Click();
    void Timer1_Timer();
    // The caption of Command1 is the cycle-print state.
    bool isCycleRunning() const;
    static constexpr const char *cyclePrintCaption = "Cycle Print";
    static constexpr const char *stopCaption = "Stop";

    // Port and speed (serial/). Both picks stop everything, change their one
    // setting and open the port again; a port that fails falls back to PortNo.
    void Combo1_Click(int index);
    void Combo2_Click(int index);

    // The receive box found no memory for more text, or for an edit.
    void Text2_Full();
    void Text2_NoMemoryFor(const QString &what);

    // Data log (datalog/): Save, Clear, Save as.
    void Command7_Click();
    void Command8_Click();
    void Command9_Click();

    // Controls, in tab order.
    QPushButton *Command1, *Command2, *Command3, *Command4, *Command5, *Command6;
    QPushButton *Command8, *Command7, *Command9;
    QComboBox *Combo1, *Combo2;
    QLineEdit *Text1;
    QLabel *Label2, *Label3, *Label4, *Label5, *Label6, *Label7;
    QCheckBox *Check1;
    ReceiveBox *Text2;
    QLineEdit *Text3, *Text4;
    QCheckBox *Check2;
    PathLabel *Label1; // its text is the log file's path
    QCheckBox *Check3;
    QTimer *Timer1;
    MSComm *MSComm1;
    QAction *EXIT;

private:
    ReplyWaits m_waits; // what the flags below wake
public:
    qint16 PortNo = 0;
    StopFlag CommLoopStop{m_waits};
    StopFlag TimerLoopStop{m_waits};

    bool isUnloaded() const { return m_unloaded; }

    // For the windows beside this one. Bytes of a command typed elsewhere go
    // out as a button's do, leaving the HEX boxes as they are; false when
    // they did not (the operator has been told why).
    bool sendBytes(const QByteArray &bytes);
    // A balance that streams: what waits after a line is kept for the next
    // one rather than discarded, so that every line reaches the box.
    void setKeepEveryLine(bool keep);
    bool keepsEveryLine() const { return m_keepEveryLine; }

signals:
    // For what watches the link beside the window, connected queued so that
    // nothing of it runs inside the handlers (but the journal's write, so that
    // a line is in its file before anything else runs): a command went out; a line was
    // completed (as received, before any stamp) and `discarded` bytes that
    // waited after it were thrown away. Times in ns on the steady clock.
    void commandWritten(int command, qint64 steadyNs);
    // `received` as it came; `added` as the box took it, with any stamps;
    // completed at its CR LF, its first byte there since `firstByteNs`.
    void lineCompleted(const QString &received, const QString &added, qint64 discarded, qint64 steadyNs,
                       qint64 firstByteNs);
    // The receive box was cleared; it was saved whole to `path`.
    void cleared();
    void saved(const QString &path);
    void keepEveryLineChanged(bool keep);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void connectHandlers();
    void MSComm1_Lost(const QString &reason);
    // The device of a port lost earlier is there again.
    void MSComm1_Back();
    // Opens the port of CommPort. Its entry in the port box tells why when it
    // does not open, and so does `trouble`.
    bool openPort(QString *trouble);
    void setPortToolTip(int port, const QString &trouble);
    // Both stop flags raised, a cycle print stopped, the port closed.
    void stopEverything();
    void endCycle();
    void reopenPort();
    void finishPortChange();
    // Tells the operator when it is not.
    bool checkPortOpen();
    bool writeCommand(const QByteArray &bytes);
    void unload();

    Dialogs *m_dialogs;
    DeviceWatch *m_watch; // for the device of a lost port
    bool m_unloaded = false;
    bool m_tickWaiting = false;
    // What the last line's end discarded ended within a line: the next
    // collector drops the rest of it, unless a command went out since.
    bool m_midLine = false;
    qint64 m_lineStarted = 0;   // when the last line completed had its first byte (steady ns)
    bool m_keepEveryLine = false;
    QString m_carried;          // kept after the last line: the start of the next
    bool m_lossShown = false;  // the message of a device loss is up
    quint64 m_losses = 0;      // device losses so far
    QString m_reopenTrouble;   // why the returning device last would not open
};

} // namespace ondril
