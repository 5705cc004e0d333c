#include "FormRig.h"
#include "journal/JournalFile.h"
#include "paged/BigArray.h"
#include "serial/PortMap.h"
#include "serial/PortTrouble.h"
#include "window/KeptChoices.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cerrno>
#include <cstring>
#include <QtTest>

#include <cerrno>
#include <cstring>

using namespace ondril;

// What the Windows build does in its own way.
class TestWindows : public QObject {
    Q_OBJECT
private slots:
    void shouldGrowInPlaceAndGiveMemoryBack()
    {
        BigArray<char> a;
        QVERIFY(a.reserve(1 << 20));
        std::memset(a.open(0, 1 << 20), 'x', 1 << 20);
        const char *at = a.data();
        QVERIFY(a.reserve(size_t(200) << 20)); // committed further, never moved
        QCOMPARE(a.data(), at);
        QCOMPARE(a[(1 << 20) - 1], 'x');
        a.erase(0, a.size());
        QVERIFY(a.empty());
        QVERIFY(!a.reserve(size_t(1) << 40)); // past the reserved range: refused, nothing changed
        QCOMPARE(a.data(), at);
    }

    void shouldLockAndWriteJournalFiles()
    {
        QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/Zo\u00eb-XXXXXX")); // a user name with an ë
        const QString path = dir.filePath(QStringLiteral("run.txt"));
        const int fd = journalfile::createNew(path);
        QVERIFY2(fd >= 0, qPrintable(journalfile::lastError()));
        QCOMPARE(journalfile::createNew(path), -1); // exists already
        QVERIFY(journalfile::tryLock(fd, true));
        const int other = journalfile::openForReading(path);
        QVERIFY(other >= 0);
        errno = ENOSPC; // a stale error of something else
        QVERIFY(!journalfile::tryLock(other, false)); // held by its run
        QVERIFY2(journalfile::lastError() != QString::fromLocal8Bit(std::strerror(ENOSPC)), qPrintable(journalfile::lastError()));
        QCOMPARE(journalfile::writeAt(fd, "abcdef", 6, 0), qint64(6));
        QCOMPARE(journalfile::writeAt(fd, "XY", 2, 2), qint64(2));
        QVERIFY(journalfile::truncate(fd, 5));
        QVERIFY(journalfile::stillWhole(fd, 5));
        QVERIFY(!journalfile::stillWhole(fd, 6)); // cut below what was written
        const int sync = journalfile::openForSync(fd, path); // a flush of its own, past the lock
        QVERIFY2(sync >= 0, qPrintable(journalfile::lastError()));
        journalfile::syncData(sync);
        journalfile::closeFile(sync);
        journalfile::closeFile(fd);
        journalfile::closeFile(other);
        QFile back(path);
        QVERIFY(back.open(QIODevice::ReadOnly));
        QCOMPARE(back.readAll(), QByteArray("abXYe"));
    }

    void shouldKeepChoicesAndJournalUnderLocalAppData()
    {
        const QString local = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
        QCOMPARE(localAppFolder(), local + QStringLiteral("/Ondril"));
        QCOMPARE(keptChoices()->fileName(), local + QStringLiteral("/Ondril/Ondril.ini"));
        QCOMPARE(keptChoices()->format(), QSettings::IniFormat);
    }

    void shouldNameTheHolderlessTrouble_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<QString>("said");
        QTest::newRow("no device") << "" << false << "COM 4: no device";
        QTest::newRow("held by another program") << "COM4" << true << "Another program has it open";
        QTest::newRow("other failure") << "COM4" << false << "COM 4: COM4: The system cannot find the file specified..";
    }
    void shouldNameTheHolderlessTrouble()
    {
        QFETCH(QString, device);
        QFETCH(bool, refused);
        QFETCH(QString, said);
        const QString text = portTrouble(4, device, {QStringLiteral("The system cannot find the file specified."), refused});
        QVERIFY2(text.contains(said), qPrintable(text));
        QCOMPARE(lockFileOf(QStringLiteral("COM4")), QString());
    }

    void shouldShowTheLogPathWithBackslashes()
    {
        FormRig rig;
        QVERIFY(rig.loaded);
        QVERIFY2(rig.form.Label1->text().endsWith(QStringLiteral("\\Recdata0.txt")), qPrintable(rig.form.Label1->text()));
        QVERIFY(!rig.form.Label1->text().contains(u'/'));
    }
};

QTEST_MAIN(TestWindows)
#include "tst_windows.moc"
