// Faults an operator meets in a long session, each with the outcome Ondril
// promises: vanished and returning devices, ports held by others, floods,
// hostile bytes and paths, broken saves, long click runs and ending at any
// moment.
#include "Application.h"
#include "datalog/LogFile.h"
#include "Files.h"
#include "FormRig.h"
#include "PtyRig.h"
#include "Traces.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTextDocument>

#include <atomic>
#include <functional>
#include <sys/stat.h>
#include <condition_variable>
#include <csignal>
#include <fcntl.h>
#include <mutex>
#include <sys/ioctl.h>
#include <thread>

using namespace ondril;

namespace {

const QByteArray reply("     +  152.37 g\r\n");

QByteArray inBox(const Form1 &form)
{
    return form.Text2->bytes().toByteArray();
}

// A lock file as a serial program writes it: pid, program name, host.
void writeLock(const QString &path, qint64 pid, const QString &program)
{
    put(path, QStringLiteral("%1\n%2\n%3\n").arg(pid).arg(program, QSysInfo::machineHostName()).toUtf8());
}

// Counts every event the application handles: a closed device that still
// woke the event loop would show up as thousands.
class EventCounter : public QObject {
public:
    EventCounter() { qApp->installEventFilter(this); }
    ~EventCounter() override { qApp->removeEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *) override
    {
        ++count;
        return false;
    }
};

// Clicks a check box every 20 ms from the event loop. The thread playing the
// balance can wait until the window has handled a click, which it only can
// while its event loop keeps running.
class ClickProbe : public QObject {
public:
    explicit ClickProbe(QCheckBox *target, const ReceiveBox *box)
    {
        connect(&m_timer, &QTimer::timeout, target, &QCheckBox::click);
        connect(target, &QCheckBox::toggled, this, [this, box] {
            const std::lock_guard<std::mutex> lock(m_mutex);
            ++m_handled;
            if (box->isEmpty())
                ++m_whileBoxEmpty;
            m_clicked.notify_all();
        });
        m_timer.start(20);
    }
    // From the other thread: false when no click was handled within 20 s.
    bool awaitClick()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const int seen = m_handled;
        return m_clicked.wait_for(lock, std::chrono::seconds(20), [&] { return m_handled > seen; });
    }
    int whileBoxEmpty()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_whileBoxEmpty;
    }

private:
    QTimer m_timer;
    std::mutex m_mutex;
    std::condition_variable m_clicked;
    int m_handled = 0;
    int m_whileBoxEmpty = 0;
};

// A message box nobody answers: it stays up, running its own event loop,
// until the program ends.
struct UnansweredDialogs : ScriptedDialogs {
    using ScriptedDialogs::message;
    void message(QWidget *parent, const QString &text, const QString &detail) override
    {
        ScriptedDialogs::message(parent, text, detail);
        QEventLoop loop;
        loop.exec();
    }
};

// Runs `whileShown` inside the first message, as the operator would leave
// it up; messages that come meanwhile are recorded and return at once.
struct HeldDialogs : ScriptedDialogs {
    using ScriptedDialogs::message;
    void message(QWidget *parent, const QString &text, const QString &detail) override
    {
        ScriptedDialogs::message(parent, text, detail);
        if (auto shown = std::exchange(whileShown, {}))
            shown();
    }
    std::function<void()> whileShown;
};

// A window whose COM 1 is a link to a pseudo-terminal, as a by-id link to an
// adapter is; `relink` points it elsewhere, as the adapter plugged in again.
template <class D = ScriptedDialogs>
struct LinkRig {
    QTemporaryDir dir;
    QString link = dir.filePath(QStringLiteral("ttyBalance"));
    std::unique_ptr<Pty> pty = std::make_unique<Pty>();
    bool linked = QFile::link(pty->path(), link);
    SerialComm comm{PortMap::fromList(link)};
    D dialogs;
    Form1 form{&comm, &dialogs};
    bool loaded = linked && form.Form_Load();
    bool relink(const QString &to) { return QFile::remove(link) && QFile::link(to, link); }
};

Form1 *theForm()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (auto *form = qobject_cast<Form1 *>(w))
            return form;
    return nullptr;
}

} // namespace

