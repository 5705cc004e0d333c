#include "Files.h"
#include "FormRig.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <unistd.h>

using namespace ondril;

namespace {

const QByteArray reply("     +  152.37 g\r\n");

// A window whose box holds one received reply and whose log is `log`.
struct SaveRig : FormRig {
    explicit SaveRig(const QString &log)
    {
        comm.feed(reply);
        QTRY_COMPARE(shown(), reply);
        form.Label1->setText(log);
    }
    void save(bool newData)
    {
        form.Check3->setChecked(newData);
        form.Command7->click();
    }
};

// A failed save: one message naming the file and a reason, the box as it was.
void verifyRefused(SaveRig &rig, const QString &path)
{
    QCOMPARE(rig.dialogs.messages.size(), 1);
    const QStringList lines = rig.dialogs.messages[0].split(u'\n');
    QCOMPARE(lines.size(), 3);
    QCOMPARE(lines[0], QStringLiteral("ERROR: The log file could not be saved."));
    QCOMPARE(lines[1], path);
    QVERIFY(!lines[2].isEmpty());
    QCOMPARE(rig.shown(), reply);
    rig.dialogs.messages.clear();
}

} // namespace

class TestDataLog : public QObject {
    Q_OBJECT
private slots:
    void shouldReplaceOrAppend_data()
    {
        QTest::addColumn<bool>("newData");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("New Data: one copy") << true << reply + "\r\n";
        QTest::newRow("append: two copies") << false << "old\r\n" + reply + "\r\n" + reply + "\r\n";
    }
    void shouldReplaceOrAppend()
    {
        QFETCH(bool, newData);
        QFETCH(QByteArray, expected);
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("Recdata0.txt"));
        put(log, "old\r\n");
        SaveRig rig(log);
        rig.save(newData);
        rig.save(newData);
        QCOMPARE(contents(log), expected);
        QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("Recdata0.txt")}); // nothing left beside it
        QVERIFY(rig.dialogs.messages.isEmpty());
    }

    void shouldSaveNothingFromAnEmptyBox()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("good.txt"));
        put(log, "a good log\r\n");
        FormRig rig;
        rig.form.Label1->setText(log);
        rig.form.Command7->click();
        rig.form.Label1->setText(dir.filePath(QStringLiteral("missing.txt")));
        rig.form.Check3->setChecked(false);
        rig.form.Command7->click();
        QCOMPARE(contents(log), QByteArray("a good log\r\n"));
        QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("good.txt")});
    }

    void shouldSaveEveryReceivedByte()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("bytes.txt"));
        FormRig rig;
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        rig.comm.feed(all + "\r\n");
        QTRY_VERIFY(!rig.shown().isEmpty());
        rig.form.Label1->setText(log);
        rig.form.Command7->click();
        QCOMPARE(contents(log), all + "\r\n\r\n");
    }

    void shouldCreateTheChosenFileAndSaveThere()
    {
        QTemporaryDir dir;
        const QString chosen = dir.filePath(QStringLiteral("shift 2.txt"));
        SaveRig rig(dir.filePath(QStringLiteral("first.txt")));
        rig.dialogs.fileAnswers << chosen;
        rig.form.Command9->click();
        QCOMPARE(rig.dialogs.requests.size(), 1);
        const FileDialogRequest &asked = rig.dialogs.requests[0];
        QCOMPARE(asked.directory, QCoreApplication::applicationDirPath());
        QCOMPARE(asked.filters, (QStringList{QStringLiteral("text (*.txt *.xls *.doc)"), QStringLiteral("all (*)")}));
        QCOMPARE(asked.selectedFilter, 0);
        QCOMPARE(rig.form.Label1->text(), chosen);
        QCOMPARE(contents(chosen), QByteArray()); // created, nothing written yet
        rig.save(true);
        QCOMPARE(contents(chosen), reply + "\r\n");

        // An existing file chosen again is left as it is; a cancel changes nothing.
        rig.dialogs.fileAnswers << chosen << QString();
        rig.form.Command9->click();
        rig.form.Command9->click();
        QCOMPARE(contents(chosen), reply + "\r\n");
        QCOMPARE(rig.form.Label1->text(), chosen);
        QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("shift 2.txt")});
        QVERIFY(rig.dialogs.messages.isEmpty());
    }

    void shouldClearOnlyTheBox()
    {
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("log.txt"));
        SaveRig rig(log);
        rig.save(true);
        rig.form.Command8->click();
        QCOMPARE(rig.form.Text2->text(), QString());
        QCOMPARE(contents(log), reply + "\r\n");
        rig.comm.feed("next\r\n"); // the box takes new lines as before
        QTRY_COMPARE(rig.shown(), QByteArray("next\r\n"));
    }

    void shouldRefuseAFolderAndGoOn()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(QStringLiteral("a folder"));
        QVERIFY(QDir().mkdir(folder));
        SaveRig rig(folder);
        for (bool newData : {true, false}) {
            rig.save(newData);
            verifyRefused(rig, folder);
            QVERIFY(entries(folder).isEmpty());
        }
        rig.dialogs.fileAnswers << folder;
        rig.form.Command9->click();
        QCOMPARE(rig.dialogs.messages.size(), 1);
        QVERIFY(rig.dialogs.messages[0].startsWith(QLatin1String("ERROR: The log file could not be created.\n")));
        QCOMPARE(rig.form.Label1->text(), folder);

        const QString good = dir.filePath(QStringLiteral("good.txt"));
        rig.form.Label1->setText(good);
        rig.save(true);
        QCOMPARE(contents(good), reply + "\r\n");
    }

    void shouldRefuseAFullDisk()
    {
        SaveRig full(QStringLiteral("/dev/full"));
        for (bool newData : {true, false}) {
            full.save(newData);
            verifyRefused(full, QStringLiteral("/dev/full"));
        }

        // A file size limit stands in for a full disk on a real file: a
        // replacing save keeps the old log, an append is cut back to it.
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("log.txt"));
        const QByteArray old(3000, 'o');
        put(log, old);
        SaveRig rig(log);
        for (int i = 0; i < 300; ++i)
            rig.form.Text2->append(QString::fromLatin1(reply));
        const QByteArray box = rig.shown();
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = saved;
        small.rlim_cur = 4096;
        setrlimit(RLIMIT_FSIZE, &small);
        rig.save(true);
        rig.save(false);
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);
        QCOMPARE(rig.dialogs.messages.size(), 2);
        for (const QString &message : rig.dialogs.messages)
            QVERIFY2(message.endsWith(QLatin1String("File too large")), qPrintable(message));
        QCOMPARE(contents(log), old);
        QCOMPARE(rig.shown(), box);
        QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("log.txt")}); // no temporary file left
    }

    void shouldRefuseAReadOnlyFolder()
    {
        if (geteuid() == 0)
            QSKIP("root ignores permissions; ctest also runs this as an unprivileged user");
        QTemporaryDir dir;
        const QString log = dir.filePath(QStringLiteral("log.txt"));
        put(log, "old\r\n");
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::ExeOwner));
        SaveRig rig(log);
        rig.save(true); // the new file cannot be made beside the old one
        verifyRefused(rig, log);
        QCOMPARE(contents(log), QByteArray("old\r\n"));
        const QString missing = dir.filePath(QStringLiteral("new.txt"));
        rig.form.Label1->setText(missing);
        rig.save(false);
        verifyRefused(rig, missing);
        rig.dialogs.fileAnswers << missing;
        rig.form.Command9->click();
        QCOMPARE(rig.dialogs.messages.size(), 1);
        QCOMPARE(rig.form.Label1->text(), missing);
        QCOMPARE(entries(dir.path()), QStringList{QStringLiteral("log.txt")});
        QVERIFY(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    }

    void shouldElideALongPathInTheMiddle()
    {
        FormRig rig;
        rig.form.show();
        PathLabel *label = rig.form.Label1;
        const QString path = QStringLiteral("/home/lab/balances/<b>line 4</b>/") + QString(60, u'x') +
                             QStringLiteral("/Recdata0.txt");
        label->setText(path);
        const QString shown = label->shownText();
        QVERIFY(shown.startsWith(QLatin1String("/home/")));
        QVERIFY(shown.endsWith(QLatin1String("Recdata0.txt")));
        QVERIFY(shown.contains(QChar(0x2026)));
        QVERIFY(label->fontMetrics().horizontalAdvance(shown) <= label->contentsRect().width());
        QCOMPARE(label->text(), path); // the path itself is whole

        QCOMPARE(shownToolTip(label), path);

        label->setText(QStringLiteral("/tmp/a.txt"));
        QCOMPARE(label->shownText(), QStringLiteral("/tmp/a.txt"));
    }
};

QTEST_MAIN(TestDataLog)
#include "tst_datalog.moc"
