// The journal: every line on its way to the disk as it comes, a run that
// ended cleanly left alone, a killed one offered back and put first in the
// box, old journals pruned but never another's file, and a full disk told
// once while everything else goes on.
#include "Files.h"
#include "FormRig.h"
#include "Pty.h"
#include "journal/Journal.h"
#include "journal/JournalFile.h"
#include "journal/JournalFolder.h"
#include "journal/JournalMenu.h"
#include "readings/ReadingsCsv.h"
#include "receivebox/ReceiveBox.h"

#include <QAction>
#include <QDir>
#include <QMenu>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

using namespace ondril;


namespace {

// A journal as a run leaves it: `companion` after the header lines.
void leaveJournal(const QString &folder, const QString &base, const QByteArray &text, const QByteArray &companion)
{
    QDir().mkpath(folder);
    put(folder + u'/' + base + QLatin1String(journalTextSuffix), text);
    put(folder + u'/' + base + QLatin1String(journalCompanionSuffix),
              QByteArray(journalMagic) + "\nstarted " + base.left(10).toLatin1() + "T" +
                  base.mid(11, 8).replace(u'-', u':').toLatin1() + "\nport COM " + base.section(u'-', 5, 5).mid(3).toLatin1() + '\n'
            + companion);
}

} // namespace

