#include "FakeComm.h"
#include "FormRig.h"
#include "PtyRig.h"
#include "linesettings/ScanVerdict.h"
#include "link/LinkWindow.h"
#include "link/LoopbackTest.h"

#include <QCheckBox>
#include <QDateTime>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtTest>

using namespace ondril;

Q_DECLARE_METATYPE(ondril::LoopbackResult)
Q_DECLARE_METATYPE(ondril::ScanObservations)

namespace {

// The far end's lines and counts, as the preloaded port double reads them.
void writeFarSide(const QString &path, const QByteArray &text)
{
    QSaveFile file(path); // replaced whole, as the double expects
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(text);
    QVERIFY(file.commit());
}

QString labelText(QWidget *window, const char *name)
{
    auto *label = window->findChild<QLabel *>(QLatin1String(name));
    return label ? label->text() : QString();
}

// When the log says a line changed: its wall-clock time of day.
QTime loggedAt(const QString &log, const QString &what)
{
    const QRegularExpression line(QStringLiteral("^(\\d\\d:\\d\\d:\\d\\d\\.\\d\\d\\d)  %1$").arg(what),
                                  QRegularExpression::MultilineOption);
    const QRegularExpressionMatch m = line.match(log);
    return m.hasMatch() ? QTime::fromString(m.captured(1), QStringLiteral("HH:mm:ss.zzz")) : QTime();
}

} // namespace

class TestLink : public QObject {
    Q_OBJECT
private slots:
    // Scripted plugs, from a good one to a broken adapter; each ends in one
    // verdict, and the port has its settings and lines back.
    void shouldJudgeTheLoopback_data()
    {
        QTest::addColumn<bool>("echoes");
        QTest::addColumn<bool>("ctsWired");
        QTest::addColumn<bool>("garblesAt9600");
        QTest::addColumn<bool>("reportsLines");
        QTest::addColumn<bool>("talks"); // a balance still on the port
        QTest::addColumn<bool>("refusesEven");
        QTest::addColumn<QString>("verdict");
        QTest::newRow("all good") << true << true << false << true << false << false
                                  << "port and adapter carry data at every speed; RTS→CTS works; DTR→DSR/DCD works";
        QTest::newRow("RX dead") << false << true << false << true << false << false
                                 << "nothing came back at any setting: join pins 2 and 3 (RX and TX), 7 and 8 (RTS "
                                    "and CTS), and 4, 6 and 1 (DTR, DSR and DCD) on the port's DB9 plug, or the "
                                    "adapter does not receive; RTS→CTS works; DTR→DSR/DCD works";
        QTest::newRow("CTS not wired") << true << false << false << true << false << false
                                       << "port and adapter carry data at every speed; RTS→CTS does not; "
                                          "DTR→DSR/DCD works";
        QTest::newRow("garbled at 9600 only")
            << true << true << true << true << false << false
            << "port and adapter carry data, but bytes come back lost or changed at 9600; RTS→CTS works; "
               "DTR→DSR/DCD works";
        QTest::newRow("an adapter without lines")
            << true << true << false << false << false << false
            << "port and adapter carry data at every speed; the control lines are not reported by this adapter";
        QTest::newRow("a port that refuses even parity")
            << true << true << false << true << false << true
            << "port and adapter carry data at every speed (the port refuses 7E1); RTS→CTS works; DTR→DSR/DCD works";
        QTest::newRow("a balance left on the port")
            << true << true << false << true << true << false
            << "more came back than was sent: something on the port sends of its own (a balance still plugged in?), "
               "so the test cannot tell; RTS→CTS works; DTR→DSR/DCD works";
    }
    void shouldJudgeTheLoopback()
    {
        QFETCH(bool, echoes);
        QFETCH(bool, ctsWired);
        QFETCH(bool, garblesAt9600);
        QFETCH(bool, reportsLines);
        QFETCH(bool, talks);
        QFETCH(bool, refusesEven);
        QFETCH(QString, verdict);
        FakeComm comm;
        QVERIFY(comm.setSettings(QStringLiteral("2400,o,7,1")));
        if (refusesEven)
            comm.refusedParity = 'e';
        QVERIFY(comm.setPortOpen(true));
        if (reportsLines)
            comm.lines = ControlLines{true, true, true, false, true, true};
        comm.onLinesSet = [&] {
            comm.lines->cts = ctsWired && comm.lines->rts;
            comm.lines->dsr = comm.lines->dcd = comm.lines->dtr;
        };
        comm.onWrite = [&](const QByteArray &bytes) {
            if (!echoes)
                return;
            QByteArray back = bytes;
            if (garblesAt9600 && comm.openedLine.baud == 9600)
                back[back.size() / 2] = char(back[back.size() / 2] ^ 0x10);
            if (talks)
                back += "     +  152.37 g\r\n";
            QTimer::singleShot(1, &comm, [&comm, back] { comm.feed(back); });
        };
        LoopbackTest test(&comm, {4800, 9600});
        QSignalSpy done(&test, &LoopbackTest::finished);
        test.start();
        QVERIFY(done.wait(15000));
        const auto result = done.at(0).at(0).value<LoopbackResult>();
        QCOMPARE(loopbackVerdict(result), verdict);
        QCOMPARE(result.settings.size(), 6);
        QCOMPARE(result.settings.at(3).sent, 256); // every byte value at 9600 8N1
        QCOMPARE(comm.line().text(), QStringLiteral("2400,o,7,1"));
        if (reportsLines) {
            QVERIFY(comm.lines->rts && comm.lines->dtr);
        }
    }

