// The Readings window beside the main one: fed by what the main window sends
// and completes, opened from the menu to the right of EXIT, and leaving the
// main window's own behaviour as it is.
#include "Application.h"
#include "Files.h"
#include "FormRig.h"
#include "readings/FigureTable.h"
#include "readings/ReadingsWindow.h"
#include "readings/TrendView.h"

#include <QAccessible>
#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QMenu>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>

using namespace ondril;

class TestReadingsWindow : public QObject {
    Q_OBJECT
private slots:
    void shouldCountRepliesAndDiscardsFromTheMainWindow()
    {
        FormRig rig;
        QVERIFY(rig.loaded);
        ReadingsWindow readings(&rig.form, &rig.dialogs);
        addReadingsMenu(toolsMenu(&rig.form), &rig.form, &readings);
        // A balance that answers PRINT, with 4 bytes that land after the reply
        // and are discarded, and says nothing to TARE.
        rig.comm.onWrite = [&](const QByteArray &bytes) {
            if (bytes == "\x1bp") {
                rig.comm.lateBytes = "junk";
                QTimer::singleShot(5, [&] { rig.comm.feed("     +  152.37 g\r\n"); });
            }
        };
        rig.form.Command2->click();
        QTRY_COMPARE(readings.log().tally().total().replies, 1);
        rig.form.Command6->click(); // TARE: no reply
        rig.form.Command2->click(); // the TARE had its chance
        QTRY_COMPARE(readings.log().tally().total().replies, 2);
        const LinkTally &tally = readings.log().tally();
        QCOMPARE(tally.command(0).sent, 2);
        QCOMPARE(tally.command(4).noReply, 1);
        QCOMPARE(tally.discardedBytes(), 8);
        QCOMPARE(rig.shown(), QByteArray("     +  152.37 g\r\n     +  152.37 g\r\n")); // the box as ever

        // Opened from the menu to the right of EXIT, it shows the figures.
        const QList<QAction *> bar = rig.form.menuBar()->actions();
        QCOMPARE(bar.size(), 2);
        QCOMPARE(bar[0], rig.form.EXIT);
        QMenu *menu = bar[1]->menu();
        QVERIFY(menu);
        menu->actions().value(0)->trigger();
        QVERIFY(readings.isVisible());
        const QString link = readings.findChild<FigureTable *>(QStringLiteral("link"))->text();
        QVERIFY2(link.contains(QRegularExpression(QStringLiteral("PRINT +2 +2 +0 "))), qPrintable(link));
        const QString notes = readings.findChild<QLabel *>(QStringLiteral("linkNotes"))->text();
        QVERIFY2(notes.contains(QStringLiteral("bytes discarded: 8")), qPrintable(notes));
        const QString stats = readings.findChild<FigureTable *>(QStringLiteral("stats"))->text();
        QVERIFY2(stats.contains(QRegularExpression(QStringLiteral("g +2 +152.37000 +0.00000 +152.37 +152.37 +0.00 +100 %"))),
                 qPrintable(stats));

        // Export CSV… through the dialog seam; Reset starts again.
        QTemporaryDir dir;
        rig.dialogs.fileAnswers << dir.filePath(QStringLiteral("run.csv"));
        readings.findChild<QPushButton *>(QStringLiteral("exportCsv"))->click();
        QTRY_COMPARE(contents(dir.filePath(QStringLiteral("run.csv"))).count('\n'), 3);
        readings.findChild<QPushButton *>(QStringLiteral("reset"))->click();
        QCOMPARE(readings.log().size(), 0);
        QCOMPARE(readings.log().tally().total().sent, 0);

        // Figures of any width keep their columns apart.
        for (const char *line : {"     +  10.000000 g\r\n", "     +  999999999.999999 g\r\n"})
            emit rig.form.lineCompleted(QString::fromLatin1(line), {}, 0, 0, 0);
        const auto statsRows = [&] {
            return readings.findChild<FigureTable *>(QStringLiteral("stats"))->text().split(u'\n');
        };
        QTRY_COMPARE_WITH_TIMEOUT(statsRows().size(), 2, 3000);
        for (const QString &row : statsRows())
            QVERIFY2(row.trimmed().split(QRegularExpression(QStringLiteral(" {2,}"))).size() == 8, qPrintable(row));
    }