class TestJournal : public QObject {
    Q_OBJECT
private slots:
    void shouldKeepEveryLineAndEndCleanly()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("state/ondril/journal"));
        {
            Journal journal(folder);
            journal.add("14:03:27      +  152.37 g\r\n", QStringLiteral("COM 3"));
            journal.add("\xff\x01 odd bytes\r\n", QStringLiteral("COM 3"));
            journal.add(QByteArray(1'500'000, 'x') + "\r\n", QStringLiteral("COM 3")); // past the first megabyte
            QVERIFY(journal.path().contains(QStringLiteral("-COM3-")));
            const std::vector<JournalRun> runs = findJournals(folder);
            QCOMPARE(runs.size(), size_t(1));
            QVERIFY(runs[0].running); // locked while its run goes on
            QVERIFY(journalToRecover(folder).text.isEmpty());
        }
        const std::vector<JournalRun> runs = findJournals(folder);
        QCOMPARE(contents(runs[0].text),
                 QByteArray("14:03:27      +  152.37 g\r\n\xff\x01 odd bytes\r\n") + QByteArray(1'500'000, 'x') + "\r\n");
        QVERIFY(runs[0].ended && !runs[0].running);
        QCOMPARE(runs[0].port, QStringLiteral("COM 3"));
        QVERIFY(journalToRecover(folder).text.isEmpty()); // a clean end is not offered
    }

    // A run a crash left is offered until it is recovered, once, newest first.
    void shouldOfferEachRunACrashLeftUntilRecovered_data()
    {
        QTest::addColumn<QByteArray>("olderCompanion");
        QTest::addColumn<QByteArray>("lastText");
        QTest::addColumn<QByteArray>("lastCompanion");
        QTest::addColumn<QString>("offered");
        QTest::addColumn<QByteArray>("back"); // what comes back before this run's lines
        const QByteArray ended("ended 2026-12-07T15:00:00\n");
        QTest::newRow("killed") << ended << QByteArray("a\r\nb\r\nc") << QByteArray()
                                << QStringLiteral("Recover 3 lines from 2026-12-07 14:03") << QByteArray("a\r\nb\r\nc");
        QTest::newRow("ended cleanly") << ended << QByteArray("a\r\n") << ended << QString() << QByteArray();
        QTest::newRow("recovered once") << ended << QByteArray("a\r\n") << QByteArray("recovered 2026-12-07T16:00:00\n")
                                        << QString() << QByteArray();
        QTest::newRow("nothing received") << ended << QByteArray() << QByteArray() << QString() << QByteArray();
        QTest::newRow("killed, then a run that ended cleanly")
            << QByteArray() << QByteArray("a\r\n") << ended << QStringLiteral("Recover 1 line from 2026-12-06 09:00")
            << QByteArray("older\r\n");
    }

    void shouldOfferEachRunACrashLeftUntilRecovered()
    {
        QFETCH(QByteArray, olderCompanion);
        QFETCH(QByteArray, lastText);
        QFETCH(QByteArray, lastCompanion);
        QFETCH(QString, offered);
        QFETCH(QByteArray, back);
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("journal"));
        leaveJournal(folder, QStringLiteral("2026-12-06T09-00-00-COM1-100"), "older\r\n", olderCompanion);
        leaveJournal(folder, QStringLiteral("2026-12-07T14-03-27-COM1-200"), lastText, lastCompanion);

        FormRig rig;
        rig.form.Text2->append(QStringLiteral("since\r\n"));
        Journal journal(folder);
        QMenu menu;
        JournalMenu journalMenu(&rig.form, &journal, &rig.dialogs, &menu);
        journalMenu.look();
        auto *recover = menu.findChild<QAction *>(QStringLiteral("recoverJournal"));
        QCOMPARE(recover->isVisible() ? recover->text().remove(u'&') : QString(), offered);
        QCOMPARE(journalMenu.recover(), !offered.isEmpty());
        QCOMPARE(rig.shown(), back + "since\r\n");
        QVERIFY(!journalMenu.recover()); // once
        if (!offered.isEmpty()) // this run's journal holds the box as it stands now: a second crash loses nothing
            QCOMPARE(contents(journal.path()), rig.shown());
    }

    // While a long recovery goes in, this run's journal goes on, and the copy
    // the recovery fills is no journal yet: a crash then leaves both runs
    // to recover, and nothing twice.
    void shouldKeepThisRunsJournalWhileALongRecoveryGoesIn()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("journal"));
        const QByteArray killed = QByteArray("     +  152.37 g\r\n").repeated(2'000'000); // 36 MB
        leaveJournal(folder, QStringLiteral("2026-12-07T14-03-27-COM1-200"), killed, "");
        FormRig rig;
        Journal journal(folder);
        QMenu menu;
        JournalMenu journalMenu(&rig.form, &journal, &rig.dialogs, &menu);
        journalMenu.look();
        const auto receive = [&](const QByteArray &line) { // as reception does
            rig.form.Text2->append(QString::fromLatin1(line));
            emit rig.form.lineCompleted(QString(), QString::fromLatin1(line), 0, 0, -1);
        };
        receive("before\r\n");
        QSignalSpy recovered(&journalMenu, &JournalMenu::recovered);
        QVERIFY(journalMenu.recover());
        QVERIFY(recovered.isEmpty()); // still going in
        receive("meanwhile\r\n");
        QCOMPARE(contents(journal.path()), QByteArray("before\r\nmeanwhile\r\n"));
        QCOMPARE(findJournals(folder).size(), size_t(2)); // the killed run and this one: the copy is none yet
        QVERIFY(journalToRecover(folder).text.isEmpty()); // the killed one is locked while it goes in

        QVERIFY(recovered.wait(30000));
        QCOMPARE(rig.shown(), killed + "before\r\nmeanwhile\r\n");
        QCOMPARE(contents(journal.path()), rig.shown()); // this run's journal goes on with both runs' lines
        QCOMPARE(findJournals(folder).size(), size_t(3)); // and this run's first one ended
        QVERIFY(journalToRecover(folder).text.isEmpty());
    }

    // Two Ondrils offered the same journal: only the first brings it back.
    void shouldRecoverAJournalOnlyOnceBetweenTwoOndrils()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("journal"));
        leaveJournal(folder, QStringLiteral("2026-12-07T14-03-27-COM1-200"), "a\r\n", "");
        FormRig rig;
        Journal journal(folder);
        QMenu menu;
        JournalMenu journalMenu(&rig.form, &journal, &rig.dialogs, &menu);
        journalMenu.look();
        const JournalRun run = journalMenu.recoverable();
        const int other = journalfile::openForReading(run.text); // the other one's recovery holds it
        QVERIFY(journalfile::tryLock(other, true));
        QVERIFY(!journalMenu.recover());
        journalfile::closeFile(other);
        QVERIFY(markRecovered(run)); // and then marked it
        QVERIFY(!journalMenu.recover());
        QCOMPARE(rig.shown(), QByteArray());
        QCOMPARE(rig.dialogs.messages.size(), 2);
        QVERIFY(rig.dialogs.messages[0].contains("Another Ondril"));
    }

    void shouldKeepOnlyTheChoiceToStopForTheNextRun()
    {
        QTemporaryDir dir;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()));
        const QString conf = dir.filePath(QStringLiteral("Ondril.conf"));
        FormRig rig;
        Journal journal(dir.filePath(QStringLiteral("journal")));
        const auto run = [&] { // a menu as a run makes it, read from the settings
            return std::make_unique<JournalMenu>(&rig.form, &journal, &rig.dialogs, new QMenu(&rig.form));
        };
        QVERIFY(run()->keeping()); // on, and nothing written for it
        QVERIFY(!QFile::exists(conf));
        run()->setKeeping(false);
        QVERIFY(!run()->keeping()); // the next run remembers
        run()->setKeeping(true);
        QVERIFY(run()->keeping());
        QVERIFY(!contents(conf).contains("keep"));
    }

    void shouldPruneOldAndLargeJournalsButNoOtherFile()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("journal"));
        leaveJournal(folder, QStringLiteral("2026-10-01T08-00-00-COM1-1"), "too old\r\n", "ended x\n");
        leaveJournal(folder, QStringLiteral("2026-12-01T08-00-00-COM1-2"), QByteArray(800, 'x'), "ended x\n");
        leaveJournal(folder, QStringLiteral("2026-12-06T08-00-00-COM1-3"), QByteArray(300, 'y'), "ended x\n");
        put(folder + QStringLiteral("/2026-01-01T00-00-00-COM1-9.txt"), "someone else's\n"); // no companion
        put(folder + QStringLiteral("/notes.run"), "not a journal\n");
        Journal running(folder); // older by its name than none, but going on
        running.add("now\r\n", QStringLiteral("COM 2"));

        QCOMPARE(pruneJournals(folder, QDateTime(QDate(2026, 12, 7), QTime(12, 0)), 30, 1000), qint64(0));
        QStringList left = QDir(folder).entryList(QDir::Files);
        left.removeIf([&](const QString &f) { return running.path().endsWith(f.chopped(4) + QStringLiteral(".txt")); });
        QCOMPARE(left, (QStringList{"2026-01-01T00-00-00-COM1-9.txt", "2026-12-06T08-00-00-COM1-3.run",
                                    "2026-12-06T08-00-00-COM1-3.txt", "notes.run"}));
        QVERIFY(QFile::exists(running.path()));
    }

    // Over the limit, the run a crash left and the newest of each port stay,
    // however old or large; the limit is told as broken.
    void shouldNeverPruneTheRunToRecover()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("journal"));
        leaveJournal(folder, QStringLiteral("2026-10-01T08-00-00-COM1-1"), QByteArray(900, 'x'), "ended x\n");
        leaveJournal(folder, QStringLiteral("2026-10-02T08-00-00-COM1-2"), QByteArray(900, 'y'), "ended x\n");
        leaveJournal(folder, QStringLiteral("2026-10-03T08-00-00-COM3-3"), QByteArray(3000, 'c'), ""); // crashed
        Journal running(folder); // another port's large run goes on
        running.add(QByteArray(2000, 'r') + "\r\n", QStringLiteral("COM 2"));
        const qint64 over = pruneJournals(folder, QDateTime(QDate(2026, 12, 7), QTime(12, 0)), 30, 1000);
        QVERIFY(over > 0);
        QVERIFY(journalsOverLimitNotice(folder, over).contains(folder));
        const std::vector<JournalRun> runs = findJournals(folder);
        QCOMPARE(runs.size(), size_t(3));
        QVERIFY(runs[0].text.endsWith("COM1-2.txt") && runs[1].text.endsWith("COM3-3.txt"));
        QCOMPARE(journalToRecover(folder).text, runs[1].text); // and offered
    }

    // An editor that saves in place, a clean-up script: nothing they do ends
    // the run, and the lines go on in a new journal that says what it follows.
    void shouldGoOnInANewFileWhenCutOrRemovedOutside_data()
    {
        QTest::addColumn<bool>("removed");
        QTest::newRow("cut") << false;
        QTest::newRow("removed") << true;
    }
    void shouldGoOnInANewFileWhenCutOrRemovedOutside()
    {
        QFETCH(bool, removed);
        QTemporaryDir dir;
        Journal journal(dir.path());
        const QByteArray line("     +  152.37 g\r\n");
        journal.add(line, QStringLiteral("COM 1"));
        journal.add(line, QStringLiteral("COM 1"));
        const QString first = journal.path();
        const QString firstCompanion = findJournals(dir.path())[0].companion;
        QVERIFY(removed ? QFile::remove(first) : QFile::resize(first, 0));
        journal.add("after\r\n", QStringLiteral("COM 1"));
        journal.add("later\r\n", QStringLiteral("COM 1"));
        QVERIFY(journal.path() != first);
        QCOMPARE(contents(journal.path()), QByteArray("after\r\nlater\r\n"));
        QVERIFY(contents(firstCompanion).contains("cut from outside"));
        const QByteArray follows = contents(findJournals(dir.path()).back().companion);
        QVERIFY2(follows.contains("follows " + QFileInfo(first).completeBaseName().toLatin1()), follows.constData());
    }

    // A folder that cannot be shown is no silent click: its path is given.
    void shouldGiveThePathOfAFolderItCannotOpen()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(QStringLiteral("file")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        const QString folder = dir.filePath(QStringLiteral("file/journal")); // under a file: never made
        FormRig rig;
        Journal journal(folder);
        QMenu menu;
        JournalMenu journalMenu(&rig.form, &journal, &rig.dialogs, &menu);
        menu.findChild<QAction *>(QStringLiteral("openJournalFolder"))->trigger();
        QCOMPARE(rig.dialogs.notices.size(), 1);
        QVERIFY2(rig.dialogs.notices[0].contains(QDir::toNativeSeparators(folder)), qPrintable(rig.dialogs.notices[0]));
    }

    void shouldNameEveryJournalApart()
    {
        QTemporaryDir dir;
        Journal journal(dir.path());
        QSignalSpy trouble(&journal, &Journal::trouble);
        QStringList paths;
        for (int i = 0; i < 5; ++i) { // "Keep a journal" off and on, within a millisecond
            journal.add("x\r\n", QStringLiteral("COM 1"));
            paths << journal.path();
            journal.end();
        }
        paths.removeDuplicates();
        QCOMPARE(paths.size(), 5);
        QCOMPARE(trouble.size(), 0);
        QCOMPARE(findJournals(dir.path()).size(), size_t(5));
    }

    // Saved, cleared, more lines, then a crash: Recover brings back what the
    // box held, with a reading for each line; the whole journal stays one choice away; a mark that cannot be
    // written does not bring the lines back twice.
    void shouldRecoverTheBoxAsItStoodAtTheCrash()
    {
        QTemporaryDir dir;
        const QString crashed = dir.filePath(QStringLiteral("crashed"));
        QDir().mkpath(crashed);
        {
            FormRig rig;
            Journal journal(dir.filePath(QStringLiteral("first")));
            QMenu menu;
            JournalMenu journalMenu(&rig.form, &journal, &rig.dialogs, &menu);
            const auto receive = [&](const QByteArray &line) {
                rig.form.Text2->append(QString::fromLatin1(line));
                journal.add(line, QStringLiteral("COM 1"));
            };
            receive("2026-12-07 14:03:27      +  100.00 g\r\n");
            rig.form.Label1->setText(dir.filePath(QStringLiteral("log.txt")));
            rig.form.Command7_Click(); // Save
            rig.form.Command8_Click(); // Clear
            receive("2026-12-07 14:03:28      +  152.37 g\r\n");
            receive("2026-12-07 14:03:29      +  152.38 g\r\n");
            QVERIFY(contents(rig.form.Label1->text()).contains("100.00"));
            // The crash: the files as they stand, never ended.
            for (const QString &f : QDir(journal.folder()).entryList(QDir::Files))
                QVERIFY(QFile::copy(journal.folder() + u'/' + f, crashed + u'/' + f));
        }
        FormRig rig;
        rig.form.Text2->append(QStringLiteral("this run\r\n"));
        Journal elsewhere(crashed);
        QMenu menu;
        JournalMenu crashedMenu(&rig.form, &elsewhere, &rig.dialogs, &menu);
        crashedMenu.look();
        QVERIFY(menu.findChild<QAction *>(QStringLiteral("recoverJournal"))->text().remove(u'&').startsWith("Recover 2 lines from "));
        QVERIFY(menu.findChild<QAction *>(QStringLiteral("recoverWholeJournal"))->text().contains(", 3 lines"));
        // The readings, as the Readings window takes them.
        QFile csv;
        std::optional<EarlierLines> earlier;
        std::vector<ReadingsLog::Earlier> lines;
        connect(&crashedMenu, &JournalMenu::recoveryStarted, this, [&](const JournalRun &run, qint64 firstLine) {
            csv.setFileName(run.readings);
            earlier.emplace(csv.open(QIODevice::ReadOnly) ? &csv : nullptr, firstLine, run.rowsFromLine, run.started);
        });
        connect(&crashedMenu, &JournalMenu::recoveredPiece, this, [&](const QByteArray &text) {
            for (auto &line : earlier->take(text))
                lines.push_back(std::move(line));
        });
        // Its mark cannot be written: the disk is full.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit was{};
        getrlimit(RLIMIT_FSIZE, &was);
        rlimit none = was;
        none.rlim_cur = 0;
        setrlimit(RLIMIT_FSIZE, &none);
        const bool done = crashedMenu.recover();
        setrlimit(RLIMIT_FSIZE, &was);
        QVERIFY(done);
        const QByteArray box = "2026-12-07 14:03:28      +  152.37 g\r\n2026-12-07 14:03:29      +  152.38 g\r\nthis run\r\n";
        QCOMPARE(rig.shown(), box);
        QCOMPARE(rig.dialogs.messages.size(), 1); // the mark could not be written, and it says so
        QVERIFY(!crashedMenu.recover()); // not twice
        QCOMPARE(rig.shown(), box);
        // Each line with its reading, from the text where the CSV has no row.
        QCOMPARE(lines.size(), size_t(2));
        QCOMPARE(lines[0].raw, QByteArray("     +  152.37 g"));
        QCOMPARE(QDateTime::fromMSecsSinceEpoch(lines[1].wallMs), QDateTime(QDate(2026, 12, 7), QTime(14, 3, 29)));
        QCOMPARE(lines[1].command, -1);
    }

    void shouldTellOnceAndGoOnWhenTheDiskIsFull()
    {
        // A file size limit fails writes as a full disk does, for root too.
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("journal"));
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit was{};
        getrlimit(RLIMIT_FSIZE, &was);
        rlimit small = was;
        small.rlim_cur = 120;
        setrlimit(RLIMIT_FSIZE, &small);
        Journal journal(folder);
        QSignalSpy trouble(&journal, &Journal::trouble);
        const QByteArray line("     +  152.37 g\r\n"); // 18 bytes: 6 fit
        for (int i = 0; i < 10; ++i)
            journal.add(line, QStringLiteral("COM 1"));
        setrlimit(RLIMIT_FSIZE, &was); // space again
        journal.add("back\r\n", QStringLiteral("COM 1"));
        QCOMPARE(trouble.size(), 1);
        QCOMPARE(trouble[0][0].toString(), folder);
        QCOMPARE(contents(journal.path()), line.repeated(6) + "back\r\n"); // whole lines only
        QVERIFY(contents(findJournals(folder)[0].companion).contains(" 4 lines from "));
    }

    void shouldLoseNothingToAKill()
    {
        QTemporaryDir dir;
        Pty port;
        QProcess ondril;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ONDRIL_PORTS"), port.path());
        env.insert(QStringLiteral("XDG_STATE_HOME"), dir.path());
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), dir.path());
        ondril.setProcessEnvironment(env);
        ondril.start(qEnvironmentVariable("ONDRIL"), {});
        QVERIFY(ondril.waitForStarted(5000));
        // Lines until the first is in a journal: its port is open then.
        const QString folder = dir.filePath(QStringLiteral("ondril/journal"));
        const QByteArray first("     +  100.00 g\r\n");
        int firsts = 0;
        while (findJournals(folder).empty() && firsts < 300) {
            port.send(first);
            ++firsts;
            QTest::qWait(100);
        }
        QTest::qWait(300);
        QByteArray sent;
        for (int i = 0; i < 40; ++i) {
            const QByteArray line = QStringLiteral("     + %1 g\r\n").arg(150 + i * 0.01, 9, 'f', 2).toLatin1();
            port.send(line);
            sent += line;
            QTest::qWait(40);
        }
        QTest::qWait(1200); // the readings go with the next sync, within a second
        ::kill(pid_t(ondril.processId()), SIGKILL);
        QVERIFY(ondril.waitForFinished(5000));
        const std::vector<JournalRun> runs = findJournals(folder);
        QCOMPARE(runs.size(), size_t(1));
        QVERIFY(!runs[0].ended && !runs[0].running);
        const QByteArray text = contents(runs[0].text);
        QVERIFY(text.endsWith(sent));
        const qsizetype kept = text.chopped(sent.size()).count(first);
        QVERIFY(kept >= 1 && first.repeated(kept) == text.chopped(sent.size()));
        QCOMPARE(contents(runs[0].readings).count("sign value unit,"), kept + 40); // the readings' CSV beside it
        QCOMPARE(journalToRecover(folder).text, runs[0].text);
    }
};

QTEST_MAIN(TestJournal)
#include "tst_journal.moc"
