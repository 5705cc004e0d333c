#include "Application.h"
#include "FakeComm.h"
#include "Files.h"
#include "PtyRig.h"
#include "receivebox/ReceiveBox.h"
#include "ScriptedDialogs.h"
#include "serial/SerialComm.h"
#include "window/Form1.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

#include <unistd.h>

using namespace ondril;

namespace {
const QString noPortMessage = QStringLiteral("ERROR: could not found Comm port!\r\n"
                                             "        program will exit!");

bool anyWindowVisible()
{
    for (QWidget *w : QApplication::topLevelWidgets())
        if (w->isVisible())
            return true;
    return false;
}
} // namespace

class TestStartup : public QObject {
    Q_OBJECT
private slots:
    void shouldOpenTheFirstPortThatExists()
    {
        Pty pty;
        QVERIFY(pty.isValid());
        qputenv("ONDRIL_PORTS", ("::" + pty.path()).toLocal8Bit());
        SerialComm comm(PortMap::fromEnvironment());
        ScriptedDialogs dialogs;
        Form1 form(&comm, &dialogs);

        QVERIFY(form.Form_Load());
        QCOMPARE(form.Combo1->currentText(), QStringLiteral("COM 3"));
        QCOMPARE(form.Combo1->currentIndex(), 2);
        QCOMPARE(form.PortNo, qint16(3));
        QVERIFY(comm.portOpen());
        QCOMPARE(comm.settings(), QStringLiteral("600,n,8,1"));
        QCOMPARE(pty.baud(), 600);
        QCOMPARE(comm.rThreshold(), qint16(1));
        QCOMPARE(form.Timer1->interval(), 1000);
        QVERIFY(!form.Timer1->isActive());
        QCOMPARE(form.CommLoopStop, qint16(0));
        QCOMPARE(form.TimerLoopStop, qint16(0));
        QVERIFY(dialogs.messages.isEmpty());
    }

    void shouldPutTheLogInTheProgramsDirectory()
    {
        FakeComm comm;
        ScriptedDialogs dialogs;
        Form1 form(&comm, &dialogs);
        QVERIFY(form.Form_Load());
        const QString path = form.Label1->text();
        QVERIFY(path.endsWith(QLatin1String("/Recdata0.txt")));
        QCOMPARE(QFileInfo(path).absolutePath(), QCoreApplication::applicationDirPath());
    }

    void shouldStartTheLogWhereTheUserMayWrite_data()
    {
        QTest::addColumn<QString>("home");
        QTest::addColumn<QString>("folder"); // where the log starts, in the home
        QTest::newRow("documents folder made") << "fresh" << "Documents";
        QTest::newRow("a file where it would be") << "file" << "";
        QTest::newRow("read-only home") << "read-only" << "";
        QTest::newRow("no home: where it was started") << "unset" << "started";
        QTest::newRow("a home that is gone: where it was started") << "gone" << "started";
    }
    void shouldStartTheLogWhereTheUserMayWrite()
    {
        if (::access(QFile::encodeName(QCoreApplication::applicationDirPath()).constData(), W_OK) == 0)
            QSKIP("this user may write the program's folder; the unprivileged run has one it may not");
        QFETCH(QString, home);
        QFETCH(QString, folder);
        QTemporaryDir dir;
        const QByteArray ownHome = qgetenv("HOME");
        qputenv("HOME", QFile::encodeName(dir.path()));
        qunsetenv("XDG_CONFIG_HOME");
        const auto restore = qScopeGuard([&] {
            qputenv("HOME", ownHome);
            QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        });
        if (home == QLatin1String("file"))
            put(dir.filePath(QStringLiteral("Documents")), "not a folder");
        else if (home == QLatin1String("read-only"))
            QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        else if (home == QLatin1String("unset"))
            qunsetenv("HOME");
        else if (home == QLatin1String("gone"))
            qputenv("HOME", QFile::encodeName(dir.filePath(QStringLiteral("gone"))));
        QTemporaryDir started; // the folder it was started in
        const QString startedIn = started.path();
        const QString ownFolder = QDir::currentPath();
        QVERIFY(QDir::setCurrent(folder == QLatin1String("started") ? startedIn : QStringLiteral("/")));
        const auto back = qScopeGuard([&] { QDir::setCurrent(ownFolder); });

        FakeComm comm;
        ScriptedDialogs dialogs;
        Form1 form(&comm, &dialogs);
        QVERIFY(form.Form_Load());
        const QString start = folder == QLatin1String("started") ? startedIn
                              : folder.isEmpty()                  ? dir.path()
                                                                  : dir.filePath(folder);
        QCOMPARE(form.Label1->text(), start + QStringLiteral("/Recdata0.txt"));
        QVERIFY(QFileInfo(start).isDir() || folder == QLatin1String("Documents")); // not made at start-up
        form.Command9_Click(); // cancelled, but it opened where the log is, made by now
        QCOMPARE(dialogs.requests.constLast().directory, start);
        QVERIFY(QFileInfo(start).isDir());

        form.Text2->append(u"+  152.37 g\r\n");
        form.Command7_Click();
        if (home == QLatin1String("read-only")) { // the message names the file and the reason
            QCOMPARE(dialogs.messages.size(), 1);
            QVERIFY2(dialogs.messages[0].contains(form.Label1->text() + u'\n'), qPrintable(dialogs.messages[0]));
        } else {
            QCOMPARE(dialogs.messages, QStringList());
            QCOMPARE(contents(form.Label1->text()), QByteArray("+  152.37 g\r\n\r\n"));
        }
    }

