#include "Pty.h"
#include "serial/SerialComm.h"

#include <QSignalSpy>
#include <QtTest>

#include <sys/resource.h>

using namespace ondril;

namespace {

QByteArray allBytes()
{
    QByteArray b;
    for (int i = 0; i < 256; ++i)
        b.append(char(i));
    return b;
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// A comm control opened on COM 1 = the pseudo-terminal.
struct Line {
    Pty pty;
    SerialComm comm{PortMap::fromList(pty.path())};
    bool open(const QString &settings = QStringLiteral("600,n,8,1"))
    {
        return comm.setSettings(settings) && comm.setCommPort(1) && comm.setPortOpen(true);
    }
    // What arrived on the port, gathered through the event loop.
    QString waitForInput(int count)
    {
        QString got;
        (void)QTest::qWaitFor([&] {
            got += comm.input();
            return got.size() >= count;
        }, 3000);
        return got;
    }
};

} // namespace

class TestSerialComm : public QObject {
    Q_OBJECT
private slots:
    void shouldPutExactlyTheOutputBytesOnTheLine()
    {
        Line line;
        QVERIFY(line.pty.isValid());
        QVERIFY2(line.open(), qPrintable(line.comm.errorString()));
        QVERIFY(line.comm.setOutput(QStringLiteral("\x1bt")));
        QCOMPARE(line.pty.receive(2), QByteArray("\x1bt"));
        QCOMPARE(line.pty.receive(1, 100), QByteArray()); // no terminator, nothing more

        QVERIFY(line.comm.setOutput(QString::fromLatin1(allBytes())));
        QCOMPARE(line.pty.receive(256), allBytes());
    }

    void shouldReturnEveryByteValueReceivedAsOneCharacter()
    {
        Line line;
        QVERIFY(line.open());
        QVERIFY(line.pty.send(allBytes()));
        const QString got = line.waitForInput(256);
        QCOMPARE(got.size(), 256);
        for (int i = 0; i < 256; ++i)
            QCOMPARE(got.at(i).unicode(), ushort(i));
    }

    void shouldNeverBlockOnInput()
    {
        Line line;
        QVERIFY(line.open());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(line.comm.input(), QString());
        QVERIFY(clock.elapsed() < 1000); // would hang forever on a blocking read
    }

    void shouldHonourInputLen()
    {
        Line line;
        QVERIFY(line.open());
        QVERIFY(line.pty.send("abcdef"));
        QVERIFY(QTest::qWaitFor([&] { return line.comm.inBufferCount() == 6; }, 3000));
        line.comm.setInputLen(4);
        QCOMPARE(line.comm.input(), QStringLiteral("abcd"));
        line.comm.setInputLen(0);
        QCOMPARE(line.comm.input(), QStringLiteral("ef"));
    }

    void shouldDiscardWhatWaitsOnInBufferCountZero()
    {
        Line line;
        QVERIFY(line.open());
        QVERIFY(line.pty.send("stale\r\n"));
        QVERIFY(QTest::qWaitFor([&] { return line.comm.inBufferCount() == 7; }, 3000));
        line.comm.setInBufferCount(0);
        QCOMPARE(line.comm.inBufferCount(), qint16(0));
        QCOMPARE(line.comm.input(), QString());
        QVERIFY(line.pty.send("fresh"));
        QCOMPARE(line.waitForInput(5), QStringLiteral("fresh"));

        // What the driver holds and the program has not read yet (no event
        // handled since it came) is thrown away too, and counted.
        QVERIFY(line.pty.send("queued in the driver\r\n"));
        QTest::qSleep(100);
        QCOMPARE(line.comm.waitingBytes(), qint64(22));
        line.comm.setInBufferCount(0);
        QCOMPARE(line.comm.waitingBytes(), qint64(0));
    }

