// The Send window: what an operator types becomes exactly the bytes that go
// out, its commands are counted under their names and repeated by the cycle
// print's rules, saved ones come back byte for byte; and a balance that
// streams keeps every line.
#include "Application.h"
#include "FormRig.h"
#include "readings/ReadingsWindow.h"
#include "send/CommandText.h"
#include "send/SendMenu.h"
#include "send/SendWindow.h"
#include "window/KeptChoices.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

using namespace ondril;

namespace {

QPushButton *button(QWidget *window, const QString &text)
{
    for (QPushButton *b : window->findChildren<QPushButton *>())
        if (b->text() == text)
            return b;
    return nullptr;
}

} // namespace

class TestSend : public QObject {
    Q_OBJECT
    QTemporaryDir m_config; // Ondril.conf of this test's own: others may run beside it

private slots:
    void initTestCase() { qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_config.path())); }
    void init() { keptChoices()->clear(); }

    void shouldTurnTypedCommandsIntoBytes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("hex");
        QTest::addColumn<int>("end");
        QTest::addColumn<QByteArray>("bytes"); // empty: refused
        QTest::addColumn<int>("errorAt");
        QTest::newRow("word, CR LF") << "SI" << false << int(LineEnd::CrLf) << QByteArray("SI\r\n") << -1;
        QTest::newRow("escapes") << "\\ep\\t\\\\\\x00\\xfF" << false << 0 << QByteArray("\x1bp\t\\\0\xff", 6) << -1;
        QTest::newRow("Latin-1 as it is") << QString::fromLatin1("\xb5g") << false << int(LineEnd::Lf)
                                          << QByteArray("\xb5g\n") << -1;
        QTest::newRow("hex, spaced or not") << "1B 70 0d0A" << true << int(LineEnd::Cr) << QByteArray("\x1bp\r\n\r")
                                            << -1;
        QTest::newRow("one hex digit after \\x") << "ab\\x4" << false << 0 << QByteArray() << 2;
        QTest::newRow("no such escape") << "\\q" << false << 0 << QByteArray() << 0;
        QTest::newRow("a backslash at the end") << "S\\" << false << 0 << QByteArray() << 1;
        QTest::newRow("beyond one byte") << QStringLiteral("S\u20ac") << false << 0 << QByteArray() << 1;
        QTest::newRow("odd hex digits") << "1B 7" << true << 0 << QByteArray() << 3;
        QTest::newRow("no hex digit") << "1B7G" << true << 0 << QByteArray() << 3;
        QTest::newRow("no hex digit first") << "G1" << true << 0 << QByteArray() << 0;
        QTest::newRow("nothing") << "" << false << 0 << QByteArray() << 0;
        QTest::newRow("over 4 KB") << QString(4097, u'A') << false << 0 << QByteArray() << 0;
    }
    void shouldTurnTypedCommandsIntoBytes()
    {
        QFETCH(QString, text);
        QFETCH(bool, hex);
        QFETCH(int, end);
        QFETCH(QByteArray, bytes);
        QFETCH(int, errorAt);
        const CommandBytes out = parseCommandText(text, hex, LineEnd(end));
        QCOMPARE(out.bytes, bytes);
        QCOMPARE(out.ok(), !bytes.isEmpty());
        if (!out.ok())
            QCOMPARE(out.errorAt, qsizetype(errorAt));
        else // and told back as typed
            QCOMPARE(parseCommandText(escapedText(out.bytes), false).bytes, out.bytes);
    }

    // A balance asked with a word and CR LF: a preset's button sends it,
    // the Readings window counts it under its name and takes its replies as
    // weighings, and Repeat goes on past the replies that do not come.
    void shouldSendCountAndRepeat()
    {
        FormRig rig;
        QVERIFY(rig.loaded);
        ReadingsWindow readings(&rig.form, &rig.dialogs);
        SendMenu menu(&rig.form, &rig.dialogs, toolsMenu(&rig.form));
        connect(&menu, &SendMenu::commandSent, &readings, &ReadingsWindow::countCommand, Qt::QueuedConnection);
        // The set the scan found is the one shown when the window first opens.
        QVERIFY(!menu.isBuilt());
        menu.chooseSet(QStringLiteral("Command words, CR LF"));
        rig.form.menuBar()->findChild<QAction *>(QStringLiteral("openSend"))->trigger();
        QVERIFY(menu.isBuilt());
        SendWindow &send = *menu.window();
        int asked = 0;
        rig.comm.onWrite = [&](const QByteArray &bytes) {
            if (bytes == "SI\r\n" && ++asked % 3 != 0) // every third goes unanswered
                QTimer::singleShot(5, [&] { rig.comm.feed("S S      100.00 g\r\n"); });
        };
        for (QWidget *w : send.findChildren<QWidget *>()) // a screen reader names every control
            if (w->focusPolicy() & Qt::TabFocus && !w->isHidden())
                QVERIFY2(!QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).isEmpty() ||
                             !QAccessible::queryAccessibleInterface(w)->relations(QAccessible::Label).isEmpty(),
                         qPrintable(w->objectName()));
        button(&send, QStringLiteral("SI"))->click();
        QCOMPARE(rig.comm.written, QByteArray("SI\r\n"));
        QCOMPARE(send.findChild<QLabel *>(QStringLiteral("sentHex"))->text(), QStringLiteral("Sent SI: 53 49 0D 0A"));
        QTRY_COMPARE(readings.log().tally().total().replies, 1);
        const LinkTally &tally = readings.log().tally();
        const int si = tally.find(QStringLiteral("SI"));
        QCOMPARE(tally.command(si).replies, 1);
        QCOMPARE(readings.log().statsOf(readings.log().currentUnit())->stats.count(), 1);

        send.findChild<QLineEdit *>(QStringLiteral("repeatInterval"))->setText(QStringLiteral("100"));
        send.findChild<QPushButton *>(QStringLiteral("repeat"))->click();
        QTRY_VERIFY_WITH_TIMEOUT(send.repeatedMissed() >= 2, 15000);
        send.findChild<QPushButton *>(QStringLiteral("repeat"))->click();
        QVERIFY(send.repeatedReplies() >= 3);
        QCOMPARE(rig.comm.written.count("SI\r\n"), qsizetype(asked));
        QTRY_COMPARE(readings.log().tally().command(si).sent, qint64(asked));

        // A typed command that does not parse sends nothing and says where.
        auto *line = send.findChild<QLineEdit *>(QStringLiteral("command"));
        line->setText(QStringLiteral("S\\x4"));
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(rig.comm.written.count("S\\x4"), 0);
        QVERIFY2(send.findChild<QLabel *>(QStringLiteral("sentHex"))->text().contains(QStringLiteral("character 2")),
                 qPrintable(send.findChild<QLabel *>(QStringLiteral("sentHex"))->text()));
        QTest::keyClick(line, Qt::Key_Up); // the last one sent
        QCOMPARE(line->text(), QStringLiteral("SI"));
        // The longest command goes out whole, and what it shows keeps the window's width.
        line->setText(QString(4096, u'A'));
        send.findChild<QComboBox *>(QStringLiteral("lineEnd"))->setCurrentIndex(int(LineEnd::None));
        QTest::keyClick(line, Qt::Key_Return);
        QVERIFY(rig.comm.written.endsWith(QByteArray(4096, 'A')));
        QVERIFY(send.minimumSizeHint().width() < 800);
        // Held back by the handshake: refused, nothing queued behind it.
        rig.comm.stalled = true;
        rig.comm.written.clear();
        QTest::keyClick(line, Qt::Key_Return);
        QCOMPARE(rig.comm.written, QByteArray());
        QVERIFY(send.findChild<QLabel *>(QStringLiteral("sentHex"))->text().contains(QStringLiteral("handshake")));
    }

    // Saved under a name, odd bytes and all, and renamed, a command comes
    // back in the next run exactly.
    void shouldKeepSavedCommandsByteForByte()
    {
        {
            FormRig rig;
            SendWindow send(&rig.form, &rig.dialogs);
            send.findChild<QCheckBox *>(QStringLiteral("hex"))->setChecked(true);
            send.findChild<QLineEdit *>(QStringLiteral("command"))->setText(QStringLiteral("00 FF 0D 41 0A"));
            send.findChild<QLineEdit *>(QStringLiteral("saveName"))->setText(QStringLiteral("odd one"));
            send.findChild<QPushButton *>(QStringLiteral("save"))->click();
            const auto rename = [&](const QString &from, const QString &to) {
                rig.dialogs.textAnswers << to;
                button(&send, from)->actions().at(1)->trigger();
                return send.findChild<QLabel *>(QStringLiteral("sentHex"))->text();
            };
            QVERIFY(rename(QStringLiteral("odd one"), QStringLiteral("odd, one")).startsWith("Not renamed"));
            QVERIFY(rename(QStringLiteral("odd one"), QStringLiteral("odd byte")).startsWith("Renamed"));
            // A family's command, copied among the saved ones, counts as what it is.
            send.chooseSet(QStringLiteral("Letters, CR LF"));
            button(&send, QStringLiteral("Q"))->actions().at(0)->trigger();
        }
        {
            auto settings = keptChoices(); // and one entry edited into nonsense by hand
            const int count = settings->beginReadArray(QStringLiteral("send/saved"));
            settings->endArray();
            settings->beginWriteArray(QStringLiteral("send/saved"));
            settings->setArrayIndex(count);
            settings->setValue(QStringLiteral("name"), QStringLiteral("broken"));
            settings->setValue(QStringLiteral("hex"), QStringLiteral("zz"));
            settings->endArray();
        }
        FormRig rig;
        QVERIFY(rig.loaded);
        SendWindow send(&rig.form, &rig.dialogs);
        QCOMPARE(rig.dialogs.notices.size(), 1);
        send.chooseSet(QString());
        button(&send, QStringLiteral("odd byte"))->click();
        QCOMPARE(rig.comm.written, QByteArray("\0\xff\rA\n", 5));
        QSignalSpy sent(&send, &SendWindow::commandSent);
        button(&send, QStringLiteral("Q"))->click();
        QCOMPARE(sent.at(0).at(0).toString(), QStringLiteral("Q"));
        QVERIFY(sent.at(0).at(1).toBool()); // a weight request
    }

    // A balance that streams: with "Keep every line" on, lines that come
    // together all reach the box, each stamped, and a line cut across two
    // reads is whole; off, the window discards what waits after a line.
    void shouldKeepEveryLineOfAStream_data()
    {
        QTest::addColumn<bool>("keep");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("kept") << true << QByteArray("12:00 A\r\n12:00 B\r\n12:00 C\r\n12:00 D\r\n");
        QTest::newRow("as the window does") << false << QByteArray("12:00 A\r\n12:00 B\r\n12:00 D\r\n");
    }
    void shouldKeepEveryLineOfAStream()
    {
        QFETCH(bool, keep);
        QFETCH(QByteArray, shown);
        const QString key = QStringLiteral("reception/keepEveryLine");
        keptChoices()->setValue(key, QStringLiteral("maybe")); // edited by hand into nonsense
        FormRig rig;
        QVERIFY(rig.loaded);
        SendMenu menu(&rig.form, &rig.dialogs, toolsMenu(&rig.form));
        QCOMPARE(rig.dialogs.notices.size(), 1);
        QVERIFY(!rig.form.keepsEveryLine());
        rig.form.menuBar()->findChild<QAction *>(QStringLiteral("keepEveryLine"))->setChecked(keep);
        rig.form.Check1->setChecked(true);
        rig.comm.feed("A\r\nB\r\nC"); // one read
        QTest::qWait(50);
        rig.comm.feed("\r\nD\r\n");
        QTest::qWait(50);
        QString text = QString::fromLatin1(rig.shown());
        text.replace(QRegularExpression(QStringLiteral("\\d\\d:\\d\\d:\\d\\d ")), QStringLiteral("12:00 "));
        QCOMPARE(text.toLatin1(), shown);
        // Kept once changed, and only then.
        QCOMPARE(keptChoices()->value(key).toString(), keep ? QStringLiteral("true") : QStringLiteral("maybe"));
    }
};

QTEST_MAIN(TestSend)
#include "tst_send.moc"
