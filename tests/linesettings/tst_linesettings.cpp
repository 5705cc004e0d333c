#include "Application.h"
#include "Balance.h"
#include "FakeComm.h"
#include "FormRig.h"
#include "Framing.h"
#include "linesettings/GarbleHint.h"
#include "linesettings/LineSettingsMenu.h"
#include "linesettings/LinkScan.h"
#include "Pty.h"
#include "receivebox/ReceiveBox.h"
#include "serial/SerialComm.h"
#include "Sim.h"
#include "window/KeptChoices.h"

#include <QComboBox>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QtTest>

#include <optional>

using namespace ondril;

Q_DECLARE_METATYPE(std::optional<ondril::ScanFinding>)

namespace {

// A loaded window whose COM 1 is the balance simulator, with the tools menu.
struct SimRig {
    explicit SimRig(const QStringList &simArgs) : sim(simArgs), comm(PortMap::fromList(sim.path())) {}
    Sim sim;
    SerialComm comm;
    ScriptedDialogs dialogs;
    Form1 form{&comm, &dialogs};
    bool loaded = form.Form_Load();
    LineSettingsMenu menu{&form, &dialogs, toolsMenu(&form)};
};

LineSettings framed(const char *name, qint32 baud = 600, Handshaking h = Handshaking::None)
{
    LineSettings s;
    LineSettings::parse(QStringLiteral("%1,%2,%3,%4").arg(baud).arg(QChar(name[1]).toLower()).arg(name[0]).arg(name[2]), &s);
    s.handshaking = h;
    return s;
}

bool sameLine(const LineSettings &a, const LineSettings &b)
{
    return a.baud == b.baud && a.sameFraming(b) && a.handshaking == b.handshaking;
}

std::optional<ScanFinding> runScan(SimRig &rig, int cancelAfterTries = 0)
{
    QSignalSpy done(&rig.menu, &LineSettingsMenu::scanFinished);
    if (!rig.menu.findSettings())
        return std::nullopt;
    if (cancelAfterTries > 0) {
        QObject::connect(rig.menu.scan(), &LinkScan::trying, rig.menu.progress(), [&rig, cancelAfterTries] {
            if (rig.menu.scan()->plan().made() > cancelAfterTries)
                rig.menu.progress()->cancel();
        });
    }
    if (!done.wait(60000))
        return std::nullopt;
    return done.at(0).at(0).value<std::optional<ScanFinding>>();
}

QByteArray repeated(const std::string &line, int times)
{
    return QByteArray::fromStdString(line).repeated(times);
}

} // namespace