    void shouldSkipPortsThatFailToOpen()
    {
        FakeComm comm(PortMap::fromList(QStringLiteral("/dev/a:/dev/b::/dev/d")));
        comm.refused = {QStringLiteral("/dev/a"), QStringLiteral("/dev/b")};
        ScriptedDialogs dialogs;
        Form1 form(&comm, &dialogs);
        QVERIFY(form.Form_Load());
        QCOMPARE(form.PortNo, qint16(4));
        QCOMPARE(comm.openedDevice, QStringLiteral("/dev/d"));
        QCOMPARE(form.Combo1->currentText(), QStringLiteral("COM 4"));
        QVERIFY(dialogs.messages.isEmpty());
    }

    void shouldEndWithOneMessageWhenNoPortOpens_data()
    {
        QTest::addColumn<QString>("ports");
        QTest::newRow("no port at all") << "";
        QTest::newRow("only missing devices") << "/nonexistent/ttyA:/nonexistent/ttyB";
    }
    void shouldEndWithOneMessageWhenNoPortOpens()
    {
        QFETCH(QString, ports);
        ScriptedDialogs dialogs;
        QCOMPARE(runOndril(dialogs, PortMap::fromList(ports)), 1);
        QCOMPARE(dialogs.messages, QStringList{noPortMessage});
        QVERIFY(!anyWindowVisible());
    }

    void shouldExitWithStatusZeroFromTheMenu()
    {
        Pty pty;
        ScriptedDialogs dialogs;
        bool wasShown = false;
        // Picks EXIT once the window is up, as an operator would.
        QTimer::singleShot(0, [&] {
            for (QWidget *w : QApplication::topLevelWidgets())
                if (auto *form = qobject_cast<Form1 *>(w)) {
                    wasShown = form->isVisible();
                    form->EXIT->trigger();
                }
        });
        QCOMPARE(runOndril(dialogs, PortMap::fromList(pty.path())), 0);
        QVERIFY(wasShown);
        QVERIFY(dialogs.messages.isEmpty());
        QVERIFY(!anyWindowVisible());
    }

    void shouldStopEverythingOnExitOrClose_data()
    {
        QTest::addColumn<bool>("byCloseBox");
        QTest::newRow("EXIT") << false;
        QTest::newRow("close box") << true;
    }
    void shouldStopEverythingOnExitOrClose()
    {
        QFETCH(bool, byCloseBox);
        FakeComm comm;
        ScriptedDialogs dialogs;
        Form1 form(&comm, &dialogs);
        QVERIFY(form.Form_Load());
        form.show();
        form.Timer1->start();

        // A handler waiting for a line, as the line collector waits, with EXIT
        // or the close box handled inside its wait. The main loop ends only
        // once that handler has returned.
        bool waitEnded = false;
        QTimer::singleShot(0, [&] {
            QTimer::singleShot(0, [&] {
                if (byCloseBox)
                    form.close();
                else
                    form.EXIT->trigger();
            });
            while (!form.CommLoopStop)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
            waitEnded = true;
        });
        QCOMPARE(QCoreApplication::exec(), 0);

        QVERIFY(waitEnded);
        QCOMPARE(form.TimerLoopStop, qint16(1));
        QVERIFY(!form.Timer1->isActive());
        QVERIFY(!comm.portOpen());
        QVERIFY(form.isUnloaded());
        QVERIFY(!form.isVisible());
    }

    void shouldTellOnceWhenTheDeviceVanishes()
    {
        PtyRig rig;
        QVERIFY(rig.loaded);
        rig.form.Text2->insertTyped(QStringLiteral("collected so far"));

        QSignalSpy lost(&rig.comm, &MSComm::deviceLost);
        rig.pty.closeMaster();
        QVERIFY(lost.wait(3000));
        QTest::qWait(200);
        QCOMPARE(rig.dialogs.messages.size(), 1);
        QVERIFY(rig.dialogs.messages[0].startsWith(QLatin1String("ERROR: COM 1 stopped working")));
        QVERIFY(!rig.comm.portOpen());
        QCOMPARE(rig.form.Text2->text(), QStringLiteral("collected so far"));
        QVERIFY(!rig.form.isUnloaded());
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"