    void shouldZoomAndPanTheTrendAndCheckRepeatability()
    {
        FormRig rig;
        QVERIFY(rig.loaded);
        ReadingsWindow readings(&rig.form, &rig.dialogs);
        readings.show();
        int replies = 0;
        rig.comm.onWrite = [&](const QByteArray &) {
            rig.comm.feed(++replies % 2 ? "     +  100.00 g\r\n" : "     +  100.02 g\r\n");
        };
        for (int i = 0; i < 4; ++i) {
            rig.form.Command2->click();
            QTest::qWait(30); // readings apart in time
        }
        QTRY_COMPARE(readings.log().size(), 4);
        readings.refresh();

        auto *trend = readings.findChild<TrendView *>(QStringLiteral("trend"));
        QVERIFY(trend->following());
        const qint64 span = trend->toMs() - trend->fromMs();
        const QPointF middle = trend->rect().center();
        QWheelEvent wheel(middle, trend->mapToGlobal(middle), {}, {0, -240}, Qt::NoButton, {}, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(trend, &wheel); // out, two steps
        QVERIFY(!trend->following());
        const qint64 zoomed = trend->toMs() - trend->fromMs();
        QVERIFY2(qAbs(zoomed - span * 1.5625) <= 1, qPrintable(QString::number(zoomed))); // 1/0.8², to the ms
        const qint64 from = trend->fromMs();
        QTest::mousePress(trend, Qt::LeftButton, {}, middle.toPoint());
        QMouseEvent drag(QEvent::MouseMove, middle + QPointF(50, 0), trend->mapToGlobal(middle + QPointF(50, 0)),
                         Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(trend, &drag); // the run moves right: earlier times come in
        QVERIFY(trend->fromMs() < from);
        QCOMPARE(trend->toMs() - trend->fromMs(), zoomed); // a pan keeps the span
        QTest::mouseDClick(trend, Qt::LeftButton, {}, middle.toPoint());
        QVERIFY(trend->following());
        QCOMPARE(trend->toMs() - trend->fromMs(), span);

        // 100.00 and 100.02 by turns: s = 0.0115, 2·s/100 g = 0.0231 %.
        readings.findChild<QLineEdit *>(QStringLiteral("nominal"))->setText(QStringLiteral("100"));
        readings.findChild<QLineEdit *>(QStringLiteral("scaleInterval"))->setText(QStringLiteral("0,01"));
        const auto verdict = [&] { return readings.findChild<QLabel *>(QStringLiteral("repeatability"))->text(); };
        QCOMPARE(verdict(), QStringLiteral("2\u00b7s/nominal = 0.0231 % in g: pass (limit 0.10 %)"));
        readings.findChild<QLineEdit *>(QStringLiteral("nominal"))->setText(QStringLiteral("10"));
        QVERIFY2(verdict().contains(QStringLiteral("0.2309 % in g: fail")), qPrintable(verdict()));
    }

    // Keys alone reach every figure, and a screen reader is told each: the
    // window as a window, the tables cell by cell, the trend in words, a
    // name for every control, the verdict.
    void shouldServeKeysAndScreenReaders()
    {
        FormRig rig;
        QVERIFY(rig.loaded);
        ReadingsWindow readings(&rig.form, &rig.dialogs);
        addReadingsMenu(toolsMenu(&rig.form), &rig.form, &readings);
        rig.comm.onWrite = [&](const QByteArray &) {
            QTimer::singleShot(5, [&] { rig.comm.feed("     +  100.00 g\r\n"); });
        };
        for (int i = 0; i < 3; ++i) {
            rig.form.Command2->click();
            QTest::qWait(20);
        }
        QTRY_COMPARE(readings.log().tally().total().replies, 3);
        // A box one picks from is labelled by the caption beside it (its name is its value).
        const auto labels = QAccessible::queryAccessibleInterface(rig.form.Combo1)->relations(QAccessible::Label);
        QVERIFY(!labels.isEmpty());
        QCOMPARE(labels.first().first->text(QAccessible::Name), QStringLiteral("Port:"));
        QCOMPARE(rig.form.Combo2->lineEdit()->accessibleName(), QStringLiteral("Baud rate:"));

        rig.form.show();
        QVERIFY(QTest::qWaitForWindowActive(&rig.form));
        QTest::keyClick(&rig.form, Qt::Key_F10);
        QMenu *tools = rig.form.menuBar()->actions().value(1)->menu();
        QTRY_VERIFY(tools->isVisible());
        QTest::keyClick(tools, Qt::Key_R); // Readings window
        QTRY_VERIFY(readings.isVisible());
        QCOMPARE(QAccessible::queryAccessibleInterface(&readings)->role(), QAccessible::Window);
        auto *link = readings.findChild<FigureTable *>(QStringLiteral("link"));
        QTRY_COMPARE(readings.focusWidget(), link);
        QAccessibleTableInterface *cells = QAccessible::queryAccessibleInterface(link)->tableInterface();
        QVERIFY(cells);
        QCOMPARE(cells->cellAt(0, 0)->text(QAccessible::Name), QStringLiteral("PRINT"));
        QCOMPARE(cells->cellAt(0, 2)->text(QAccessible::Name), QStringLiteral("3")); // replies

        // Tab goes through every control in reading order, each named.
        QStringList order;
        for (QWidget *w = link; order.size() < 20;) {
            order << w->objectName();
            QVERIFY2(!QAccessible::queryAccessibleInterface(w)->text(QAccessible::Name).isEmpty(), qPrintable(w->objectName()));
            do
                w = w->nextInFocusChain();
            while (!(w->focusPolicy() & Qt::TabFocus) || !w->isVisibleTo(&readings));
            if (w == link)
                break;
        }
        QCOMPARE(order, QStringList({"link", "linkNotes", "stats", "nominal", "scaleInterval", "repeatability", "trend",
                                     "reset", "exportCsv"}));

        auto *trend = readings.findChild<TrendView *>(QStringLiteral("trend"));
        trend->repaint();
        const QString said = QAccessible::queryAccessibleInterface(trend)->text(QAccessible::Description);
        QVERIFY2(said.contains(QStringLiteral("g: 3 readings shown mean 100.00000")), qPrintable(said));
        QTest::keyClick(trend, Qt::Key_Minus);
        QVERIFY(!trend->following());
        const qint64 from = trend->fromMs();
        QTest::keyClick(trend, Qt::Key_Right);
        QVERIFY(trend->fromMs() > from);
        QTest::keyClick(trend, Qt::Key_Home);
        QVERIFY(trend->following());

        auto *verdict = readings.findChild<QLabel *>(QStringLiteral("repeatability"));
        readings.findChild<QLineEdit *>(QStringLiteral("nominal"))->setText(QStringLiteral("100"));
        QVERIFY2(QAccessible::queryAccessibleInterface(verdict)->text(QAccessible::Name).contains(QStringLiteral("pass")),
                 qPrintable(verdict->text()));

        link->setFocus();
        QTest::keyClick(link, Qt::Key_C, Qt::ControlModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), link->text());

        // Export CSV asks where to save; a name without a suffix gets .csv.
        QTemporaryDir dir;
        rig.dialogs.fileAnswers << dir.filePath(QStringLiteral("run"));
        readings.findChild<QPushButton *>(QStringLiteral("exportCsv"))->click();
        QVERIFY(rig.dialogs.requests.last().saving);
        QTRY_VERIFY(QFile::exists(dir.filePath(QStringLiteral("run.csv"))));

        QTest::keyClick(&readings, Qt::Key_Escape);
        QVERIFY(!readings.isVisible());
    }
};

QTEST_MAIN(TestReadingsWindow)
#include "tst_readingswindow.moc"
