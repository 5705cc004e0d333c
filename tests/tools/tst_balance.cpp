#include "Balance.h"
#include "Framing.h"
#include "readings/ReplyDecoder.h"

#include <QRegularExpression>
#include <QtTest>

namespace {
QString one(Balance &b, const char *bytes)
{
    const auto replies = b.receive(bytes);
    return replies.size() == 1 ? QString::fromStdString(replies[0].line) : QString();
}
double valueOf(const QString &line)
{
    return line.mid(5, 9).remove(' ').toDouble();
}
} // namespace

class TestBalance : public QObject {
    Q_OBJECT
private slots:
    void shouldPrintAWeighingLine()
    {
        Balance b(152.37);
        const QString line = one(b, "\x1bp");
        QVERIFY2(QRegularExpression("^     \\+ +\\d+\\.\\d\\d g\\r\\n$").match(line).hasMatch(),
                 qPrintable(line));
        QCOMPARE(line.size(), 18);
        QVERIFY(qAbs(valueOf(line) - 152.37) <= 0.021);
    }

    void shouldFindCommandsSplitAcrossReads()
    {
        Balance b;
        QVERIFY(b.receive("\x1b").empty());
        QCOMPARE(b.receive("p").size(), size_t(1));
        QVERIFY(b.receive("p").empty());      // a letter without ESC is noise
        QVERIFY(b.receive("\x1bz").empty());  // unknown command: silence
        QCOMPARE(b.receive("\x1bp\x1bp").size(), size_t(2));
    }

    void shouldAnswerInEachShape_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<int>("shape");
        QTest::newRow("sign, value, unit") << int(Balance::Format::SignValueUnit) << int(ondril::ReplyShape::SignValueUnit);
        QTest::newRow("command, status") << int(Balance::Format::CommandStatus) << int(ondril::ReplyShape::CommandStatusValue);
        QTest::newRow("header, comma") << int(Balance::Format::HeaderComma) << int(ondril::ReplyShape::HeaderCommaValue);
    }
    void shouldAnswerInEachShape()
    {
        // Every second reading moving, every third PRINT unanswered, in
        // grams and in pieces: each line decodes as its shape says.
        QFETCH(int, format);
        QFETCH(int, shape);
        Balance b(152.37);
        b.setFormat(Balance::Format(format));
        b.setUnstableEvery(2);
        b.setDropEvery(3);
        QStringList statuses;
        for (int i = 1; i <= 6; ++i) {
            if (i == 4)
                b.receive("\x1br"); // counting pieces from here
            const auto replies = b.receive("\x1bp");
            QCOMPARE(replies.empty(), i % 3 == 0);
            if (replies.empty())
                continue;
            const QByteArray line = QByteArray::fromStdString(replies[0].line);
            const ondril::Reply reply = ondril::decodeReply(line);
            QCOMPARE(int(reply.shape), shape);
            QVERIFY2(reply.hasValue && qAbs(reply.value.toDouble() - (i < 4 ? 152.37 : 30)) <= 0.03, line.constData());
            statuses << (reply.status == ondril::ReadingStatus::Stable ? "stable" : "moving");
        }
        QCOMPARE(statuses, (QStringList{"stable", "moving", "stable", "moving"}));
    }

    void shouldTareToZero()
    {
        Balance b(100.0);
        QVERIFY(b.receive("\x1bt").empty());
        QVERIFY(qAbs(valueOf(one(b, "\x1bp"))) <= 0.041);
    }

    void shouldStepThroughTheUnits()
    {
        Balance b(1000.0);
        QStringList seen;
        for (int i = 0; i < 6; ++i) {
            seen << QString::fromLatin1(b.unit());
            b.receive("\x1bs");
        }
        QCOMPARE(seen, (QStringList{"g", "kg", "ct", "oz", "lb", "g"}));
        const QString kg = one(b, "\x1bp");
        QVERIFY2(kg.endsWith(" kg\r\n") && qAbs(valueOf(kg) - 1.0) < 0.001, qPrintable(kg));
    }

    void shouldCountPieces()
    {
        Balance b(150.0);
        b.receive("\x1br");
        QVERIFY(b.counting());
        const QString line = one(b, "\x1bp");
        QVERIFY2(line.endsWith(" pcs\r\n") && valueOf(line) == 30, qPrintable(line));
        b.receive("\x1br");
        QVERIFY(!b.counting());
    }

    void shouldCalibrateOverAboutTwoSeconds()
    {
        Balance b;
        const auto replies = b.receive("\x1bq");
        QVERIFY(replies.size() >= 2);
        QCOMPARE(replies.front().delayMs, 0);
        QVERIFY(replies.back().delayMs >= 1500 && replies.back().delayMs <= 2500);
        for (const auto &r : replies)
            QVERIFY(QString::fromStdString(r.line).endsWith("\r\n"));
    }

    void shouldReframeAsAUartReads_data()
    {
        QTest::addColumn<QString>("sent");
        QTest::addColumn<QString>("read");
        QTest::addColumn<QByteArray>("in");
        QTest::addColumn<QByteArray>("out");
        QTest::newRow("same framing") << "7O1" << "7O1" << QByteArray("+ 1 g\r\n") << QByteArray("+ 1 g\r\n");
        // The parity bit lands in bit 7: odd parity of '1' (three ones) is 0,
        // of 'g' (five ones) 0, of ' ' (one) 0, of '+' (four) 1.
        QTest::newRow("7O1 read as 8N1") << "7O1" << "8N1" << QByteArray("+ 1g") << QByteArray("\xab\x20\x31\x67");
        QTest::newRow("7E1 read as 8N1") << "7E1" << "8N1" << QByteArray("+ 1g") << QByteArray("\x2b\xa0\xb1\xe7");
        QTest::newRow("7N2 read as 8N1: the stop bit") << "7N2" << "8N1" << QByteArray("1") << QByteArray("\xb1");
        QTest::newRow("8N1 read as 7E1: bit 7 dropped") << "8N1" << "7E1" << QByteArray("+ 1\xe7") << QByteArray("+ 1g");
        QTest::newRow("8N1 read as 8E1: out of step") << "8N1" << "8E1" << QByteArray("AAAA") << QByteArray("A\x50\xa8\xf4");
    }
    void shouldReframeAsAUartReads()
    {
        QFETCH(QString, sent);
        QFETCH(QString, read);
        QFETCH(QByteArray, in);
        Framing s, r;
        QVERIFY(parseFraming(sent.toStdString(), &s));
        QVERIFY(parseFraming(read.toStdString(), &r));
        QTEST(QByteArray::fromStdString(reframe(in.toStdString(), s, r)), "out");
        QVERIFY(!parseFraming("7X1", &s) && !parseFraming("9N1", &s) && !parseFraming("8N3", &s));
    }

    void shouldGarbleAllButTheLineEnd()
    {
        const std::string line = "     +  152.37 g\r\n";
        const std::string g = garble(line, 7);
        QCOMPARE(g.size(), line.size());
        QCOMPARE(g.substr(g.size() - 2), std::string("\r\n"));
        QVERIFY(g.substr(0, g.size() - 2).find_first_of("\r\n") == std::string::npos);
        int same = 0;
        for (size_t i = 0; i + 2 < line.size(); ++i)
            same += g[i] == line[i];
        QVERIFY(same < 3);
    }
};

QTEST_GUILESS_MAIN(TestBalance)
#include "tst_balance.moc"
