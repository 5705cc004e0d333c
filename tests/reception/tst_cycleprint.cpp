#include "FormRig.h"
#include "reception/CycleInterval.h"

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

using namespace ondril;

class TestCyclePrint : public QObject {
    Q_OBJECT
private slots:
    void shouldReadTheInterval_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("ms");
        QTest::addColumn<QString>("shown");
        QTest::newRow("below 100") << "50" << 100 << "100";
        QTest::newRow("above 60000") << "99999" << 60000 << "60000";
        QTest::newRow("empty") << "" << 100 << "100";
        QTest::newRow("letters") << "abc" << 100 << "100";
        QTest::newRow("in range") << "250" << 250 << "250";
        QTest::newRow("the limits") << "60000" << 60000 << "60000";
        QTest::newRow("with a unit") << "250ms" << 250 << "250ms";
        QTest::newRow("blanks and sign") << "  +300" << 300 << "  +300";
        QTest::newRow("negative") << "-500" << 100 << "100";
        QTest::newRow("half to even, down") << "100.5" << 100 << "100.5";
        QTest::newRow("half to even, up") << "101.5" << 102 << "101.5";
        QTest::newRow("above half") << "100.51" << 101 << "100.51";
        QTest::newRow("just below 100") << "99.99" << 100 << "100";
        QTest::newRow("just above 60000") << "60000.01" << 60000 << "60000";
        QTest::newRow("exponent is not read") << "1e4" << 100 << "100";
        QTest::newRow("huge") << QString(400, u'9') << 60000 << "60000";
    }
    void shouldReadTheInterval()
    {
        QFETCH(QString, typed);
        QFETCH(int, ms);
        QFETCH(QString, shown);
        const CycleInterval interval = cycleInterval(typed);
        QCOMPARE(interval.ms, ms);
        QCOMPARE(interval.clampedText.isEmpty() ? typed : interval.clampedText, shown);
    }

    void shouldStartAndStop()
    {
        FormRig rig;
        rig.form.Text1->setText(QStringLiteral("50"));
        rig.form.Command1->click();
        QCOMPARE(rig.form.Command1->text(), QStringLiteral("Stop"));
        QVERIFY(!rig.form.Command2->isEnabled());
        QCOMPARE(rig.comm.rThreshold(), qint16(0));
        QCOMPARE(rig.form.CommLoopStop, qint16(1));
        QCOMPARE(rig.form.TimerLoopStop, qint16(0));
        QCOMPARE(rig.form.Text1->text(), QStringLiteral("100"));
        QCOMPARE(rig.form.Timer1->interval(), 100);
        QVERIFY(rig.form.Timer1->isActive());

        // Editing the interval during a cycle changes nothing until the next start.
        rig.form.Text1->setText(QStringLiteral("5000"));
        rig.form.Command1->click();
        QCOMPARE(rig.form.Command1->text(), QStringLiteral("Cycle Print"));
        QVERIFY(rig.form.Command2->isEnabled());
        QVERIFY(!rig.form.Timer1->isActive());
        QCOMPARE(rig.form.Timer1->interval(), 100);
        QCOMPARE(rig.comm.rThreshold(), qint16(1));
        QCOMPARE(rig.form.CommLoopStop, qint16(0));
        QCOMPARE(rig.form.TimerLoopStop, qint16(1));
    }

    void shouldPrintAtEveryTickAndShowTheReply()
    {
        FormRig rig;
        rig.form.Text1->setText(QStringLiteral("100"));
        // Each reply a tick asks for is read by that tick, not by a receive event.
        rig.comm.onWrite = [&](const QByteArray &) { after(10, [&] { rig.comm.feed("     +  1.00 g\r\n"); }); };
        rig.form.Command1->click();
        QTRY_COMPARE(rig.form.Text2->content().lineCount(), 4);
        rig.form.Command1->click();
        QTest::qWait(50);
        const QByteArray shown = rig.shown();
        QCOMPARE(shown.count("     +  1.00 g\r\n"), rig.comm.written.count("\x1bp"));
        QVERIFY(rig.comm.written.count("\x1bp") >= 3);
        QCOMPARE(rig.form.Text3->text(), QStringLiteral("1B"));
        QCOMPARE(rig.form.Text4->text(), QStringLiteral("70"));
    }

    void shouldAskAgainAfterAReplyThatNeverCame()
    {
        FormRig rig;
        rig.form.Text1->setText(QStringLiteral("100"));
        int prints = 0;
        // The balance leaves the second PRINT unanswered.
        rig.comm.onWrite = [&](const QByteArray &) {
            if (++prints != 2)
                after(10, [&] { rig.comm.feed("     +  1.00 g\r\n"); });
        };
        QElapsedTimer clock;
        clock.start();
        rig.form.Command1->click();
        QTRY_COMPARE_WITH_TIMEOUT(rig.form.Text2->content().lineCount(), 4, 6000);
        // The tick gave the lost reply up after the reply time-out, not before.
        QVERIFY(clock.elapsed() >= 2000);
        QCOMPARE(rig.form.Command1->text(), QStringLiteral("Stop"));
        rig.form.Command1->click();
        QTest::qWait(50);
        QCOMPARE(rig.shown().count("     +  1.00 g\r\n"), prints - 1);
    }

    void shouldWaitForItsOwnReplyPastALateOne()
    {
        FormRig rig;
        QList<qint64> sentAt;
        QElapsedTimer clock;
        clock.start();
        // A balance slower than the reply time-out: each reply comes after its
        // tick gave it up, and is read by the next tick as a line from before.
        rig.comm.onWrite = [&](const QByteArray &) {
            sentAt << clock.elapsed();
            QTimer::singleShot(2500, &rig.comm, [&] { rig.comm.feed("     +  1.00 g\r\n"); });
        };
        rig.form.Command1->click(); // 1000 ms
        QTest::qWait(8500);
        rig.form.Command1->click();
        QVERIFY2(sentAt.size() >= 2, qPrintable(QString::number(sentAt.size())));
        // A late reply never ends a tick's wait: PRINTs stay a give-up apart.
        for (qsizetype i = 1; i < sentAt.size(); ++i)
            QVERIFY2(sentAt[i] - sentAt[i - 1] >= 1900, qPrintable(QString::number(sentAt[i] - sentAt[i - 1])));
        QVERIFY(rig.shown().count("     +  1.00 g\r\n") >= 1); // shown all the same
    }

    void shouldKeepTheOtherCommandsDuringACycle()
    {
        FormRig rig;
        rig.form.Text1->setText(QStringLiteral("60000"));
        rig.form.Command1->click();
        QVERIFY(!rig.form.Command2->isEnabled());
        rig.form.Command2->click(); // a disabled button sends nothing
        rig.form.Command6->click();
        rig.form.Command3->click();
        QCOMPARE(rig.comm.written, QByteArray("\x1bt\x1bq"));
        QCOMPARE(rig.form.Text4->text(), QStringLiteral("71"));
    }

    void shouldDropAPartialReplyOnStopAndReArm()
    {
        FormRig rig;
        rig.form.Text1->setText(QStringLiteral("100"));
        rig.form.Command1->click();
        after(150, [&] { rig.comm.feed("     +  1"); }); // the first tick waits
        after(400, [&] { rig.form.Command1->click(); });
        after(450, [&] { rig.comm.feed("52.37 g\r\n"); });
        QTest::qWait(500);
        // Ticks that fell due during the wait were skipped: one PRINT only.
        QCOMPARE(rig.comm.written, QByteArray("\x1bp"));
        QCOMPARE(rig.form.TimerLoopStop, qint16(1));
        QCOMPARE(rig.comm.rThreshold(), qint16(1));
        // The rest of the reply came by a receive event and alone.
        QTRY_COMPARE(rig.shown(), QByteArray("52.37 g\r\n"));
    }
};

QTEST_MAIN(TestCyclePrint)
#include "tst_cycleprint.moc"
