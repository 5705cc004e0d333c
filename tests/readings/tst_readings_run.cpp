// A cycle print against the simulated balance, end to end: the Readings
// window accounts for every PRINT, and its CSV reads back in Python's csv.
#include "ScriptedDialogs.h"
#include "Sim.h"
#include "readings/FigureTable.h"
#include "readings/ReadingsWindow.h"
#include "serial/SerialComm.h"
#include "window/Form1.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace ondril;

class TestReadingsRun : public QObject {
    Q_OBJECT
private slots:
    void shouldAccountForEveryPrintOfACyclePrint()
    {
        Sim sim({QStringLiteral("--unstable"), QStringLiteral("4")});
        QVERIFY(!sim.path().isEmpty());
        SerialComm comm{PortMap::fromList(sim.path())};
        ScriptedDialogs dialogs;
        Form1 form{&comm, &dialogs};
        QVERIFY(form.Form_Load());
        ReadingsWindow readings(&form, &dialogs);
        readings.show();

        // Stop as the 20th PRINT goes out, as an operator's click would.
        int prints = 0;
        connect(&form, &Form1::commandWritten, this, [&] {
            if (++prints == 20)
                QTimer::singleShot(0, form.Command1, &QPushButton::click);
        });
        form.Text1->setText(QStringLiteral("100"));
        form.Command1->click();
        QTRY_COMPARE_WITH_TIMEOUT(form.Command1->text(), QStringLiteral("Cycle Print"), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(readings.log().tally().total().replies, 20, 5000);
        readings.refresh();
        const QString link = readings.findChild<FigureTable *>(QStringLiteral("link"))->text();
        QVERIFY2(link.contains(QRegularExpression(QStringLiteral("\nPRINT +20 +20 +0 "))), qPrintable(link));
        const QString notes = readings.findChild<QLabel *>(QStringLiteral("linkNotes"))->text();
        QVERIFY2(notes.contains(QStringLiteral("lines nobody asked for: 0   not a reading: 0")), qPrintable(notes));

        QTemporaryDir dir;
        const QString csv = dir.filePath(QStringLiteral("cycle.csv"));
        dialogs.fileAnswers << csv;
        readings.findChild<QPushButton *>(QStringLiteral("exportCsv"))->click();
        QTRY_VERIFY(QFile::exists(csv)); // written in the background, in place once whole
        QProcess python;
        python.start(QStringLiteral("python3"),
                     {QStringLiteral("-c"), QStringLiteral(R"(import csv, sys
rows = list(csv.DictReader(open(sys.argv[1], newline="")))
assert all(r["command"] == "PRINT" and r["unit"] == "g" for r in rows), rows
assert all(r["status"] in ("stable", "unstable") for r in rows), rows
print(len(rows), sum(float(r["value"]) > 0 for r in rows), sum(float(r["reply_ms"]) < 2000 for r in rows))
)"),
                      csv});
        QVERIFY(python.waitForFinished(20000));
        QCOMPARE(python.readAllStandardError(), QByteArray());
        QCOMPARE(python.readAllStandardOutput(), QByteArray("20 20 20\n"));
    }
};

QTEST_MAIN(TestReadingsRun)
#include "tst_readings_run.moc"