    // The port is the main window's again after the self-test; the device
    // lost midway ends it without a verdict, logged when it happened.
    void shouldGiveThePortBackAfterTheSelfTest()
    {
        FormRig rig;
        rig.comm.lines = ControlLines{true, true, true, false, true, true};
        const QByteArray reading("     +  152.37 g\r\n");
        rig.comm.onWrite = [&](const QByteArray &bytes) {
            const QByteArray back = bytes == "\x1bp" ? reading : bytes; // PRINT, or a plug
            QTimer::singleShot(1, &rig.comm, [&rig, back] { rig.comm.feed(back); });
        };
        LinkWindow window(&rig.form, [] { return QString(); });
        QSignalSpy ended(&window, &LinkWindow::selfTestFinished);
        QVERIFY(window.runSelfTest());
        QVERIFY(ended.wait(15000));
        QVERIFY(ended.at(0).at(0).toString().startsWith(QLatin1String("Port and adapter carry data at every speed")));
        rig.form.Command2->click(); // PRINT
        QTRY_COMPARE(rig.shown(), reading);

        QVERIFY(window.runSelfTest());
        QTest::qWait(300);
        rig.comm.failDevice(QStringLiteral("the device was removed"));
        QTRY_COMPARE(ended.size(), 2);
        QCOMPARE(ended.at(1).at(0).toString(), QStringLiteral("The self-test stopped: the device was removed."));
        const QString log = window.changeLog();
        QVERIFY2(log.indexOf(QLatin1String("COM 1 lost: the device was removed"))
                     < log.indexOf(QLatin1String("Self-test stopped")),
                 qPrintable(log));
    }

    // What the port saw during a scan that found nothing, to one likely cause.
    void shouldNameTheLikelyCauseOfAFailedScan_data()
    {
        using Heard = ScanObservations::Heard;
        LineSettings at9600;
        LineSettings::parse(QStringLiteral("9600,n,8,1"), &at9600);
        const ControlLines low{};
        const ControlLines dsrHigh{false, true, false, false, true, true};
        QTest::addColumn<ScanObservations>("seen");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("saw");
        QTest::newRow("silent, lines low")
            << ScanObservations{{}, LineCounts{}, low, Handshaking::None}
            << "nothing powered at the other end" << "no byte at any setting; 0 framing and 0 parity errors; DSR low, CTS low";
        QTest::newRow("silent, a device there")
            << ScanObservations{{}, LineCounts{}, dsrHigh, Handshaking::None}
            << "the cable's data wires: a device is there (DSR high)" << "DSR high, CTS low";
        QTest::newRow("garbled everywhere")
            << ScanObservations{{Heard{at9600, 40, true}}, LineCounts{30, 2, 0, 0, 0}, dsrHigh, Handshaking::None}
            << "sends at a speed or framing not tried here" << "40 bytes, at 9600 8N1; 30 framing and 2 parity errors";
        QTest::newRow("clean bytes, no reading")
            << ScanObservations{{Heard{at9600, 12, false}}, LineCounts{}, dsrHigh, Handshaking::None}
            << "something sends, but never a reading" << "12 bytes, at 9600 8N1";
        QTest::newRow("handshake, CTS never rose")
            << ScanObservations{{}, LineCounts{}, dsrHigh, Handshaking::Rts}
            << "the handshake. It is set to RTS/CTS here, and CTS never rose" << "handshake RTS/CTS";
        QTest::newRow("an adapter that tells nothing")
            << ScanObservations{{}, std::nullopt, std::nullopt, Handshaking::None}
            << "does not report its control lines. Try: Tools > Link check"
            << "errors not reported by this adapter; lines not reported by this adapter";
    }
    void shouldNameTheLikelyCauseOfAFailedScan()
    {
        QFETCH(ScanObservations, seen);
        QFETCH(QString, cause);
        QFETCH(QString, saw);
        const QString verdict = failedScanVerdict(seen);
        QVERIFY2(verdict.contains(cause), qPrintable(verdict));
        QVERIFY2(verdict.contains(saw), qPrintable(verdict));
    }