    void shouldRaiseOnCommOnlyWhileArmed()
    {
        Line line;
        QSignalSpy events(&line.comm, &MSComm::OnComm);
        line.comm.setRThreshold(0);
        QVERIFY(line.open());
        QVERIFY(line.pty.send("x"));
        QVERIFY(QTest::qWaitFor([&] { return line.comm.inBufferCount() == 1; }, 3000));
        QTest::qWait(50);
        QCOMPARE(events.count(), 0);

        // Arming with characters waiting raises the event, but from the event
        // loop, not from inside the property write.
        line.comm.setRThreshold(1);
        QCOMPARE(events.count(), 0);
        QVERIFY(events.wait(3000));
        QCOMPARE(line.comm.commEvent(), MSComm::comEvReceive);
        QCOMPARE(line.comm.input(), QStringLiteral("x"));

        QVERIFY(line.pty.send("y"));
        QVERIFY(events.wait(3000));
        QCOMPARE(events.count(), 2);

        // Armed with characters waiting and disarmed again before the event
        // loop runs: the queued event is not delivered.
        line.comm.setRThreshold(0);
        QVERIFY(line.pty.send("z"));
        QVERIFY(QTest::qWaitFor([&] { return line.comm.inBufferCount() >= 2; }, 3000));
        line.comm.setRThreshold(1);
        line.comm.setRThreshold(0);
        QTest::qWait(50);
        QCOMPARE(events.count(), 2);
    }

    void shouldFailToOpenMissingPortsWithAReason()
    {
        SerialComm comm(PortMap::fromList(QStringLiteral(":/nonexistent/ttyQ9")));
        QVERIFY(comm.setCommPort(1));
        QVERIFY(!comm.setPortOpen(true));
        QVERIFY(comm.errorString().contains("COM 1 does not exist"));
        QVERIFY(comm.setCommPort(2));
        QVERIFY(!comm.setPortOpen(true));
        QVERIFY(comm.errorString().contains("/nonexistent/ttyQ9"));
        QVERIFY(!comm.portOpen());
        QVERIFY(!comm.setCommPort(13));
        QVERIFY(!comm.setSettings(QStringLiteral("fast,n,8,1")));
        QVERIFY(!comm.setOutput(QStringLiteral("\x1bp"))); // closed
        QCOMPARE(comm.input(), QString());
        comm.setInBufferCount(0); // harmless while closed
    }

    void shouldApplySettingsAtTheNextOpen()
    {
        Line line;
        QVERIFY(line.open(QStringLiteral("2400,n,8,1")));
        QCOMPARE(line.pty.baud(), 2400);
        QVERIFY(line.comm.setSettings(QStringLiteral("9600,n,8,1")));
        QCOMPARE(line.pty.baud(), 2400);
        QVERIFY(line.comm.setPortOpen(false));
        QVERIFY(line.comm.setPortOpen(true));
        QCOMPARE(line.pty.baud(), 9600);
        QVERIFY(!line.comm.setPortOpen(true)); // already open
        QVERIFY(line.comm.portOpen());
    }

    void shouldCloseOnceAndIdleWhenTheFarSideCloses()
    {
        Line line;
        QVERIFY(line.open());
        line.comm.setRThreshold(1);
        QSignalSpy lost(&line.comm, &MSComm::deviceLost);
        QVERIFY(line.pty.send("half a li"));
        QVERIFY(QTest::qWaitFor([&] { return line.comm.inBufferCount() > 0; }, 3000));
        line.pty.closeMaster();

        QVERIFY(lost.wait(3000));
        QVERIFY(!line.comm.portOpen());
        QVERIFY(lost.at(0).at(0).toString().contains(line.pty.path()));

        // Left alone for half a second, a closed port must not keep the
        // process busy (a spinning notifier takes the whole core).
        const double before = cpuSeconds();
        QTest::qWait(500);
        const double used = cpuSeconds() - before;
        QCOMPARE(lost.count(), 1);
        QVERIFY2(used < 0.25, qPrintable(QStringLiteral("used %1 s of CPU").arg(used)));
        QVERIFY(!line.comm.setOutput(QStringLiteral("\x1bp")));
    }

    void shouldReopenAfterClosing()
    {
        Line line;
        QVERIFY(line.open());
        for (int i = 0; i < 3; ++i) {
            QVERIFY(line.comm.setPortOpen(false));
            QVERIFY(!line.comm.portOpen());
            QVERIFY2(line.comm.setPortOpen(true), qPrintable(line.comm.errorString()));
        }
        QVERIFY(line.comm.setOutput(QStringLiteral("\x1bp")));
        QCOMPARE(line.pty.receive(2), QByteArray("\x1bp"));
    }
};

QTEST_GUILESS_MAIN(TestSerialComm)
#include "tst_serialcomm.moc"
