#include "FakeComm.h"
#include "PtyRig.h"
#include "ScriptedDialogs.h"
#include "reception/ReceiveBox.h"
#include "serial/SerialComm.h"
#include "window/Application.h"
#include "window/Form1.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

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
