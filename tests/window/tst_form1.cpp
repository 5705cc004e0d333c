#include "FakeComm.h"
#include "ScriptedDialogs.h"
#include "receivebox/ReceiveBox.h"
#include "window/Fonts.h"
#include "window/Form1.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTimer>
#include <QtTest>

using namespace ondril;

namespace {
// Shown and given the keyboard, as on the operator's screen.
bool showActive(Form1 &form)
{
    form.showCentred();
    QApplication::setActiveWindow(&form);
    return QTest::qWaitForWindowActive(&form);
}
} // namespace

class TestForm1 : public QObject {
    Q_OBJECT

    FakeComm comm;
    ScriptedDialogs dialogs;

private slots:
    void initTestCase() { installFontSubstitutes(); }

    void shouldStartFromTheInitialValues()
    {
        Form1 form(&comm, &dialogs);
        QCOMPARE(form.objectName(), QStringLiteral("Form1"));
        QCOMPARE(form.windowTitle(), QStringLiteral("Brivon Electronic Balance Communications Test"));
        QCOMPARE(form.Combo1->currentText(), QStringLiteral("COM 1"));
        QCOMPARE(form.Combo2->currentText(), QStringLiteral("600"));
        QCOMPARE(form.Text1->text(), QStringLiteral("1000"));
        QVERIFY(form.Text2->text().isEmpty());
        QVERIFY(form.Text3->text().isEmpty());
        QVERIFY(form.Text4->text().isEmpty());
        QVERIFY(!form.Check1->isChecked());
        QVERIFY(!form.Check2->isChecked());
        QVERIFY(form.Check3->isChecked());
        QCOMPARE(form.Command1->text(), QStringLiteral("Cycle Print"));
        QVERIFY(form.Command1->isEnabled() && form.Command2->isEnabled());
        QCOMPARE(form.Label1->text(), QStringLiteral("c:\\brivontest\\Recdata0.txt"));
        QVERIFY(!form.Timer1->isActive());
        QCOMPARE(form.Timer1->interval(), 1000);
        QCOMPARE(form.PortNo, qint16(0));
        QCOMPARE(form.CommLoopStop, qint16(0));
        QCOMPARE(form.TimerLoopStop, qint16(0));
        QVERIFY(!form.MSComm1->portOpen());

        QStringList ports, speeds;
        for (int i = 0; i < form.Combo1->count(); ++i)
            ports << form.Combo1->itemText(i);
        for (int i = 0; i < form.Combo2->count(); ++i)
            speeds << form.Combo2->itemText(i);
        QCOMPARE(ports, (QStringList{"COM 1", "COM 2", "COM 3", "COM 4", "COM 5", "COM 6", "COM 7",
                                     "COM 8", "COM 9", "COM 10", "COM 11", "COM 12"}));
        QCOMPARE(speeds, (QStringList{"600", "1200", "2400", "4800", "9600"}));

        // One menu item, EXIT, with no sub-items and no shortcut.
        const QList<QAction *> menu = form.menuBar()->actions();
        QCOMPARE(menu.size(), 1);
        QCOMPARE(menu[0]->text(), QStringLiteral("EXIT"));
        QVERIFY(!menu[0]->menu());
        QVERIFY(menu[0]->shortcut().isEmpty());
    }