class TestFaults : public QObject {
    Q_OBJECT
private slots:
    void shouldEndWaitsAndTellOnceWhenTheDeviceVanishes_data()
    {
        QTest::addColumn<bool>("duringCycle");
        QTest::newRow("line wait with half a line pending") << false;
        QTest::newRow("cycle print") << true;
    }
    void shouldEndWaitsAndTellOnceWhenTheDeviceVanishes()
    {
        QFETCH(bool, duringCycle);
        QTemporaryDir dir;
        PtyRig rig;
        QVERIFY(rig.loaded);
        const QString log = dir.filePath(QStringLiteral("log.txt"));
        rig.form.Label1->setText(log);
        QVERIFY(rig.pty.send(reply));
        QTRY_COMPARE(inBox(rig.form), reply);

        if (duringCycle) {
            rig.form.Text1->setText(QStringLiteral("100"));
            rig.form.Command1->click(); // every tick waits: the balance does not answer
            after(350, [&] { rig.pty.closeMaster(); });
        } else {
            QVERIFY(rig.pty.send("     +  15"));
            after(150, [&] { rig.pty.closeMaster(); });
        }
        QTRY_VERIFY(!rig.comm.portOpen());
        QTest::qWait(300); // a second message or a late tick would come now

        QCOMPARE(rig.dialogs.messages.size(), 1);
        QVERIFY(rig.dialogs.messages[0].startsWith(QLatin1String("ERROR: COM 1 stopped working")));
        QCOMPARE(rig.form.CommLoopStop, qint16(1));
        QCOMPARE(rig.form.Command1->text(), QStringLiteral("Cycle Print"));
        QVERIFY(rig.form.Command2->isEnabled());
        QVERIFY(!rig.form.Timer1->isActive());
        QCOMPARE(inBox(rig.form), reply);
        QVERIFY(!lockedByUs(rig.pty.path()));

        EventCounter events;
        QTest::qWait(500);
        QVERIFY2(events.count < 50, qPrintable(QStringLiteral("%1 events while idle").arg(events.count)));

        rig.form.Command7->click();
        QCOMPARE(contents(log), reply + "\r\n");
        QCOMPARE(rig.dialogs.messages.size(), 1);
    }

    void shouldReopenADeviceThatComesBackOnTheSamePath_data()
    {
        QTest::addColumn<bool>("staleLock");
        QTest::newRow("plugged in again") << false;
        QTest::newRow("beside a lock file of a program that died") << true;
    }
    void shouldReopenADeviceThatComesBackOnTheSamePath()
    {
        QFETCH(bool, staleLock);
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyBalance"));
        auto first = std::make_unique<Pty>();
        QVERIFY(QFile::link(first->path(), link));
        SerialComm comm(PortMap::fromList(link));
        ScriptedDialogs dialogs;
        Form1 form(&comm, &dialogs);
        QVERIFY(form.Form_Load());
        QVERIFY(lockedByUs(link));

        first->closeMaster(); // unplugged
        QTRY_COMPARE(dialogs.messages.size(), 1);
        QVERIFY(!comm.portOpen());
        QVERIFY(!lockedByUs(link));
        first.reset();
        if (staleLock) {
            QProcess gone;
            gone.start(QStringLiteral("sleep"), {QStringLiteral("0.1")});
            QVERIFY(gone.waitForStarted());
            const qint64 pid = gone.processId();
            QVERIFY(gone.waitForFinished());
            writeLock(lockFileOf(link), pid, QStringLiteral("ondril"));
        }

        Pty second;
        QVERIFY(QFile::remove(link) && QFile::link(second.path(), link));
        emit form.Combo1->activated(0);
        QVERIFY2(comm.portOpen(), qPrintable(dialogs.messages.join(u'|')));
        QCOMPARE(dialogs.messages.size(), 1);
        form.Command2->click();
        QCOMPARE(second.receive(2), QByteArray("\x1bp"));
        QVERIFY(second.send(reply));
        QTRY_COMPARE(inBox(form), reply);
        comm.setPortOpen(false);
        QVERIFY(!lockedByUs(link));
    }

