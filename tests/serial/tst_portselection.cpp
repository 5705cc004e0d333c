#include "FormRig.h"
#include "PtyRig.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>

using namespace ondril;

namespace {

void pick(QComboBox *box, int index)
{
    emit box->activated(index);
}

// A cycle print that will not tick during a test.
void startSlowCycle(Form1 &form)
{
    form.Text1->setText(QStringLiteral("60000"));
    form.Command1->click();
    QCOMPARE(form.Command1->text(), QStringLiteral("Stop"));
}

void verifyIdleAndArmed(const Form1 &form)
{
    QCOMPARE(form.Command1->text(), QStringLiteral("Cycle Print"));
    QVERIFY(form.Command2->isEnabled());
    QVERIFY(!form.Timer1->isActive());
    QVERIFY(form.Text3->text().isEmpty());
    QVERIFY(form.Text4->text().isEmpty());
    QCOMPARE(form.TimerLoopStop, qint16(1));
    QCOMPARE(form.MSComm1->rThreshold(), qint16(1));
}

} // namespace

class TestPortSelection : public QObject {
    Q_OBJECT
private slots:
    void shouldFallBackToStartupPort()
    {
        FormRig rig; // only COM 1 exists
        rig.form.Command2->click();
        pick(rig.form.Combo1, 6);
        QCOMPARE(rig.dialogs.messages, QStringList{QStringLiteral("ERROR: The selected Comm port does not exist!")});
        QCOMPARE(rig.form.Combo1->currentText(), QStringLiteral("COM 1"));
        QCOMPARE(rig.comm.commPort(), qint16(1));
        QVERIFY(rig.comm.portOpen());
        QCOMPARE(rig.form.CommLoopStop, qint16(0));
        verifyIdleAndArmed(rig.form);
        rig.comm.feed("back again\r\n");
        QTRY_COMPARE(rig.shown(), QByteArray("back again\r\n"));
    }

    void shouldMoveToAnotherPortKeepingTheSpeed()
    {
        Pty first, second;
        SerialComm comm(PortMap::fromList(first.path() + u':' + second.path()));
        ScriptedDialogs dialogs;
        Form1 form(&comm, &dialogs);
        QVERIFY(form.Form_Load());
        pick(form.Combo2, 3);
        pick(form.Combo1, 1);
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(form.PortNo, qint16(1)); // the fallback stays the start-up port
        QCOMPARE(second.baud(), 4800);
        form.Command2->click();
        QCOMPARE(second.receive(2), QByteArray("\x1bp"));
        QVERIFY(second.send("   + 1.00 g\r\n"));
        QTRY_COMPARE(form.Text2->bytes().toByteArray(), QByteArray("   + 1.00 g\r\n"));
    }

    void shouldStopACycleAndReopenAtThePickedSpeed()
    {
        PtyRig rig;
        QVERIFY(rig.loaded);
        Pty &pty = rig.pty;
        Form1 &form = rig.form;
        QCOMPARE(pty.baud(), 600);
        startSlowCycle(form);
        pick(form.Combo2, 2);
        QCOMPARE(rig.comm.settings(), QStringLiteral("2400,n,8,1"));
        QCOMPARE(pty.baud(), 2400);
        QCOMPARE(rig.comm.commPort(), qint16(1)); // the port survives a speed change
        QCOMPARE(form.CommLoopStop, qint16(0));
        verifyIdleAndArmed(form);
        QVERIFY(pty.send("next\r\n")); // through the receive event again
        QTRY_COMPARE(form.Text2->bytes().toByteArray(), QByteArray("next\r\n"));
        QVERIFY(rig.dialogs.messages.isEmpty());
    }