    void shouldPlaceEveryControl_data()
    {
        // Pixels at 15 twips each.
        QTest::addColumn<QRect>("rect");
        QTest::newRow("Command1") << QRect(64, 80, 123, 41);
        QTest::newRow("Command2") << QRect(64, 144, 99, 33);
        QTest::newRow("Command3") << QRect(184, 144, 99, 33);
        QTest::newRow("Command4") << QRect(304, 144, 99, 33);
        QTest::newRow("Command5") << QRect(424, 144, 99, 33);
        QTest::newRow("Command6") << QRect(544, 144, 99, 33);
        QTest::newRow("Command8") << QRect(112, 352, 97, 33);
        QTest::newRow("Command7") << QRect(112, 400, 97, 33);
        QTest::newRow("Command9") << QRect(112, 472, 97, 33);
        QTest::newRow("Combo1") << QRect(128, 32, 97, 32);
        QTest::newRow("Combo2") << QRect(384, 32, 81, 32);
        QTest::newRow("Text1") << QRect(384, 88, 73, 33);
        QTest::newRow("Label2") << QRect(104, 248, 181, 31);
        QTest::newRow("Label3") << QRect(72, 32, 49, 25);
        QTest::newRow("Label4") << QRect(272, 32, 97, 25);
        QTest::newRow("Label5") << QRect(464, 96, 33, 25);
        QTest::newRow("Label6") << QRect(256, 88, 121, 25);
        QTest::newRow("Label7") << QRect(104, 200, 177, 25);
        QTest::newRow("Check1") << QRect(112, 288, 113, 25);
        QTest::newRow("Text2") << QRect(296, 248, 369, 321);
        QTest::newRow("Text3") << QRect(296, 200, 33, 33);
        QTest::newRow("Text4") << QRect(336, 200, 33, 33);
        QTest::newRow("Check2") << QRect(112, 320, 113, 25);
        QTest::newRow("Label1") << QRect(24, 440, 257, 25);
        QTest::newRow("Check3") << QRect(112, 520, 105, 25);
    }
    void shouldPlaceEveryControl()
    {
        QFETCH(QRect, rect);
        Form1 form(&comm, &dialogs);
        form.show();
        auto *w = form.findChild<QWidget *>(QLatin1String(QTest::currentDataTag()));
        QVERIFY(w);
        QCOMPARE(w->geometry(), rect);
        QVERIFY(w->isVisible());

        // Enlarging the window moves nothing.
        form.resize(form.width() + 200, form.height() + 150);
        QCoreApplication::processEvents();
        QCOMPARE(w->geometry(), rect);
    }

    void shouldHaveTheClientAreaBelowTheMenu()
    {
        Form1 form(&comm, &dialogs);
        form.show();
        QVERIFY(QTest::qWaitForWindowExposed(&form));
        QCOMPARE(form.centralWidget()->size(), QSize(708, 611));
        QCOMPARE(form.centralWidget()->y(), form.menuBar()->height());
    }

    void shouldKeepCaptionsInsideTheirBoxes()
    {
#ifdef Q_OS_WIN
        QSKIP("Wine has neither the window's fonts nor their metrics: checked on Windows itself");
#endif
        Form1 form(&comm, &dialogs);
        form.show();
        const auto fits = [](QWidget *w, const QString &text, int room) {
            const int need = w->fontMetrics().horizontalAdvance(text);
            return need <= room ? QString() : QStringLiteral("%1: \"%2\" needs %3 px, has %4")
                                                  .arg(w->objectName(), text).arg(need).arg(room);
        };
        for (QLabel *l : form.findChildren<QLabel *>()) {
            if (l == form.Label1)
                continue; // a path: its own eliding
            const QString e = fits(l, l->text(), l->width());
            QVERIFY2(e.isEmpty(), qPrintable(e));
        }
        for (QPushButton *b : form.findChildren<QPushButton *>()) {
            const QString e = fits(b, b->text(), b->width() - 8);
            QVERIFY2(e.isEmpty(), qPrintable(e));
        }
        for (QCheckBox *c : form.findChildren<QCheckBox *>()) {
            const QString e = fits(c, c->text(), c->width() - 20); // less the box
            QVERIFY2(e.isEmpty(), qPrintable(e));
        }
        // The substitutes stand in at the sizes the layout was drawn for.
        QCOMPARE(form.Combo1->font().pointSizeF(), 13.5);
        QCOMPARE(form.Text2->font().pointSizeF(), 9.75);
        QCOMPARE(form.Text3->font().pointSizeF(), 12.0);
        QVERIFY(form.Command1->font().bold());
        QVERIFY(!form.Check1->font().bold());
        const QStringList sans = {"MS Sans Serif", "Liberation Sans", "DejaVu Sans"};
        QVERIFY2(sans.contains(QFontInfo(form.Combo1->font()).family()),
                 qPrintable(QFontInfo(form.Combo1->font()).family()));
    }

