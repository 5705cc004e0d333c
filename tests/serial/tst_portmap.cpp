#include "serial/LineSettings.h"
#include "serial/PortMap.h"

#include <QtTest>

using namespace ondril;

class TestPortMap : public QObject {
    Q_OBJECT
private slots:
    void shouldMapListEntriesToComNumbers_data()
    {
        QTest::addColumn<QString>("list");
        QTest::addColumn<QStringList>("devices"); // COM 1 .. COM 12, empty = missing

        const QString none;
        QTest::newRow("only COM 3") << "::/tmp/ttyV0"
                                    << QStringList{none, none, "/tmp/ttyV0", none, none, none,
                                                   none, none, none, none, none, none};
        QTest::newRow("empty: no port") << "" << QStringList(12, none);
        QTest::newRow("COM 1 and COM 12")
            << "/dev/ttyUSB0:::::::::::/dev/ttyS4"
            << QStringList{"/dev/ttyUSB0", none, none, none, none, none,
                           none, none, none, none, none, "/dev/ttyS4"};
        QStringList thirteen;
        for (int i = 1; i <= 13; ++i)
            thirteen << QStringLiteral("/dev/p%1").arg(i);
        QTest::newRow("beyond COM 12 ignored") << thirteen.join(':') << thirteen.mid(0, 12);
    }
    void shouldMapListEntriesToComNumbers()
    {
        QFETCH(QString, list);
        QFETCH(QStringList, devices);
        const PortMap map = PortMap::fromList(list);
        int present = 0;
        for (int n = 1; n <= 12; ++n) {
            QCOMPARE(map.device(n), devices[n - 1]);
            present += devices[n - 1].isEmpty() ? 0 : 1;
        }
        QCOMPARE(map.count(), present);
        QVERIFY(map.device(0).isEmpty());
        QVERIFY(map.device(13).isEmpty());
    }

    void shouldPreferEnvironmentEvenWhenEmpty()
    {
#ifndef Q_OS_WIN // where a variable set empty is no variable
        qputenv("ONDRIL_PORTS", "");
        QCOMPARE(PortMap::fromEnvironment().count(), 0);
#endif
        qputenv("ONDRIL_PORTS", ":/dev/null");
        QCOMPARE(PortMap::fromEnvironment().device(2), QStringLiteral("/dev/null"));
        QVERIFY(PortMap::fromEnvironment().toolTip(2).contains("/dev/null"));
        QCOMPARE(PortMap::fromEnvironment().toolTip(1), QStringLiteral("no device"));
    }

    void shouldOrderNamesNaturally()
    {
        QStringList names = {"ttyUSB10", "ttyS1", "ttyUSB2", "ttyS0", "ttyUSB02x", "ttyACM0"};
        std::sort(names.begin(), names.end(), naturalLess);
        QCOMPARE(names, (QStringList{"ttyACM0", "ttyS0", "ttyS1", "ttyUSB2", "ttyUSB02x", "ttyUSB10"}));
        QVERIFY(!naturalLess("ttyS1", "ttyS1"));
        QVERIFY(naturalLess("ttyS", "ttyS0"));
        QVERIFY(naturalLess("ttyS99999999999999999999", "ttyS100000000000000000000"));
    }

    void shouldWritePortText()
    {
        QCOMPARE(portText(1), QStringLiteral("COM 1"));
        QCOMPARE(portText(12), QStringLiteral("COM 12"));
    }

    void shouldParseLineSettings_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("stopTimesTwo");
        QTest::addColumn<QString>("written"); // the text back, and its short name
        QTest::addColumn<QString>("name");
        QTest::newRow("start-up") << "600,n,8,1" << true << 600 << 2 << "600,n,8,1" << "8N1";
        QTest::newRow("9600") << "9600,n,8,1" << true << 9600 << 2 << "9600,n,8,1" << "8N1";
        QTest::newRow("seven bits, odd") << "1200,o,7,1" << true << 1200 << 2 << "1200,o,7,1" << "7O1";
        QTest::newRow("two stop bits, even") << "4800,E,7,2" << true << 4800 << 4 << "4800,e,7,2" << "7E2";
        QTest::newRow("one and a half") << " 1200, o ,5,1.5" << true << 1200 << 3 << "1200,o,5,1.5" << "5O1.5";
        QTest::newRow("empty") << "" << false << 0 << 0 << "" << "";
        QTest::newRow("no speed") << ",n,8,1" << false << 0 << 0 << "" << "";
        QTest::newRow("letters for speed") << "fast,n,8,1" << false << 0 << 0 << "" << "";
        QTest::newRow("bad parity") << "600,x,8,1" << false << 0 << 0 << "" << "";
        QTest::newRow("nine data bits") << "600,n,9,1" << false << 0 << 0 << "" << "";
        QTest::newRow("three stop bits") << "600,n,8,3" << false << 0 << 0 << "" << "";
        QTest::newRow("too many fields") << "600,n,8,1,1" << false << 0 << 0 << "" << "";
    }
    void shouldParseLineSettings()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        LineSettings s;
        s.baud = -7;
        QCOMPARE(LineSettings::parse(text, &s), valid);
        if (valid) {
            QFETCH(int, baud);
            QFETCH(int, stopTimesTwo);
            QCOMPARE(s.baud, baud);
            QCOMPARE(s.stopBitsTimesTwo, stopTimesTwo);
            QTEST(s.text(), "written");
            QTEST(s.shortName(), "name");
        } else {
            QCOMPARE(s.baud, -7); // left alone
        }
    }
};

QTEST_GUILESS_MAIN(TestPortMap)
#include "tst_portmap.moc"
