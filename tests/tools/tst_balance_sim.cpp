#include "Sim.h"
#include "serial/SerialComm.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using namespace ondril;

namespace {
// Sends a command and gathers what comes back until `lines` line ends arrived.
QString ask(SerialComm &comm, const char *command, int lines = 1, int timeoutMs = 5000)
{
    QString got;
    comm.setOutput(QString::fromLatin1(command));
    (void)QTest::qWaitFor([&] {
        got += comm.input();
        return got.count(QLatin1String("\r\n")) >= lines;
    }, timeoutMs);
    return got;
}
} // namespace

class TestBalanceSim : public QObject {
    Q_OBJECT
private slots:
    void shouldAnswerPrintAtItsOwnSpeed()
    {
        Sim sim({"--baud", "9600"});
        QVERIFY(sim.path().startsWith("/dev/pts/"));
        SerialComm comm(PortMap::fromList(sim.path()));
        QVERIFY(comm.setSettings("9600,n,8,1"));
        QVERIFY(comm.setPortOpen(true));
        QVERIFY(QRegularExpression("^     \\+  15\\d\\.\\d\\d g\\r\\n$")
                    .match(ask(comm, "\x1bp")).hasMatch());

        // Closed and reopened by the program: the balance is still there.
        QVERIFY(comm.setPortOpen(false));
        QVERIFY(comm.setPortOpen(true));
        QVERIFY(ask(comm, "\x1bp").endsWith(" g\r\n"));

        // At another speed the reply is garbled, but still ends its line.
        QVERIFY(comm.setPortOpen(false));
        QVERIFY(comm.setSettings("2400,n,8,1"));
        QVERIFY(comm.setPortOpen(true));
        const QString garbled = ask(comm, "\x1bp");
        QVERIFY(garbled.endsWith("\r\n"));
        QVERIFY(!garbled.contains(" g\r\n"));
    }

    void shouldSendRepliesInPieces()
    {
        Sim sim({"--chunk", "4", "--chunk-gap", "30"});
        SerialComm comm(PortMap::fromList(sim.path()));
        QVERIFY(comm.setSettings("600,n,8,1"));
        QVERIFY(comm.setPortOpen(true));
        comm.setOutput("\x1bp");
        QList<int> reads;
        QString got;
        (void)QTest::qWaitFor([&] {
            const QString part = comm.input();
            if (!part.isEmpty())
                reads << part.size();
            got += part;
            return got.endsWith("\r\n");
        }, 5000);
        QVERIFY2(reads.size() >= 3, qPrintable(got));
        for (int n : reads)
            QVERIFY(n <= 8);
    }

    void shouldStreamUnasked()
    {
        Sim sim({"--stream", "50"});
        SerialComm comm(PortMap::fromList(sim.path()));
        QVERIFY(comm.setSettings("600,n,8,1"));
        QVERIFY(comm.setPortOpen(true));
        QString got;
        QVERIFY(QTest::qWaitFor([&] {
            got += comm.input();
            return got.count("\r\n") >= 3;
        }, 5000));
    }

    void shouldEndCleanlyAndRemoveItsLink()
    {
        QTemporaryDir dir;
        const QString link = dir.filePath("ttyBalance");
        QProcess proc;
        proc.start(qEnvironmentVariable("BALANCE_SIM"), {"--link", link});
        QVERIFY(proc.waitForReadyRead(5000));
        const QString path = QString::fromLocal8Bit(proc.readLine()).trimmed();
        QCOMPARE(QFileInfo(link).symLinkTarget(), path);
        proc.terminate();
        QVERIFY(proc.waitForFinished(5000));
        QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
        QCOMPARE(proc.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(link) && !QFileInfo(link).isSymLink());
    }

    void shouldRefuseBadOptions()
    {
        QProcess proc;
        proc.start(qEnvironmentVariable("BALANCE_SIM"), {"--baud", "fast"});
        QVERIFY(proc.waitForFinished(5000));
        QCOMPARE(proc.exitCode(), 2);
        QVERIFY(proc.readAllStandardError().contains("bad value for --baud"));
    }
};

QTEST_GUILESS_MAIN(TestBalanceSim)
#include "tst_balance_sim.moc"