    void shouldVisitControlsInTabOrder()
    {
        Form1 form(&comm, &dialogs);
        QVERIFY(showActive(form));

        const auto owner = [&form](QWidget *w) -> QString {
            // A combo box's typing field stands for the combo box.
            while (w && w != &form && !w->objectName().startsWith(QLatin1String("Co"))
                   && !w->objectName().startsWith(QLatin1String("Te"))
                   && !w->objectName().startsWith(QLatin1String("Ch")))
                w = w->parentWidget();
            return w ? w->objectName() : QString();
        };
        QStringList visited{owner(QApplication::focusWidget())};
        for (int i = 0; i < 16; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << owner(QApplication::focusWidget());
        }
        QCOMPARE(visited, (QStringList{"Command1", "Command2", "Command3", "Command4", "Command5",
                                       "Command6", "Command8", "Command7", "Command9", "Combo1",
                                       "Combo2", "Text1", "Check1", "Text2", "Check2", "Check3",
                                       "Command1"}));
    }

    void shouldRefuseASixthCharacterInText1()
    {
        Form1 form(&comm, &dialogs);
        form.Text1->clear();
        QTest::keyClicks(form.Text1, QStringLiteral("123456"));
        QCOMPARE(form.Text1->text(), QStringLiteral("12345"));
    }

    void shouldKeepHexBoxesOutOfReachButWritable()
    {
        Form1 form(&comm, &dialogs);
        QVERIFY(showActive(form));
        for (QLineEdit *box : {form.Text3, form.Text4}) {
            form.Command1->setFocus();
            QTest::mouseClick(box, Qt::LeftButton);
            QVERIFY(!box->hasFocus());
            QVERIFY(!box->isEnabled());
            box->setText(QStringLiteral("1B"));
            QCOMPARE(box->text(), QStringLiteral("1B"));
        }
    }

    void shouldNameEveryBoxForScreenReaders()
    {
        Form1 form(&comm, &dialogs);
        const std::pair<QWidget *, const char *> named[] = {{form.Text1, "Time interval"},
                                                            {form.Text2, "Receive data(ASCII)"},
                                                            {form.Text3, "Send data (HEX)"},
                                                            {form.Text4, "Send data (HEX)"}};
        for (const auto &[box, name] : named) {
            QAccessibleInterface *a = QAccessible::queryAccessibleInterface(box);
            QVERIFY(a);
            QCOMPARE(a->text(QAccessible::Name), QLatin1String(name));
        }
    }

    void shouldRaiseNothingForATypedComboValue()
    {
        Form1 form(&comm, &dialogs);
        QVERIFY(showActive(form));
        for (QComboBox *box : {form.Combo1, form.Combo2}) {
            QSignalSpy picks(box, &QComboBox::activated);
            const int entries = box->count();
            box->setFocus();
            box->lineEdit()->selectAll();
            QTest::keyClicks(box->lineEdit(), QStringLiteral("77"));
            QTest::keyClick(box->lineEdit(), Qt::Key_Return);
            form.Text1->setFocus(); // leaving the box does not pick either
            QCOMPARE(picks.count(), 0);
            QCOMPARE(box->count(), entries);

            // The arrow keys do choose an entry: the spy is alive.
            box->setFocus();
            QTest::keyClick(box, Qt::Key_Down);
            QCOMPARE(picks.count(), 1);
        }
    }

    void shouldShowDeviceAndFileTextsPlainly()
    {
        Form1 form(&comm, &dialogs);
        for (QLabel *l : form.findChildren<QLabel *>())
            QCOMPARE(l->textFormat(), Qt::PlainText);
        QCOMPARE(form.Label1->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
        QCOMPARE(form.Label2->palette().color(QPalette::WindowText), QColor(Qt::black));
        for (QLabel *l : form.findChildren<QLabel *>())
            QCOMPARE(l->focusPolicy(), Qt::NoFocus);

        QCOMPARE(form.Text2->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(form.Text2->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
        for (QPushButton *b : form.findChildren<QPushButton *>())
            QVERIFY(!b->autoDefault() && !b->isDefault());
    }

    void shouldReportErrorsAndGoOn()
    {
        Form1 form(&comm, &dialogs);
        dialogs.messages.clear();
        form.Text2->insertTyped(QStringLiteral("collected"));
        form.reportError(QStringLiteral("ERROR: disk full"));
        QCOMPARE(dialogs.messages, QStringList{"ERROR: disk full"});
        QCOMPARE(form.Text2->text(), QStringLiteral("collected"));
        QVERIFY(!form.isUnloaded());
    }
};

QTEST_MAIN(TestForm1)
#include "tst_form1.moc"