    // Through the preloaded double: what the far end does reaches the window
    // in order, timed when it happened; the counts; an adapter that reports
    // nothing; the port closed and opened again; DTR and a break sent.
    void shouldShowTheLinkAsThePortSeesIt()
    {
        if (!qEnvironmentVariable("LD_PRELOAD").contains(QLatin1String("pty-as-serial")))
            QSKIP("needs the control-line double preloaded");
        QTemporaryDir dir;
        const QString far = dir.filePath(QStringLiteral("lines"));
        writeFarSide(far, "modem=none icount=none");
        qputenv("ONDRIL_LINE_FILE", far.toLocal8Bit());
        PtyRig rig;
        QVERIFY(rig.loaded);
        LinkWindow window(&rig.form, [] { return QString(); });
        window.show();
        QCOMPARE(labelText(&window, "CTS"), QStringLiteral("not reported by this adapter"));
        QCOMPARE(labelText(&window, "Framing"), QStringLiteral("not reported by this adapter"));

        // The adapter is plugged in anew: the window follows the reopen.
        writeFarSide(far, "cts=0 dsr=0 dcd=0 ri=0");
        QVERIFY(rig.comm.setPortOpen(false));
        QVERIFY(rig.comm.setPortOpen(true));
        QTRY_COMPARE(labelText(&window, "CTS"), QStringLiteral("low"));

        const QTime ctsAt = QTime::currentTime();
        writeFarSide(far, "cts=1 dsr=0");
        QTRY_VERIFY(window.changeLog().contains(QLatin1String("CTS high")));
        const QTime dsrAt = QTime::currentTime();
        writeFarSide(far, "cts=1 dsr=1 ri=1 frame=7 parity=2 overrun=1 buf_overrun=3 brk=1");
        QTRY_VERIFY(window.changeLog().contains(QLatin1String("RI high")));
        const QString log = window.changeLog();
        QVERIFY2(log.indexOf(QLatin1String("CTS high")) < log.indexOf(QLatin1String("DSR high")), qPrintable(log));
        QVERIFY(qAbs(loggedAt(log, QStringLiteral("CTS high")).msecsTo(ctsAt)) < 1000);
        QVERIFY(qAbs(loggedAt(log, QStringLiteral("DSR high")).msecsTo(dsrAt)) < 1000);
        QVERIFY(loggedAt(log, QStringLiteral("CTS high")) <= loggedAt(log, QStringLiteral("DSR high")));
        QCOMPARE(labelText(&window, "DSR"), QStringLiteral("high"));
        QTRY_COMPARE(labelText(&window, "Framing"), QStringLiteral("7"));
        QCOMPARE(labelText(&window, "Parity"), QStringLiteral("2"));
        QCOMPARE(labelText(&window, "Overrun"), QStringLiteral("1"));
        QCOMPARE(labelText(&window, "Buffer overrun"), QStringLiteral("3"));
        QVERIFY(labelText(&window, "breaks").contains(QLatin1String("received: 1")));

        // A stream at the wrong speed: the count climbs, and the window says so.
        QTimer climb;
        int frame = 7;
        connect(&climb, &QTimer::timeout, [&] { writeFarSide(far, "cts=1 dsr=1 frame=" + QByteArray::number(frame += 9)); });
        climb.start(60);
        QTRY_VERIFY(labelText(&window, "countWords").contains(QLatin1String("climbing")));
        climb.stop();

        // Ours: DTR dropped and a break sent reach the port.
        window.findChild<QCheckBox *>(QStringLiteral("DTR"))->click();
        QTRY_VERIFY(window.changeLog().contains(QLatin1String("DTR low")));
        window.findChild<QPushButton *>(QStringLiteral("sendBreak"))->click();
        QFile host(far + QStringLiteral(".host"));
        QVERIFY(host.open(QIODevice::ReadOnly));
        const QByteArray ours = host.readAll();
        QVERIFY2(ours.contains("dtr=0") && ours.contains("breaks=1"), ours.constData());
        QVERIFY(labelText(&window, "breaks").contains(QLatin1String("Breaks sent: 1")));

        // The device gone: said, and the lines no longer shown as they were.
        rig.pty.closeMaster();
        QTRY_VERIFY(window.changeLog().contains(QLatin1String("lost")));
        QVERIFY(labelText(&window, "linkPort").contains(QLatin1String("is closed")));
        QCOMPARE(labelText(&window, "CTS"), QStringLiteral("—"));
    }
};

QTEST_MAIN(TestLink)
#include "tst_link.moc"
