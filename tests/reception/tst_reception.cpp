#include "FormRig.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTextCursor>

using namespace ondril;

namespace {
class PaintCounter : public QObject {
public:
    PaintCounter(QWidget *w, int *paints) : m_paints(paints) { w->installEventFilter(this); }

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        *m_paints += e->type() == QEvent::Paint;
        return false;
    }

private:
    int *m_paints;
};
} // namespace

class TestReception : public QObject {
    Q_OBJECT
private slots:
    void shouldAppendALineArrivingInPiecesOnceWhole()
    {
        FormRig rig;
        QByteArray seen[2];
        after(0, [&] { rig.comm.feed("     +  15"); });
        after(30, [&] { seen[0] = rig.shown(); rig.comm.feed("2.37 g\r"); });
        after(60, [&] { seen[1] = rig.shown(); rig.comm.feed("\n"); });
        QTest::qWait(120);
        QCOMPARE(seen[0], QByteArray());
        QCOMPARE(seen[1], QByteArray());
        QCOMPARE(rig.shown(), QByteArray("     +  152.37 g\r\n"));
        QCOMPARE(rig.comm.rThreshold(), qint16(1));
        QCOMPARE(rig.form.Text2->caretPosition(), rig.form.Text2->content().size());

        // Re-armed: the next reply is served by a new event.
        rig.comm.feed("     +  152.35 g\r\n");
        QTRY_COMPARE(rig.shown(), QByteArray("     +  152.37 g\r\n     +  152.35 g\r\n"));
        // One line break per CR LF: no empty line between replies.
        QCOMPARE(rig.form.Text2->content().lineCount(), 3);
    }

    void shouldStampEachLineOfOneReadDateFirst()
    {
        FormRig rig;
        rig.form.Check1->setChecked(true);
        rig.form.Check2->setChecked(true);
        rig.comm.feed("A\r\nB\r\n");
        QTRY_VERIFY(!rig.shown().isEmpty());
        const QRegularExpression stamped(QStringLiteral(
            "^(\\d{4}-\\d\\d-\\d\\d) \\d\\d:\\d\\d:\\d\\d A\r\n\\1 \\d\\d:\\d\\d:\\d\\d B\r\n$"));
        const auto match = stamped.match(QString::fromLatin1(rig.shown()));
        QVERIFY2(match.hasMatch(), rig.shown().constData());
        QCOMPARE(QDate::fromString(match.captured(1), Qt::ISODate), QDate::currentDate());

        rig.form.Check1->setChecked(false); // the date alone
        rig.comm.feed("C\r\n");
        QTRY_VERIFY(QString::fromLatin1(rig.shown()).contains(
            QRegularExpression(QStringLiteral("B\r\n\\d{4}-\\d\\d-\\d\\d C\r\n$"))));
    }

    void shouldDiscardAndCountWhatFollowsTheLastLine()
    {
        FormRig rig;
        QList<qint64> discarded;
        connect(&rig.form, &Form1::lineCompleted, this,
                [&](const QString &, const QString &, qint64 bytes) { discarded << bytes; });
        rig.comm.lateBytes = "late reply\r\n";
        rig.comm.feed("first\r\nsame read ");
        QTRY_VERIFY(!rig.shown().isEmpty());
        QTest::qWait(20);
        // Only whole lines reach the box: the head of a line read with this
        // one goes with what waited after it, and both are counted.
        QCOMPARE(rig.shown(), QByteArray("first\r\n"));
        QCOMPARE(discarded, QList<qint64>{qint64(sizeof("same read late reply\r\n") - 1)});
        QCOMPARE(rig.comm.inBufferCount(), qint16(0));

        // A read that ends within a line: the rest of that line, when it
        // comes, goes too, never shown as a line of its own.
        rig.comm.feed("second\r\n     +    2.");
        QTRY_COMPARE(discarded.size(), 2);
        rig.comm.feed("00 g\r\n");
        after(20, [&] { rig.comm.feed("third\r\n"); });
        QTRY_COMPARE(discarded.size(), 3);
        QCOMPARE(rig.shown(), QByteArray("first\r\nsecond\r\nthird\r\n"));
        QCOMPARE(discarded.last(), qint64(sizeof("00 g\r\n") - 1));
    }

    void shouldIgnoreOtherCommEvents()
    {
        FormRig rig;
        rig.comm.setRThreshold(0);
        rig.comm.feed("waiting\r\n");
        rig.comm.setRThreshold(1);
        for (qint16 event : {1, 3, 4, 5, 6, 7, 1001, 1009})
            rig.comm.raise(event);
        QCOMPARE(rig.shown(), QByteArray());
        QCOMPARE(rig.comm.rThreshold(), qint16(1));
        QCOMPARE(rig.comm.inBufferCount(), qint16(9));
        QTRY_COMPARE(rig.shown(), QByteArray("waiting\r\n")); // the receive event still works
    }

