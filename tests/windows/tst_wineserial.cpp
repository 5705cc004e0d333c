#include "serial/SerialComm.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

using namespace ondril;

// A COM port through Wine's serial layer: COM 1 (ONDRIL_PORTS) is a Windows
// COM port that Wine maps to the balance simulator's pseudo-terminal
// (serial_under_wine.sh sets it up and checks, on the simulator's side, that
// both PRINTs arrived at the settings made here).
class TestWineSerial : public QObject {
    Q_OBJECT
private slots:
    void shouldOpenSetWriteCloseAndOpenAgain()
    {
        SerialComm comm(PortMap::fromEnvironment());
        QVERIFY2(!comm.device().isEmpty(), "ONDRIL_PORTS names no COM port");
        for (int round = 0; round < 2; ++round) {
            QVERIFY2(comm.setPortOpen(true), qPrintable(comm.errorString()));
            LineSettings line = comm.line();
            line.baud = 9600;
            QVERIFY2(comm.setLine(line), qPrintable(comm.errorString()));
            QVERIFY(comm.setOutput(QStringLiteral("\x1bp")));
            // What comes back. Wine raises no "characters received" event for a
            // pseudo-terminal; each read here makes Qt start one of its own.
            QByteArray got;
            QElapsedTimer clock;
            clock.start();
            (void)QTest::qWaitFor([&] { return (got += comm.input().toLatin1()).contains('\n'); }, 2000);
            qInfo("round %d: %lld bytes read back in %lld ms", round + 1, qint64(got.size()), clock.elapsed());
            QVERIFY(comm.setPortOpen(false));
        }
    }
};

QTEST_GUILESS_MAIN(TestWineSerial)
#include "tst_wineserial.moc"