    void shouldSkipAPortHeldByAnotherProgram_data()
    {
        QTest::addColumn<bool>("byLockFile");
        QTest::newRow("opened for exclusive use") << false;
        QTest::newRow("lock file of a running program") << true;
    }
    void shouldSkipAPortHeldByAnotherProgram()
    {
        QFETCH(bool, byLockFile);
        Pty held, free;
        QProcess holder;
        int exclusive = -1;
        const QString lock = lockFileOf(held.path());
        const auto release = qScopeGuard([&] {
            if (exclusive >= 0)
                ::close(exclusive);
            if (byLockFile)
                QFile::remove(lock);
            holder.kill();
            holder.waitForFinished();
        });
        if (byLockFile) {
            holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
            QVERIFY(holder.waitForStarted());
            writeLock(lock, holder.processId(), QStringLiteral("sleep"));
        } else {
            exclusive = ::open(QFile::encodeName(held.path()).constData(), O_RDWR | O_NOCTTY);
            QVERIFY(exclusive >= 0 && ::ioctl(exclusive, TIOCEXCL) == 0);
            const int probe = ::open(QFile::encodeName(held.path()).constData(), O_RDWR | O_NOCTTY);
            if (probe >= 0) {
                ::close(probe);
                QSKIP("exclusive use does not bind this user (root); the unprivileged run covers it");
            }
        }
        SerialComm comm(PortMap::fromList(held.path() + u':' + free.path()));
        ScriptedDialogs dialogs;
        Form1 form(&comm, &dialogs);

        CapturedStderr atStart;
        QVERIFY(form.Form_Load());
        const QString skipped = atStart.text();
        QVERIFY2(skipped.contains(QStringLiteral("ondril: COM 1 skipped: %1: ").arg(held.path())), qPrintable(skipped));
        QCOMPARE(form.PortNo, qint16(2));
        QCOMPARE(form.Combo1->currentText(), QStringLiteral("COM 2"));
        QVERIFY(dialogs.messages.isEmpty());

        CapturedStderr atPick;
        emit form.Combo1->activated(0);
        const QString refused = atPick.text();
        QVERIFY2(refused.contains(QStringLiteral("ondril: COM 1 not opened: %1: ").arg(held.path())), qPrintable(refused));
        QCOMPARE(dialogs.messages, QStringList{QStringLiteral("ERROR: The selected Comm port does not exist!")});
        // The message's details and the port's entry say why.
        const QString why = byLockFile ? QStringLiteral("Another program holds it: process %1 (sleep), by its lock file %2.")
                                             .arg(holder.processId())
                                             .arg(lock)
                                       : QStringLiteral("Another program has it open for its own use.");
        QVERIFY2(dialogs.details[0].startsWith(QStringLiteral("COM 1: %1: ").arg(held.path())), qPrintable(dialogs.details[0]));
        QVERIFY2(dialogs.details[0].endsWith(why), qPrintable(dialogs.details[0]));
        QVERIFY(asShown(form.Combo1->itemData(0, Qt::ToolTipRole).toString()).contains(why));
        QCOMPARE(form.Combo1->currentText(), QStringLiteral("COM 2"));
        QVERIFY(comm.portOpen());
        QCOMPARE(comm.commPort(), qint16(2));
        if (byLockFile) // the other program keeps its lock
            QVERIFY(contents(lock).startsWith(QByteArray::number(holder.processId()) + '\n'));
    }

    void shouldSayWhyNoPortOpened_data()
    {
        QTest::addColumn<bool>("forbidden"); // else held through a lock file
        QTest::newRow("not the user's to open") << true;
        QTest::newRow("held by another program") << false;
    }
    void shouldSayWhyNoPortOpened()
    {
        QFETCH(bool, forbidden);
        Pty pty;
        QProcess holder;
        const QString lock = lockFileOf(pty.path());
        const auto release = qScopeGuard([&] {
            QFile::remove(lock);
            holder.kill();
            holder.waitForFinished();
        });
        if (forbidden) {
            QVERIFY(QFile::setPermissions(pty.path(), {}));
            if (::access(QFile::encodeName(pty.path()).constData(), R_OK | W_OK) == 0)
                QSKIP("permissions do not bind this user (root); the unprivileged run covers it");
        } else {
            holder.start(QStringLiteral("sleep"), {QStringLiteral("60")});
            QVERIFY(holder.waitForStarted());
            writeLock(lock, holder.processId(), QStringLiteral("sleep"));
        }
        ScriptedDialogs dialogs;
        QCOMPARE(runOndril(dialogs, PortMap::fromList(pty.path())), 1);
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.messages[0].startsWith(QLatin1String("ERROR: could not found Comm port!")));
        const QStringList lines = dialogs.details[0].split(u'\n');
        QVERIFY2(lines[0].startsWith(QStringLiteral("COM 1: %1: ").arg(pty.path())), qPrintable(lines[0]));
        if (forbidden) {
            QVERIFY2(lines[0].endsWith(QLatin1String("Permission denied.")), qPrintable(lines[0]));
            const QString group = QFileInfo(pty.path()).group(); // the group that may open it
            QCOMPARE(lines[2].trimmed(), QStringLiteral("sudo adduser $USER ") + (group == "root" ? "dialout" : group));
        } else {
            QCOMPARE(lines[1], QStringLiteral("Another program holds it: process %1 (sleep), by its lock file %2.")
                                   .arg(holder.processId())
                                   .arg(lock));
        }
        for (int n = 2; n <= 12; ++n) // every COM number tried
            QVERIFY(lines.contains(QStringLiteral("COM %1: no device").arg(n)));

