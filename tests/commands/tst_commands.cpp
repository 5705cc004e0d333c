#include "PtyRig.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace ondril;

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void shouldSendEachCommandOnTheLine_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("hex");
        QTest::newRow("PRINT") << "Command2" << QByteArray("\x1b\x70") << "70";
        QTest::newRow("CAL") << "Command3" << QByteArray("\x1b\x71") << "71";
        QTest::newRow("COUNT") << "Command4" << QByteArray("\x1b\x72") << "72";
        QTest::newRow("UNIT") << "Command5" << QByteArray("\x1b\x73") << "73";
        QTest::newRow("TARE") << "Command6" << QByteArray("\x1b\x74") << "74";
    }
    void shouldSendEachCommandOnTheLine()
    {
        QFETCH(QString, button);
        QFETCH(QByteArray, bytes);
        QFETCH(QString, hex);
        PtyRig rig;
        QVERIFY(rig.loaded);
        Pty &pty = rig.pty;
        Form1 &form = rig.form;

        auto *b = form.findChild<QPushButton *>(button);
        QCOMPARE(b->text(), QString::fromLatin1(QTest::currentDataTag()));
        b->click();
        // Exactly two bytes: nothing more follows them.
        QCOMPARE(pty.receive(3, 200), bytes);
        QCOMPARE(form.Text3->text(), QStringLiteral("1B"));
        QCOMPARE(form.Text4->text(), hex);

        // A second press leaves the second command's texts.
        QPushButton *other = b == form.Command6 ? form.Command2 : form.Command6;
        other->click();
        QCOMPARE(pty.receive(2), QByteArray(other == form.Command6 ? "\x1bt" : "\x1bp"));
        QCOMPARE(form.Text4->text(), QString::fromLatin1(other == form.Command6 ? "74" : "70"));
        QVERIFY(rig.dialogs.messages.isEmpty());
    }
};

QTEST_MAIN(TestCommands)
#include "tst_commands.moc"