class TestLineSettings : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QFile::remove(keptChoices()->fileName()); }
    void cleanup() { QFile::remove(keptChoices()->fileName()); }

    void shouldFindTheBalancesSettings_data()
    {
        QTest::addColumn<QStringList>("simArgs");
        QTest::addColumn<QString>("found"); // "" when nothing answers
        QTest::addColumn<QString>("remembered"); // a framing remembered before
        QTest::addColumn<QString>("asked");      // how the notice says it is asked
        const QString esc = QStringLiteral("asked with ESC p");
        QTest::newRow("9600 8N1") << QStringList{"--baud", "9600"} << "9600,n,8,1" << "" << esc;
        QTest::newRow("1200 7O1") << QStringList{"--baud", "1200", "--framing", "7O1"} << "1200,o,7,1" << "" << esc;
        QTest::newRow("2400 7E1") << QStringList{"--baud", "2400", "--framing", "7E1"} << "2400,e,7,1" << "" << esc;
        QTest::newRow("9600 8N1, 7E1 remembered") << QStringList{"--baud", "9600"} << "9600,n,8,1" << "7E1" << esc;
        QTest::newRow("words, 1200 7O1, deaf to other settings")
            << QStringList{"--commands", "word-crlf", "--baud", "1200", "--framing", "7O1", "--strict"} << "1200,o,7,1"
            << "" << "asked with SI CR LF";
        QTest::newRow("letters, 4800 7E1")
            << QStringList{"--commands", "letter-crlf", "--baud", "4800", "--framing", "7E1"} << "4800,e,7,1" << ""
            << "asked with Q CR LF";
        QTest::newRow("words, in the ESC family's shape")
            << QStringList{"--commands", "word-crlf", "--format", "sign", "--baud", "2400"} << "2400,n,8,1" << ""
            << "asked with SI CR LF";
        QTest::newRow("streams, 2400 7E1, asked nothing")
            << QStringList{"--stream", "200", "--drop", "1", "--paced", "--baud", "2400", "--framing", "7E1"}
            << "2400,e,7,1" << "" << "streams";
        QTest::newRow("every second reply dropped")
            << QStringList{"--drop", "2", "--strict", "--baud", "2400", "--framing", "7O1"} << "2400,o,7,1" << "" << esc;
        // A pseudo-terminal reports no lines: the verdict says what to try.
        QTest::newRow("nothing answers") << QStringList{"--baud", "1200", "--drop", "1"} << "" << ""
                                         << "Most likely: the cable or the balance's interface";
    }
    void shouldFindTheBalancesSettings()
    {
        QFETCH(QStringList, simArgs);
        QFETCH(QString, found);
        QFETCH(QString, remembered);
        QFETCH(QString, asked);
        SimRig rig(simArgs);
        QVERIFY(rig.loaded);
        QVERIFY(!rig.form.isCycleRunning());
        if (!remembered.isEmpty())
            QVERIFY(rig.menu.apply(framed(qPrintable(remembered)), true));
        const std::optional<ScanFinding> result = runScan(rig);
        QCOMPARE(result.has_value(), !found.isEmpty());
        // Found: as if picked; nothing found: back where it was. Reception
        // is armed again either way, and no reply of the scan is shown.
        const QString now = found.isEmpty() ? QStringLiteral("600,n,8,1") : found;
        QCOMPARE(rig.comm.settings(), now);
        QCOMPARE(rig.form.Combo2->currentText(), now.section(',', 0, 0));
        QVERIFY(rig.comm.portOpen());
        QCOMPARE(rig.comm.rThreshold(), qint16(1));
        QCOMPARE(rig.form.CommLoopStop, qint16(0));
        QCOMPARE(rig.form.Text2->text(), QString());
        QCOMPARE(rig.dialogs.notices.size(), 1);
        QVERIFY2(rig.dialogs.notices[0].contains(asked), qPrintable(rig.dialogs.notices[0]));
        QVERIFY(rig.dialogs.notices[0].contains(QLatin1String("No balance answered")) == found.isEmpty());
        if (found.isEmpty())
            return;
        if (result->streams()) { // offered, and taken: every line of the stream is kept
            QCOMPARE(rig.dialogs.offers.size(), 1);
            rig.dialogs.offers[0]();
            QVERIFY(rig.form.keepsEveryLine());
            QVERIFY(QTest::qWaitFor([&] { return rig.form.Text2->text().count(" g\r\n") >= 3; }, 5000));
            return;
        }
        // What the scan found replaces settings remembered before it.
        if (!remembered.isEmpty())
            QCOMPARE(keptChoices()->value("line/framing").toString(), found.section(',', 1));
        if (!result->request.startsWith('\x1b')) {
            QVERIFY(rig.form.sendBytes(result->request)); // as the Send window would
            QVERIFY(QTest::qWaitFor([&] { return rig.form.Text2->text().endsWith(" g\r\n"); }, 5000));
            return;
        }
        rig.form.Command2->click(); // PRINT, readable, asked again when the balance lets it go
        if (!QTest::qWaitFor([&] { return rig.form.Text2->text().endsWith(" g\r\n"); }, 3000))
            rig.form.Command2->click();
        QVERIFY(QTest::qWaitFor([&] { return rig.form.Text2->text().endsWith(" g\r\n"); }, 5000));
        QVERIFY(QRegularExpression("^\\s+\\+\\s+15\\d\\.\\d\\d g\\r\\n$").match(rig.form.Text2->text()).hasMatch());
    }

    void shouldPutTheFormerSettingsBackOnCancel()
    {
        SimRig rig({"--drop", "1"});
        QVERIFY(rig.loaded);
        const LineSettings former = framed("7E2", 600, Handshaking::Rts);
        QVERIFY(rig.menu.apply(former, false));
        const std::optional<ScanFinding> result = runScan(rig, 2);
        QVERIFY(!result);
        QVERIFY(sameLine(rig.comm.line(), former));
        QCOMPARE(rig.form.Combo2->currentText(), QStringLiteral("600"));
        QVERIFY(rig.dialogs.notices.isEmpty()); // the operator knows
        QVERIFY(rig.comm.portOpen());
    }

    // The balance's device goes away during the scan: the loss is told, and
    // no "nothing answered" with a port said to be back where it was.
    void shouldTellOnlyTheLossWhenThePortGoesAway()
    {
        SimRig rig({"--drop", "1"});
        QVERIFY(rig.loaded);
        QSignalSpy done(&rig.menu, &LineSettingsMenu::scanFinished);
        QVERIFY(rig.menu.findSettings());
        QTest::qWait(1200);
        rig.sim.process().kill();
        QVERIFY(done.wait(10000));
        QVERIFY(!done.at(0).at(0).value<std::optional<ScanFinding>>());
        QTRY_VERIFY(!rig.dialogs.messages.isEmpty() || !rig.dialogs.notices.isEmpty());
        for (const QString &said : rig.dialogs.notices + rig.dialogs.messages)
            QVERIFY2(!said.contains("No balance answered"), qPrintable(said));
    }

    void shouldKeepTheFramingOnASpeedPick()
    {
        FormRig rig;
        LineSettingsMenu menu(&rig.form, &rig.dialogs, toolsMenu(&rig.form));
        QVERIFY(menu.apply(framed("7O1", 600, Handshaking::XonXoff), false));
        QVERIFY(sameLine(rig.comm.openedLine, framed("7O1", 600, Handshaking::XonXoff))); // at once
        rig.form.Combo2_Click(1);
        QVERIFY(sameLine(rig.comm.openedLine, framed("7O1", 1200, Handshaking::XonXoff)));
        QCOMPARE(rig.comm.settings(), QStringLiteral("1200,o,7,1"));
        // Seen without opening the dialog.
        QVERIFY(rig.form.Combo2->toolTip().contains("7 data bits, odd parity, 1 stop bit, handshake XON/XOFF"));
        auto *action = rig.form.menuBar()->findChild<QAction *>(QStringLiteral("lineSettingsAction"));
        QCOMPARE(action->text(), QStringLiteral("Line &settings (7O1, XON/XOFF)…"));
        QVERIFY(menu.apply(framed("8N1", 1200), false));
        QCOMPARE(rig.form.Combo2->toolTip(), QString());
        QCOMPARE(action->text(), QStringLiteral("Line &settings…"));
    }

    void shouldRememberOnlyWhenTicked_data()
    {
        QTest::addColumn<bool>("remember");
        QTest::newRow("ticked") << true;
        QTest::newRow("not ticked") << false;
    }
    void shouldRememberOnlyWhenTicked()
    {
        QFETCH(bool, remember);
        const LineSettings chosen = framed("7E2", 600, Handshaking::Rts);
        {
            FormRig first;
            LineSettingsMenu menu(&first.form, &first.dialogs, toolsMenu(&first.form));
            menu.restore();
            QVERIFY(sameLine(first.comm.line(), framed("8N1")));
            QVERIFY(menu.apply(chosen, remember));
        }
        QCOMPARE(QFile::exists(keptChoices()->fileName()), remember);
        FormRig next; // the next run
        LineSettingsMenu menu(&next.form, &next.dialogs, toolsMenu(&next.form));
        menu.restore();
        QVERIFY(sameLine(next.comm.line(), remember ? chosen : framed("8N1")));
        QVERIFY(sameLine(next.comm.openedLine, next.comm.line()));
        QVERIFY(menu.apply(chosen, false)); // unticked: forgotten
        QVERIFY(!LineSettingsMenu::isRemembered());
    }

    void shouldRefuseASettingTheDeviceRefuses()
    {
        FormRig rig;
        rig.comm.refusedParity = 'm';
        LineSettingsMenu menu(&rig.form, &rig.dialogs, toolsMenu(&rig.form));
        QVERIFY(!menu.apply(framed("7M1"), true));
        QVERIFY(sameLine(rig.comm.line(), framed("8N1")));
        QVERIFY(sameLine(rig.comm.openedLine, framed("8N1")));
        QCOMPARE(rig.dialogs.messages.size(), 1);
        QVERIFY(rig.dialogs.messages[0].contains("does not take 7M1"));
        QVERIFY(rig.dialogs.details[0].contains("Unsupported parity"));
        QVERIFY(!LineSettingsMenu::isRemembered());
        QVERIFY(!rig.comm.setSettings(QStringLiteral("1200,q,7,1"))); // from code: refused, unchanged
        QCOMPARE(rig.comm.settings(), QStringLiteral("600,n,8,1"));
    }

    void shouldHintOnceAfterGarbledReplies_data()
    {
        const std::string reading = "     +  152.37 g\r\n";
        const auto as = [&](const char *sent, const char *read) {
            Framing s, r;
            parseFraming(sent, &s);
            parseFraming(read, &r);
            return reframe(reading, s, r);
        };
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("hint");
        QTest::newRow("readable") << repeated(reading, 5) << false;
        QTest::newRow("7O1 read as 8N1") << repeated(as("7O1", "8N1"), 3) << true;
        QTest::newRow("7E1 read as 8N1") << repeated(as("7E1", "8N1"), 3) << true;
        QTest::newRow("8N1 read as 7E1: reads right") << repeated(as("8N1", "7E1"), 5) << false;
        QTest::newRow("another speed") << repeated(garble(reading, 3), 3) << true;
        QTest::newRow("two, then a good one")
            << repeated(as("7O1", "8N1"), 2) + QByteArray::fromStdString(reading) + repeated(as("7O1", "8N1"), 2) << false;
        QTest::newRow("a unit above 127") << QByteArray("     +  152.37 \xb5g\r\n").repeated(5) << false;
    }
    void shouldHintOnceAfterGarbledReplies()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, hint);
        FormRig rig;
        LineSettingsMenu menu(&rig.form, &rig.dialogs, toolsMenu(&rig.form));
        // Read as the line collector reads, which would wait here for a line
        // end that does not come.
        rig.comm.setRThreshold(0);
        rig.comm.feed(bytes);
        rig.comm.input();
        QCOMPARE(rig.dialogs.notices.size(), int(hint));
        if (hint) {
            QVERIFY(rig.dialogs.notices[0].contains("Find the balance's settings"));
            rig.comm.feed(bytes);
            rig.comm.input();
            QCOMPARE(rig.dialogs.notices.size(), 1); // once
        }
    }

    // A real port at 8N1 reads an 8E1 balance's bytes whole wherever the
    // parity bit, taken for the stop bit, is 1; the rest are framing errors,
    // which the driver counts, or marks once asked to.
    void shouldTellFramingsApartByLineErrors_data()
    {
        QTest::addColumn<bool>("counted");
        QTest::newRow("errors counted") << true;
        QTest::newRow("errors marked") << false;
    }
    void shouldTellFramingsApartByLineErrors()
    {
        QFETCH(bool, counted);
        FakeComm comm;
        QVERIFY(comm.setSettings(QStringLiteral("9600,n,8,1")));
        QVERIFY(comm.setPortOpen(true));
        const QByteArray reading("     +  152.37 g\r\n");
        comm.onWrite = [&](const QByteArray &) {
            const LineSettings at = comm.openedLine;
            if (at.baud != 9600 || at.dataBits != 8 || at.stopBitsTimesTwo != 2 || (at.parity != 'e' && at.parity != 'n'))
                return; // nothing readable
            QByteArray read = reading;
            if (at.parity == 'n')
                for (char &c : read)
                    if (qPopulationCount(quint8(c)) % 2 == 0) { // even parity bit 0: no stop bit
                        if (counted)
                            ++comm.counts->framing;
                        else if (comm.errorsMarked())
                            c = '\0';
                    }
            QTimer::singleShot(0, &comm, [&comm, read] { comm.feed(read); });
        };
        LinkScan scan(&comm, {9600});
        QSignalSpy done(&scan, &LinkScan::finished);
        scan.start();
        QVERIFY(done.wait(10000));
        const auto found = done.at(0).at(0).value<std::optional<ScanFinding>>();
        QVERIFY(found);
        QCOMPARE(found->line.text(), QStringLiteral("9600,e,8,1"));
        QVERIFY(!comm.errorsMarked()); // the receive box shows what arrives again
    }

    void shouldReportAHeldBackWriteOnceAndGoOn()
    {
        Pty pty;
        SerialComm comm(PortMap::fromList(pty.path()));
        QVERIFY(comm.setPortOpen(true));
        QVERIFY(comm.setHandshaking(Handshaking::XonXoff));
        QSignalSpy stalled(&comm, &MSComm::outputStalled);
        QSignalSpy lost(&comm, &MSComm::deviceLost);
        QVERIFY(pty.send("\x13")); // XOFF: the balance holds us back
        QTest::qWait(50);
        QVERIFY(comm.setOutput(QStringLiteral("\x1bp")));
        QVERIFY(comm.setOutput(QStringLiteral("\x1bp")));
        QVERIFY(stalled.wait(3000));
        QVERIFY(stalled.at(0).at(0).toString().contains("XON/XOFF"));
        QVERIFY(comm.setOutput(QStringLiteral("\x1bt")));
        QTest::qWait(1300);
        QCOMPARE(stalled.count(), 1);
        QVERIFY(pty.send("\x11")); // XON: it all goes out
        QByteArray sent;
        QVERIFY(QTest::qWaitFor([&] { return (sent += pty.receive(6 - int(sent.size()), 1)).size() >= 6; }, 3000));
        QCOMPARE(sent, QByteArray("\x1bp\x1bp\x1bt"));
        QVERIFY(comm.portOpen());
        QCOMPARE(lost.count(), 0);
    }
};

QTEST_MAIN(TestLineSettings)
#include "tst_linesettings.moc"