        // The same advice where the system speaks German.
        const QString reason = forbidden ? QStringLiteral("Keine Berechtigung")
                                         : QStringLiteral("Das Ger\u00E4t oder die Ressource ist belegt");
        const QStringList german = portTrouble(1, pty.path(), {reason, true}).split(u'\n');
        QCOMPARE(german[0], QStringLiteral("COM 1: %1: %2.").arg(pty.path(), reason));
        QCOMPARE(german.mid(1), lines.mid(1, german.size() - 1));
    }

    void shouldTellWhatALockFileSays_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("says");
        QTest::newRow("a process that has ended") << "ended" << "names process %1, which no longer runs.";
        QTest::newRow("no process") << "garbage" << "names no process.";
        QTest::newRow("unreadable") << "unreadable" << "cannot be read: ";
    }
    void shouldTellWhatALockFileSays()
    {
        QFETCH(QString, kind);
        QFETCH(QString, says);
        QTemporaryDir dir;
        const QString device = dir.filePath(QStringLiteral("ttyQ"));
        const QString lock = lockFileOf(device);
        const auto remove = qScopeGuard([&] { QFile::remove(lock); });
        qint64 pid = 0;
        if (kind == QLatin1String("ended")) {
            QProcess gone;
            gone.start(QStringLiteral("sleep"), {QStringLiteral("0.1")});
            QVERIFY(gone.waitForStarted());
            pid = gone.processId();
            QVERIFY(gone.waitForFinished());
        }
        writeLock(lock, pid, QStringLiteral("gone"));
        if (kind == QLatin1String("garbage"))
            put(lock, "not a number\n");
        if (kind == QLatin1String("unreadable")) {
            QVERIFY(QFile::setPermissions(lock, {}));
            if (QFile(lock).open(QIODevice::ReadOnly))
                QSKIP("permissions do not bind this user (root); the unprivileged run covers it");
        }
        const QString text = portTrouble(3, device, {QStringLiteral("Permission error while locking the device"), true});
        QVERIFY2(text.startsWith(QStringLiteral("COM 3: %1: Permission error while locking the device.\nIts lock file %2 ")
                                     .arg(device, lock)),
                 qPrintable(text));
        QVERIFY2(text.contains(says.contains(u'%') ? says.arg(pid) : says), qPrintable(text));
    }

    void shouldReopenByItselfWhenTheDeviceIsBack_data()
    {
        QTest::addColumn<bool>("pickedAnother");
        QTest::newRow("left as it was") << false;
        QTest::newRow("another port picked meanwhile") << true;
    }
    void shouldReopenByItselfWhenTheDeviceIsBack()
    {
        QFETCH(bool, pickedAnother);
        QTemporaryDir dir;
        const QString link = dir.filePath(QStringLiteral("ttyBalance"));
        auto first = std::make_unique<Pty>();
        Pty other;
        QVERIFY(QFile::link(first->path(), link));
        SerialComm comm(PortMap::fromList(link + u':' + other.path()));
        ScriptedDialogs dialogs;
        Form1 form(&comm, &dialogs);
        QVERIFY(form.Form_Load());
        emit form.Combo2->activated(2); // 2400 baud, which it keeps
        first->closeMaster(); // the adapter pulled out
        QTRY_COMPARE(dialogs.messages.size(), 1);
        first.reset();
        // Its number, most likely given to the next terminal made, is not the
        // device coming back while the link stays as it was.
        Pty squatter;
        QTest::qWait(200);
        QVERIFY(!comm.portOpen());
        if (pickedAnother)
            emit form.Combo1->activated(1);

        // Back, but as something that is no terminal: not opened, and said why.
        CapturedStderr err;
        put(dir.filePath(QStringLiteral("file")), "x");
        QVERIFY(QFile::remove(link) && QFile::link(dir.filePath(QStringLiteral("file")), link));
        QTest::qWait(200);
        QCOMPARE(comm.commPort(), qint16(pickedAnother ? 2 : 1));
        QCOMPARE(comm.portOpen(), pickedAnother);
        const QString said = err.text();
        QCOMPARE(said.contains(link + QStringLiteral(" is back but not opened: it is a regular file")), !pickedAnother);

        // Back as a terminal: replies flow with no pick, at the speed it had.
        Pty second;
        QVERIFY(QFile::remove(link) && QFile::link(second.path(), link));
        if (pickedAnother) {
            QTest::qWait(300);
            QCOMPARE(comm.commPort(), qint16(2));
            QVERIFY(!lockedByUs(link));
            return;
        }
        QTRY_VERIFY(comm.portOpen());
        QCOMPARE(comm.commPort(), qint16(1));
        QCOMPARE(second.baud(), 2400);
        QCOMPARE(form.CommLoopStop, qint16(0));
        QCOMPARE(dialogs.messages.size(), 1);
        form.Command2->click();
        QCOMPARE(second.receive(2), QByteArray("\x1bp"));
        QVERIFY(second.send(reply));
        QTRY_COMPARE(inBox(form), reply);
    }

    void shouldRaiseOneMessageForACableThatComesAndGoes()
    {
        LinkRig<HeldDialogs> rig;
        QVERIFY(rig.loaded);
        auto &pty = rig.pty;
        auto &comm = rig.comm;
        auto &dialogs = rig.dialogs;
        auto &form = rig.form;
        bool comeAndGone = false;
        bool waiting = false;
        // Each next terminal is made while the one before is open, so that it
        // has a number of its own: a link made again within the same tick to
        // a terminal of the same number looks like the link that was.
        auto next = std::make_unique<Pty>();
        dialogs.whileShown = [&] {
            for (int i = 0; i < 6; ++i) {
                QVERIFY(rig.relink(next->path()));
                pty = std::move(next);
                QTRY_VERIFY(comm.portOpen());
                if (i < 5) {
                    next = std::make_unique<Pty>();
                    pty->closeMaster();
                    QTRY_VERIFY(!comm.portOpen());
                }
            }
            comeAndGone = true;
        };
        // Half a line: the receive event waits for the rest, and returns to
        // the test only when that wait ends.
        QVERIFY(pty->send("     +  15"));
        after(200, [&] {
            waiting = comm.rThreshold() == 0;
            pty->closeMaster();
        });
        QTRY_VERIFY(comeAndGone);
        QVERIFY(waiting);

        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(dialogs.messages[0].contains(QLatin1String("It is opened again as soon as it is back")));
        QVERIFY(comm.portOpen());
        QCOMPARE(form.CommLoopStop, qint16(0));
        // The wait on the first device ended: its half line is not shown.
        QVERIFY(pty->send(reply));
        QTRY_COMPARE(inBox(form), reply);
    }

    void shouldNotPromiseToReopenAnUnwatchedTerminal()
    {
        PtyRig rig;
        QVERIFY(rig.loaded);
        rig.pty.closeMaster();
        QTRY_COMPARE(rig.dialogs.messages.size(), 1);
        QVERIFY2(rig.dialogs.messages[0].endsWith(QLatin1String("Pick a port or a speed to open one again.")),
                 qPrintable(rig.dialogs.messages[0]));
    }

    void shouldReopenWhenTheUserMayOpenTheDeviceAgain()
    {
        LinkRig<> rig;
        QVERIFY(rig.loaded);
        rig.pty->closeMaster(); // unplugged
        QTRY_COMPARE(rig.dialogs.messages.size(), 1);

        // Plugged in again: the kernel makes the node as root's alone, and
        // udev gives it to the user a moment later.
        Pty second;
        const QByteArray node = QFile::encodeName(second.path());
        QVERIFY(::chmod(node.constData(), 0) == 0);
        const int probe = ::open(node.constData(), O_RDWR | O_NOCTTY);
        if (probe >= 0) {
            ::close(probe);
            QSKIP("file modes do not bind this user (root); the unprivileged run covers it");
        }
        CapturedStderr err;
        QVERIFY(rig.relink(second.path()));
        QTest::qWait(300);
        QVERIFY(!rig.comm.portOpen());
        QVERIFY2(err.text().contains(QLatin1String("ondril: COM 1 not reopened: ")), qPrintable(err.text()));
        QVERIFY(::chmod(node.constData(), 0600) == 0);
        QTRY_VERIFY(rig.comm.portOpen());
        QCOMPARE(rig.dialogs.messages.size(), 1);
        rig.form.Command2->click();
        QCOMPARE(second.receive(2), QByteArray("\x1bp"));
    }

    void shouldWaitThroughAMebibyteWithoutALineEnd()
    {
        PtyRig rig;
        QVERIFY(rig.loaded);
        rig.form.show(); // laying the line out on screen is part of the cost
        QByteArray text(1 << 20, '\0');
        for (int i = 0; i < text.size(); ++i)
            text[i] = char('A' + i % 26);
        int changes = 0;
        connect(rig.form.Text2, &ReceiveBox::changed, this, [&] { ++changes; });
        ClickProbe probe(rig.form.Check3, rig.form.Text2);
        std::atomic<bool> answered{true};
        std::atomic<bool> sent{false};
        std::thread balance([&] {
            const qsizetype half = text.size() / 2;
            answered = rig.pty.send(text.left(half)) && probe.awaitClick();
            answered = answered && rig.pty.send(text.mid(half)) && probe.awaitClick();
            rig.pty.send("\r\n");
            sent = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(sent && !rig.form.Text2->isEmpty(), 60000);
        balance.join();
        QVERIFY(answered);
        QVERIFY(probe.whileBoxEmpty() >= 2); // clicks were handled while the line was pending
        QCOMPARE(changes, 1);
        QCOMPARE(inBox(rig.form), text + "\r\n");
    }

    void shouldSurviveABurstOfAHundredThousandLines()
    {
        PtyRig rig;
        QVERIFY(rig.loaded);
        constexpr int lines = 100000, slices = 10;
        ClickProbe probe(rig.form.Check3, rig.form.Text2);
        std::atomic<bool> answered{true};
        std::atomic<bool> sent{false};
        qint64 streamed = 0;
        std::thread balance([&] {
            for (int s = 0; s < slices && answered; ++s) {
                QByteArray slice;
                for (int n = s * lines / slices; n < (s + 1) * lines / slices; ++n)
                    slice += QByteArray::number(n).rightJustified(6, '0') + " +  152.37 g\r\n";
                streamed += slice.size();
                answered = rig.pty.send(slice) && probe.awaitClick();
            }
            sent = true;
        });
        QTRY_VERIFY_WITH_TIMEOUT(sent, 120000);
        balance.join();
        QVERIFY(answered);
        QTRY_COMPARE(rig.comm.inBufferCount(), qint16(0)); // nothing piles up unread
        QTest::qWait(100);

        // The box holds pieces of the stream: what was read up to a line end,
        // with what came after it discarded (a CR whose LF was discarded stays).
        const QByteArray box = inBox(rig.form);
        QVERIFY(!box.isEmpty());
        QVERIFY(box.size() <= streamed);
        static const QRegularExpression streamText(QStringLiteral("^[0-9 +.g\r\n]*$"));
        QVERIFY(streamText.match(QString::fromLatin1(box)).hasMatch());
        QVERIFY(rig.comm.portOpen());
        QVERIFY(rig.dialogs.messages.isEmpty());
    }

    void shouldShowAndSaveHostileBytesLiterally()
    {
        QTemporaryDir dir;
        PtyRig rig;
        QVERIFY(rig.loaded);
        QByteArray hostile("<b>bold</b><img src=x onerror=alert(1)>&amp; \x1b[31mred\x1b[0m\x1b]0;title\x07");
        hostile += QByteArray("\0\x7f\r\x08\n", 5);
        for (int b = 0x80; b <= 0xFF; ++b)
            hostile += char(b);
        hostile += "\r\n";
        QVERIFY(rig.pty.send(hostile));
        QTRY_COMPARE(inBox(rig.form), hostile);
        const QString shown = rig.form.Text2->text();
        QVERIFY(shown.startsWith(QLatin1String("<b>bold</b><img src=x onerror=alert(1)>&amp; \x1b[31mred")));
        QCOMPARE(shown.count(QChar(0x1b)), 3);

        const QString log = dir.filePath(QStringLiteral("log.txt"));
        rig.form.Label1->setText(log);
        rig.form.Command7->click();
        QCOMPARE(contents(log), hostile + "\r\n");
    }

    void shouldShowAndUseALogPathLiterally_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("markup") << QStringLiteral("<b>line 4<i> &amp; <img src=x>.txt");
        QTest::newRow("non-ASCII") << QStringLiteral("Wägezelle – 天平 №4 ✓.txt");
    }
    void shouldShowAndUseALogPathLiterally()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        FormRig rig;
        rig.form.show();
        rig.comm.feed(reply);
        QTRY_COMPARE(rig.shown(), reply);
        const QString path = dir.filePath(name);
        rig.dialogs.fileAnswers << path;
        rig.form.Command9->click();
        QCOMPARE(rig.form.Label1->text(), path);
        QCOMPARE(rig.form.Label1->textFormat(), Qt::PlainText);
        const QString shown = rig.form.Label1->shownText();
        QVERIFY(shown.endsWith(name.right(6)));

        QCOMPARE(shownToolTip(rig.form.Label1), path);

        rig.form.Command7->click();
        QVERIFY(rig.dialogs.messages.isEmpty());
        QCOMPARE(entries(dir.path()), QStringList{name});
        QCOMPARE(contents(path), reply + "\r\n");
    }

    void shouldSaveThroughASymbolicLinkAndKeepIt_data()
    {
        QTest::addColumn<bool>("newData");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("replace") << true << reply + "\r\n";
        QTest::newRow("append") << false << "old\r\n" + reply + "\r\n";
    }
    void shouldSaveThroughASymbolicLinkAndKeepIt()
    {
        QFETCH(bool, newData);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString target = dir.filePath(QStringLiteral("kept.txt"));
        const QString link = dir.filePath(QStringLiteral("log.txt"));
        put(target, "old\r\n");
        QVERIFY(QFile::link(target, link));
        FormRig rig;
        rig.comm.feed(reply);
        QTRY_COMPARE(rig.shown(), reply);
        rig.form.Label1->setText(link);
        rig.form.Check3->setChecked(newData);
        rig.form.Command7->click();
        QVERIFY(rig.dialogs.messages.isEmpty());
        QVERIFY(QFileInfo(link).isSymLink());
        QCOMPARE(QFileInfo(link).symLinkTarget(), target);
        QCOMPARE(contents(target), expected);
        QCOMPARE(entries(dir.path()), (QStringList{QStringLiteral("kept.txt"), QStringLiteral("log.txt")}));
    }

    void shouldKeepTheLogWholeWhenASaveIsKilled_data()
    {
        QTest::addColumn<bool>("replace");
        QTest::newRow("replace") << true;
        QTest::newRow("append") << false;
    }
    void shouldKeepTheLogWholeWhenASaveIsKilled()
    {
        QFETCH(bool, replace);
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("log.txt"));
        constexpr int block = 2 << 20;
        const QByteArray old("old\r\n");
        const QByteArray a = QByteArray(block, 'a') + "\r\n", b = QByteArray(block, 'b') + "\r\n";
        for (int round = 0; round < 8; ++round) {
            put(log, old);
            QProcess writer;
            writer.start(QStringLiteral(LOG_WRITER),
                         {log, replace ? QStringLiteral("replace") : QStringLiteral("append"), QString::number(block)});
            QVERIFY(writer.waitForReadyRead(20000)); // its first save is complete
            QTest::qWait(int(QRandomGenerator::global()->bounded(40)));
            ::kill(pid_t(writer.processId()), SIGKILL);
            QVERIFY(writer.waitForFinished());
            const QByteArray now = contents(log);
            if (replace)
                QVERIFY2(now == a || now == b, qPrintable(QStringLiteral("%1 bytes").arg(now.size())));
            else
                QVERIFY(now.startsWith(old + a));
            // What a killed save can leave is its unfinished new file, named
            // after the log; the log itself is whole.
            const QStringList left = entries(dir.path());
            QVERIFY(left.contains(QStringLiteral("log.txt")));
            static const QRegularExpression unfinished(QStringLiteral("^log\\.txt(\\.\\w{6})?$"));
            for (const QString &name : left)
                QVERIFY2(unfinished.match(name).hasMatch(), qPrintable(name));
            for (const QString &name : left)
                if (name != QLatin1String("log.txt"))
                    QFile::remove(dir.filePath(name));
        }
    }

    void shouldLeaveNothingBehindAfterManyClicksAndPicks()
    {
        Pty first, second;
        SerialComm comm(PortMap::fromList(first.path() + u':' + second.path()));
        ScriptedDialogs dialogs;
        Form1 form(&comm, &dialogs);
        QVERIFY(form.Form_Load());
        form.Text1->setText(QStringLiteral("60000"));
        // One round first, so that whatever is made once counts as the baseline.
        form.Command1->click();
        form.Command1->click();
        emit form.Combo1->activated(1);
        emit form.Combo1->activated(0);
        const int descriptors = openDescriptors();

        for (int i = 0; i < 1000; ++i)
            form.Command1->click();
        QCOMPARE(form.Command1->text(), QStringLiteral("Cycle Print"));
        QVERIFY(form.Command2->isEnabled());
        QVERIFY(!form.Timer1->isActive());
        QCOMPARE(form.CommLoopStop, qint16(0));
        QCOMPARE(form.TimerLoopStop, qint16(1));
        QCOMPARE(comm.rThreshold(), qint16(1));
        QCOMPARE(openDescriptors(), descriptors);

        for (int i = 0; i < 200; ++i) {
            if (i % 2 == 0)
                emit form.Combo1->activated((i / 2) % 2);
            else
                emit form.Combo2->activated((i / 2) % 5);
        }
        // The last picks were COM 2 and 9600.
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(openDescriptors(), descriptors);
        QCOMPARE(comm.commPort(), qint16(2));
        QCOMPARE(second.baud(), 9600);
        QCOMPARE(form.CommLoopStop, qint16(0));
        QCOMPARE(comm.rThreshold(), qint16(1));
        QVERIFY(lockedByUs(second.path()));
        QVERIFY(!lockedByUs(first.path()));
        form.Command2->click();
        QCOMPARE(second.receive(2), QByteArray("\x1bp"));
        comm.setPortOpen(false);
        QVERIFY(!lockedByUs(second.path()));
    }

    void shouldEndWithStatusZeroAndReleaseThePort_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<QString>("during");
        for (const char *way : {"EXIT", "close box", "SIGTERM"})
            for (const char *during : {"line wait", "cycle print", "message box"})
                QTest::addRow("%s during %s", way, during) << QString::fromLatin1(way) << QString::fromLatin1(during);
    }
    void shouldEndWithStatusZeroAndReleaseThePort()
    {
        QFETCH(QString, way);
        QFETCH(QString, during);
        Pty pty;
        UnansweredDialogs dialogs;
        bool busy = false;
        QTimer::singleShot(0, [&] {
            Form1 *form = theForm();
            if (during == QLatin1String("line wait")) {
                pty.send("     +  15");
            } else if (during == QLatin1String("cycle print")) {
                form->Text1->setText(QStringLiteral("100"));
                form->Command1->click();
            } else {
                // A pick of COM 7 (there is none) while a line is awaited:
                // the message comes up inside that wait.
                pty.send("     +  15");
                QTimer::singleShot(100, form, [form] { emit form->Combo1->activated(6); });
            }
        });
        QTimer::singleShot(400, [&] {
            Form1 *form = theForm();
            busy = form->MSComm1->rThreshold() == 0 || !dialogs.messages.isEmpty();
            if (way == QLatin1String("EXIT"))
                form->EXIT->trigger();
            else if (way == QLatin1String("close box"))
                form->close();
            else
                ::raise(SIGTERM);
        });
        // Should a wait outlive the end, the unplugged device ends it.
        bool hung = false;
        QTimer::singleShot(5000, [&] {
            hung = true;
            pty.closeMaster();
        });
        QCOMPARE(runOndril(dialogs, PortMap::fromList(pty.path())), 0);
        QVERIFY(!hung);
        QVERIFY(busy); // it did end in the middle of something
        QVERIFY(!lockedByUs(pty.path()));
        SerialComm next(PortMap::fromList(pty.path()));
        QVERIFY2(next.setPortOpen(true), qPrintable(next.errorString()));
        if (during == QLatin1String("message box"))
            QCOMPARE(dialogs.messages, QStringList{QStringLiteral("ERROR: The selected Comm port does not exist!")});
        else
            QVERIFY(dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"
