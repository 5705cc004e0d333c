// What a line from the balance says: its shape, its status, the value with
// the digits sent, the unit and the identifier; and hostile lines, which are
// no reading, never a crash or a hang.
#include "readings/ReplyDecoder.h"

#include <QtTest>

using namespace ondril;

Q_DECLARE_METATYPE(ReplyShape)
Q_DECLARE_METATYPE(ReadingStatus)

class TestReplyDecoder : public QObject {
    Q_OBJECT
private slots:
    void shouldDecodeEachShape_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<ReplyShape>("shape");
        QTest::addColumn<ReadingStatus>("status");
        QTest::addColumn<QString>("value"); // mantissa/decimals, or empty for none
        QTest::addColumn<QByteArray>("unit");
        QTest::addColumn<QByteArray>("identifier");
        using S = ReplyShape;
        using R = ReadingStatus;
        const auto row = [](const char *name, const char *line, S shape, R status, const char *value,
                            const char *unit = "", const char *identifier = "") {
            QTest::newRow(name) << QByteArray(line) << shape << status << QString::fromLatin1(value)
                                << QByteArray(unit) << QByteArray(identifier);
        };
        // Sign, value, unit.
        row("sign value unit", "     +  152.37 g\r\n", S::SignValueUnit, R::Stable, "15237/2", "g");
        row("trailing zero kept", "+  152.370 g", S::SignValueUnit, R::Stable, "152370/3", "g");
        row("negative", "-    0.03 g\r\n", S::SignValueUnit, R::Stable, "-3/2", "g");
        row("identifier", "N     +    12.3 kg", S::SignValueUnit, R::Stable, "123/1", "kg", "N");
        row("identifier, small value", "G     -  0.00002 kg", S::SignValueUnit, R::Stable, "-2/5", "kg", "G");
        row("no unit: still moving", "+  152.37", S::SignValueUnit, R::Unstable, "15237/2");
        row("decimal comma", "+  152,37 g", S::SignValueUnit, R::Stable, "15237/2", "g");
        row("blank between digit groups", "+ 1 234.5 g", S::SignValueUnit, R::Stable, "12345/1", "g");
        row("pieces", "     +     12 pcs", S::SignValueUnit, R::Stable, "12/0", "pcs");
        row("overload word", "High", S::SignValueUnit, R::Overload, "");
        row("underload word", "Low", S::SignValueUnit, R::Underload, "");
        row("busy dashes", "------", S::SignValueUnit, R::Busy, "");
        row("status word", "Stat", S::SignValueUnit, R::Busy, "");
        // Command, status, value, unit.
        row("command stable", "S S      100.00 g", S::CommandStatusValue, R::Stable, "10000/2", "g");
        row("command moving", "S D      100.01 g", S::CommandStatusValue, R::Unstable, "10001/2", "g");
        row("command overload", "S +", S::CommandStatusValue, R::Overload, "");
        row("command underload", "S -", S::CommandStatusValue, R::Underload, "");
        row("command busy", "S I", S::CommandStatusValue, R::Busy, "");
        row("syntax error", "ES", S::CommandStatusValue, R::Error, "");
        row("logic error", "EL\r\n", S::CommandStatusValue, R::Error, "");
        // Header, comma, value, unit.
        row("header stable", "ST,+00123.45  g", S::HeaderCommaValue, R::Stable, "12345/2", "g");
        row("header unstable", "US,-00012.34  g", S::HeaderCommaValue, R::Unstable, "-1234/2", "g");
        row("header overload", "OL,+9999999  g", S::HeaderCommaValue, R::Overload, "9999999/0", "g");
        row("header count", "QT,+0000012 PC", S::HeaderCommaValue, R::Stable, "12/0", "PC");
        row("two headers", "ST,GS,+00123.45  g", S::HeaderCommaValue, R::Stable, "12345/2", "g");
        // Anything else with one number and a unit.
        row("labelled", "Net: 152.37 g", S::NumberAndUnit, R::Unknown, "15237/2", "g");
        row("unit joined on", "W=12.5kg", S::NumberAndUnit, R::Unknown, "125/1", "kg");
        row("marked moving", "? 152.37g", S::NumberAndUnit, R::Unknown, "15237/2", "g");
        // Not readings, and hostile lines.
        row("empty", "", S::NotAReading, R::NotAReading, "");
        row("CR LF alone", "\r\n", S::NotAReading, R::NotAReading, "");
        row("text", "BALANCE READY", S::NotAReading, R::NotAReading, "");
        row("two numbers", "12 g 13 g", S::NotAReading, R::NotAReading, "");
        row("not a unit", "+  152.37 parsecs", S::NotAReading, R::NotAReading, "");
        row("unit of 40 letters", "+ 1.5 abcdefghijabcdefghijabcdefghijabcdefghij", S::NotAReading, R::NotAReading, "");
        row("bytes above 127", "+ 1.5 \xb5g\xff", S::NotAReading, R::NotAReading, "");
        const QByteArray digits500 = "+ " + QByteArray(500, '7') + " g";
        QTest::newRow("a number of 500 digits") << digits500 << S::NotAReading << R::NotAReading << QString()
                                               << QByteArray() << QByteArray();
        row("18 digits still fit", "+ 123456789012345678 g", S::SignValueUnit, R::Stable, "123456789012345678/0", "g");
    }
    void shouldDecodeEachShape()
    {
        QFETCH(QByteArray, line);
        QFETCH(ReplyShape, shape);
        QFETCH(ReadingStatus, status);
        QFETCH(QString, value);
        QFETCH(QByteArray, unit);
        QFETCH(QByteArray, identifier);
        const Reply reply = decodeReply(line);
        QCOMPARE(int(reply.shape), int(shape));
        QCOMPARE(int(reply.status), int(status));
        QCOMPARE(reply.hasValue, !value.isEmpty());
        if (reply.hasValue)
            QCOMPARE(QStringLiteral("%1/%2").arg(reply.value.mantissa).arg(reply.value.decimals), value);
        QCOMPARE(reply.unit.toByteArray(), unit);
        QCOMPARE(reply.identifier.toByteArray(), identifier);
    }

    // What balances send, weighings and everything else, as one corpus: the
    // statistics must take every line of the first kind and none of the second.
    void shouldTellWeighingsFromOtherLines_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<bool>("weighing");
        const char *weighings[] = {
            "     +  152.37 g", "     -    0.03 g", "+  152.370 g", "+ 0.00002 kg", "-  12.5 kg", "+    12 pcs",
            "+  152.37", "-    0.01", "+ 1 234.5 g", "+  152,37 g", "N     +    12.3 kg", "G     +  200.00 g",
            "NET   +  100.00 g", "GS    +  100.10 g", "    +  5.3714 ct", "    +  0.3375 oz", "+  0.33592 lb",
            "+   99.9 %", "+  3.2145 ozt", "+  2.4507 dwt", "S S      100.00 g", "S D      100.01 g",
            "S S     -0.02 g", "SI S   1.00000 kg", "SI D   0.99998 kg", "SU S    12.000 pcs", "SIR D   152.3 g",
            "S S   0.00 g", "ST,+00123.45  g", "US,-00012.34  g", "ST,GS,+00123.45  g", "QT,+0000012 PC",
            "ST,+000152.37   g", "US,+000152.38   g", "? 152.37g", "Net: 152.37 g", "W=12.5kg", "*  +152.37 g *",
            "152.37 g", "  0.000 g", "+0152.37g",
        };
        const char *others[] = {
            "  CAL   200.00 g", "CAL 0", "CAL 200", "CAL done", "CAL E", "Error 5 t", "Err 3", "ERROR",
            "N +", "OK -", "OK", "A", "I4 A \"ABC123\"", "Nominal 200.00 g", "Actual 200.01 g",
            "Diff    0.01 g", "Set  200.00 g", "Target 100 g", "Date 2026-12-08", "Time 14:03:27",
            "Date: 08.12.2026", "Model XS204", "S/N 1234567", "SN: 0012345678", "Balance ID 7",
            "Signature", "Signature ________", "--------------------", "====================", "",
            "   ", "-- GLP --", "Calibration", "Calibration finished", "Cal. weight 200.00 g",
            "Temp 21.5 C", "Adjustment: external", "User: 3", "Project 12", "Tare 10.00 g",
            "Zero", "Z A", "T S    0.00 g", "BALANCE READY", "Ver. 1.02",
        };
        for (const char *line : weighings)
            QTest::newRow(line) << QByteArray(line) << true;
        for (const char *line : others)
            QTest::newRow(*line ? line : "(empty)") << QByteArray(line) << false;
    }
    void shouldTellWeighingsFromOtherLines()
    {
        QFETCH(QByteArray, line);
        QFETCH(bool, weighing);
        const Reply reply = decodeReply(line + "\r\n");
        const bool taken = reply.shape != ReplyShape::NotAReading && reply.status <= ReadingStatus::Unknown
                           && reply.hasValue;
        QCOMPARE(taken, weighing);
        if (!weighing)
            QCOMPARE(int(reply.shape), int(ReplyShape::NotAReading));
    }

    void shouldAnswerAMegabyteLineQuickly()
    {
        // A line of megabytes is no reading, and costs one pass over it.
        const QByteArray line = QByteArray(4 << 20, '5') + " g";
        QCOMPARE(int(decodeReply(line).shape), int(ReplyShape::NotAReading));
        const QByteArray blanks = "+" + QByteArray(4 << 20, ' ') + "1 g";
        QCOMPARE(decodeReply(blanks).value.mantissa, 1);
    }
};

QTEST_APPLESS_MAIN(TestReplyDecoder)
#include "tst_replydecoder.moc"