    void shouldLetAnEventWaitSurviveAndEndATickWait()
    {
        FormRig rig;
        // The text pending before the pick and the rest read after it make one line.
        after(0, [&] { rig.comm.feed("partial "); });
        after(30, [&] { pick(rig.form.Combo2, 4); });
        after(60, [&] { rig.comm.feed("line\r\n"); });
        QTest::qWait(100);
        QCOMPARE(rig.shown(), QByteArray("partial line\r\n"));
        QCOMPARE(rig.comm.openedLine.baud, 9600);
        QCOMPARE(rig.comm.rThreshold(), qint16(1));

        // A tick that waits for its reply ends at a pick, and shows nothing.
        rig.form.Text1->setText(QStringLiteral("100"));
        rig.form.Command1->click();
        bool tickEnded = false;
        after(150, [&] { pick(rig.form.Combo1, 0); });
        after(180, [&] { rig.comm.feed("late\r\n"); });
        after(250, [&] { tickEnded = true; });
        QTRY_VERIFY(tickEnded);
        QCOMPARE(rig.comm.written, QByteArray("\x1bp")); // one tick, then stopped
        QCOMPARE(rig.shown(), QByteArray("partial line\r\nlate\r\n"));
        verifyIdleAndArmed(rig.form);
    }

    void shouldStayClosedAndSayWhenTheReopenFails()
    {
        FormRig rig;
        rig.comm.refused.insert(QStringLiteral("fake1"));
        rig.form.Text2->insertTyped(QStringLiteral("kept"));
        startSlowCycle(rig.form);
        pick(rig.form.Combo2, 1);
        QCOMPARE(rig.dialogs.messages.size(), 1);
        QCOMPARE(rig.dialogs.messages[0], QStringLiteral("ERROR: COM 1 could not be opened: fake1: Permission denied.\n"
                                                         "Pick a port or a speed to try again."));
        QVERIFY(!rig.comm.portOpen());
        QCOMPARE(rig.form.CommLoopStop, qint16(1)); // no wait lingers on a closed port
        verifyIdleAndArmed(rig.form);

        // Each attempt to use the closed port gets one message and writes nothing.
        rig.form.Command2->click();
        rig.form.Command1->click();
        QCOMPARE(rig.dialogs.messages.size(), 3);
        QCOMPARE(rig.dialogs.messages[1], QStringLiteral("ERROR: The port is not open.\n"
                                                         "Pick a port or a speed to open it again."));
        QCOMPARE(rig.dialogs.messages[2], rig.dialogs.messages[1]);
        QCOMPARE(rig.form.Command1->text(), QStringLiteral("Cycle Print"));
        QVERIFY(!rig.form.Timer1->isActive());
        QVERIFY(rig.form.Text4->text().isEmpty());
        QCOMPARE(rig.comm.written, QByteArray());

        // The fallback port refusing too: both messages, still closed.
        pick(rig.form.Combo1, 6);
        QCOMPARE(rig.dialogs.messages.size(), 5);
        QCOMPARE(rig.dialogs.messages[3], QStringLiteral("ERROR: The selected Comm port does not exist!"));
        QVERIFY(rig.dialogs.messages[4].startsWith(QLatin1String("ERROR: COM 1 could not be opened")));

        rig.comm.refused.clear();
        pick(rig.form.Combo2, 1);
        QVERIFY(rig.comm.portOpen());
        QCOMPARE(rig.comm.openedLine.baud, 1200);
        QCOMPARE(rig.form.CommLoopStop, qint16(0));
        QCOMPARE(rig.form.Text2->text(), QStringLiteral("kept"));
    }

    void shouldStopEverythingOnceWhenTheDeviceVanishes()
    {
        FormRig rig;
        rig.form.Text1->setText(QStringLiteral("100"));
        rig.form.Command1->click();
        bool tickEnded = false;
        after(150, [&] { rig.comm.failDevice(QStringLiteral("Input/output error")); });
        after(400, [&] { tickEnded = true; });
        QTRY_VERIFY(tickEnded);
        QCOMPARE(rig.dialogs.messages.size(), 1);
        QCOMPARE(rig.dialogs.messages[0], QStringLiteral("ERROR: COM 1 stopped working and was closed: "
                                                         "Input/output error.\nIt is opened again as soon as it is back; "
                                                         "a pick of a port or a speed opens one now."));
        QCOMPARE(rig.comm.written, QByteArray("\x1bp"));
        QCOMPARE(rig.form.CommLoopStop, qint16(1));
        QCOMPARE(rig.form.Command1->text(), QStringLiteral("Cycle Print"));
        QVERIFY(rig.form.Command2->isEnabled());
        QVERIFY(!rig.form.Timer1->isActive());
    }
};

QTEST_MAIN(TestPortSelection)
#include "tst_portselection.moc"
