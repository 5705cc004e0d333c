#pragma once

#include "CommandSets.h"

#include <QList>
#include <QTimer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QPushButton;

namespace ondril {

class Dialogs;
class Form1;

// A window beside the main one that sends any command: typed as text with
// escapes or as hex, with a line end; from a command set named by its shape;
// or saved under a name by the operator (kept in Ondril.conf). Each can be
// repeated every so many ms by the cycle print's rules: the next send waits
// for the reply or its time-out, and a reply that does not come is missed.
class SendWindow : public QWidget {
    Q_OBJECT
public:
    SendWindow(Form1 *form, Dialogs *dialogs);

    // Shows the set of that name ("" for the saved commands).
    void chooseSet(const QString &name);
    // What the repeat counted since it started.
    qint64 repeatedSent() const { return m_sent; }
    qint64 repeatedReplies() const { return m_replies; }
    qint64 repeatedMissed() const { return m_missed; }

signals:
    // A command went out, to be counted under its name.
    void commandSent(const QString &name, bool asksWeight, qint64 steadyNs);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void build();
    void showSet();
    // Sends the command line; false when it did not go out.
    bool sendLine();
    bool send(const SendCommand &command);
    void take(const SendCommand &command); // into the command line
    SendCommand typed() const;
    void saveTyped();
    void keepSaved(const SendCommand &command);
    void savedChanged(); // stored, and shown once the event loop turns
    void renameSaved(qsizetype at);
    void loadSaved();
    void storeSaved();
    void toggleRepeat();
    void repeatTick();
    void replyCame(qint64 steadyNs);
    void showCounts();

    Form1 *m_form;
    Dialogs *m_dialogs;
    QComboBox *m_set = nullptr;
    QWidget *m_buttons = nullptr;
    QGridLayout *m_buttonGrid = nullptr;
    QLineEdit *m_line = nullptr;
    QCheckBox *m_hex = nullptr;
    QComboBox *m_end = nullptr;
    QLabel *m_sentHex = nullptr;
    QLineEdit *m_name = nullptr;
    QLineEdit *m_interval = nullptr;
    QPushButton *m_repeat = nullptr;
    QLabel *m_counts = nullptr;

    QList<SendCommand> m_saved;
    QString m_lastName; // of the command the line holds, when it came from a button
    QList<SendCommand> m_history; // what went out this run, in turn
    qsizetype m_historyAt = 0;

    QTimer m_repeatTimer;
    QTimer m_replyTimeout;
    SendCommand m_repeated;
    qint64 m_waitingSince = 0; // steady ns; 0 when no reply is awaited
    qint64 m_sent = 0, m_replies = 0, m_missed = 0;
};

} // namespace ondril