    void shouldEndAWaitWithoutShowingItWhenACycleStarts()
    {
        FormRig rig;
        rig.form.Text1->setText(QStringLiteral("60000")); // no tick during the test
        after(0, [&] { rig.comm.feed("partial"); });
        after(30, [&] { rig.form.Command1->click(); });
        after(60, [&] { rig.comm.feed(" rest\r\n"); });
        QTest::qWait(100);
        QCOMPARE(rig.shown(), QByteArray());
        QCOMPARE(rig.form.CommLoopStop, qint16(1));
        QCOMPARE(rig.comm.rThreshold(), qint16(0)); // the ended wait did not re-arm
    }

    void shouldKeepWaitingThroughAStartAndStopInOnePass()
    {
        // Both clicks handled in one pass lower CommLoopStop again before the
        // wait looks at it: the wait goes on, and events are armed beside it.
        FormRig rig;
        rig.form.Text1->setText(QStringLiteral("60000"));
        after(0, [&] { rig.comm.feed("old "); });
        after(30, [&] {
            QMetaObject::invokeMethod(rig.form.Command1, &QPushButton::click, Qt::QueuedConnection);
            QMetaObject::invokeMethod(rig.form.Command1, &QPushButton::click, Qt::QueuedConnection);
        });
        after(60, [&] { rig.comm.feed("new\r\n"); });
        QTest::qWait(100);
        // Whichever collector reads first takes the characters; nothing twice.
        QCOMPARE(rig.shown(), QByteArray("old new\r\n"));
        QCOMPARE(rig.form.Command1->text(), QStringLiteral("Cycle Print"));
        QCOMPARE(rig.comm.rThreshold(), qint16(1));
        rig.comm.feed("next\r\n");
        QTRY_COMPARE(rig.shown(), QByteArray("old new\r\nnext\r\n"));
    }

    void shouldKeepEveryByteForTheLog()
    {
        FormRig rig;
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        // Lone CR and LF, a CR LF split over two reads, markup and entities.
        const QByteArray reply = all + "<b>&amp;\r\n";
        rig.comm.feed(reply);
        QTRY_VERIFY(!rig.shown().isEmpty());
        QByteArray meanwhile;
        rig.comm.feed("x\r");
        after(20, [&] {
            meanwhile = rig.shown();
            rig.comm.feed("\r\n\n\r\n");
        });
        QTRY_COMPARE(rig.shown(), reply + "x\r\r\n\n\r\n");
        QCOMPARE(meanwhile, reply);
        QVERIFY(rig.form.Text2->text().contains(QLatin1String("<b>&amp;")));
    }

    void shouldSaveTypedLineBreaksAsCrLf()
    {
        FormRig rig;
        rig.form.Text2->insertTyped(QStringLiteral("typed\nby hand \u20AC"));
        QCOMPARE(rig.shown(), QByteArray("typed\r\nby hand ?"));
    }

    void shouldSayOnceWhenTheBoxCannotGrowAndKeepWhatItHolds()
    {
        FormRig rig;
        rig.comm.feed("kept\r\n");
        QTRY_VERIFY(!rig.shown().isEmpty());
        emit rig.form.Text2->full();
        QVERIFY(rig.dialogs.messages.isEmpty()); // not from inside the append that failed
        QTRY_COMPARE(rig.dialogs.messages.size(), 1);
        QVERIFY(rig.dialogs.messages[0].startsWith(QLatin1String("ERROR: The receive box cannot hold any more")));
        QCOMPARE(rig.shown(), QByteArray("kept\r\n"));
    }

    void shouldPaintTheFirstLineAtOnceAndTheRestSoonAfter()
    {
        FormRig rig;
        ReceiveBox *box = rig.form.Text2;
        rig.form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&rig.form));
        int paints = 0;
        PaintCounter counter(box->viewport(), &paints);
        box->append(u"first\r\n");
        QCoreApplication::sendPostedEvents(); // no timer needs to run first
        QCOMPARE(paints, 1);
        box->append(u"second\r\n"); // within the pacing interval: waits for a shared paint
        box->append(u"third\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(paints >= 2, 1000);
        QCOMPARE(rig.shown(), QByteArray("first\r\nsecond\r\nthird\r\n"));
    }
};

QTEST_MAIN(TestReception)
#include "tst_reception.moc"
