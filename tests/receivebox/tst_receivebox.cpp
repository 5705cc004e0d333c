// The receive box as an operator and a balance use it: editing anywhere with
// the bytes Save then writes, the caret and the view after an append, rows
// wrapping at the edge, the clipboard and the mouse, assistive technology,
// and a box that runs out of memory.
#include "receivebox/ReceiveBox.h"
#include "window/Fonts.h"

#include <QAccessible>
#include <QAccessibleTextInterface>
#include <QApplication>
#include <QClipboard>
#include <QInputMethodEvent>
#include <QMenu>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ondril;

namespace {

// A box as the window has it: its font, its size, shown and focused.
struct Box {
    ReceiveBox box;
    Box()
    {
        box.setFont(formFont(FontKey::M10));
        box.resize(369, 321);
        box.show();
        box.activateWindow();
        box.setFocus();
        (void)QTest::qWaitForWindowExposed(&box);
    }
    QByteArray bytes() const { return box.bytes().toByteArray(); }
};

// Key presses as a keyboard with these characters on its keys sends them.
void type(QWidget *w, const QString &text)
{
    for (const QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
        QApplication::sendEvent(w, &press);
    }
}

// What the screen shows of the box's text area against a full repaint of the
// same state: they differ where a paint left old pixels behind.
bool paintedAsHeld(ReceiveBox &box)
{
    QTest::qWait(250); // paced paints and scrolls done
    QWidget *view = box.viewport();
    const QImage shown = box.screen()
                             ->grabWindow(box.window()->winId())
                             .toImage()
                             .copy(QRect(view->mapTo(box.window(), QPoint(0, 0)), view->size()))
                             .convertToFormat(QImage::Format_RGB32);
    const QImage fresh = view->grab().toImage().convertToFormat(QImage::Format_RGB32);
    return !shown.isNull() && shown == fresh;
}

// The box's rows as they were laid out edit by edit are those of a layout
// made afresh.
bool laidOutAsNew(const BoxText &t)
{
    BoxText fresh;
    if (!fresh.replace(0, 0, t.bytes()))
        return false;
    fresh.setMetrics(t.metrics());
    if (fresh.rowCount() != t.rowCount())
        return false;
    for (qint64 n = 0; n < t.rowCount(); ++n) {
        const BoxText::Row a = t.row(n);
        const BoxText::Row b = fresh.row(n);
        if (a.start != b.start || a.end != b.end || a.line != b.line || t.rowOf(a.start).number != n)
            return false;
    }
    return true;
}

} // namespace

class TestReceiveBox : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { installFontSubstitutes(); }

    void shouldEditAnywhereAndSaveWhatIsShown_data()
    {
        QTest::addColumn<int>("anchor"); // -1: at the end
        QTest::addColumn<int>("caret");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("saved");
        QTest::addColumn<int>("caretAfter");
        const QString type = QStringLiteral("type");
        // The box holds "A1\r\nB2\r\n".
        QTest::newRow("typed at the start") << 0 << 0 << type << "x" << QByteArray("xA1\r\nB2\r\n") << 1;
        QTest::newRow("typed in the middle") << 1 << 1 << type << "x" << QByteArray("Ax1\r\nB2\r\n") << 2;
        QTest::newRow("typed at the end") << -1 << -1 << type << "x" << QByteArray("A1\r\nB2\r\nx") << 9;
        QTest::newRow("outside Latin-1") << -1 << -1 << type << "\u20AC\u00E9" << QByteArray("A1\r\nB2\r\n?\xE9") << 10;
        QTest::newRow("typed over a selection") << 1 << 5 << type << "-" << QByteArray("A-2\r\n") << 2;
        QTest::newRow("Enter") << 2 << 2 << "key" << "Return" << QByteArray("A1\r\n\r\nB2\r\n") << 4;
        QTest::newRow("Backspace joins lines") << 4 << 4 << "key" << "Backspace" << QByteArray("A1B2\r\n") << 2;
        QTest::newRow("Delete joins lines") << 2 << 2 << "key" << "Delete" << QByteArray("A1B2\r\n") << 2;
        QTest::newRow("Backspace at the start") << 0 << 0 << "key" << "Backspace" << QByteArray("A1\r\nB2\r\n") << 0;
        QTest::newRow("Delete a selection") << 0 << 5 << "key" << "Delete" << QByteArray("2\r\n") << 0;
        QTest::newRow("pasted") << 4 << 4 << "paste" << "p\nq\r\nr" << QByteArray("A1\r\np\r\nq\r\nrB2\r\n") << 11;
        QTest::newRow("cut") << 0 << 4 << "cut" << "" << QByteArray("B2\r\n") << 0;
        QTest::newRow("input method") << 1 << 1 << "commit" << "\u00E4\u4E2D\U0001F600"
                                      << QByteArray("A\xE4??1\r\nB2\r\n") << 4;
    }
    void shouldEditAnywhereAndSaveWhatIsShown()
    {
        QFETCH(int, anchor);
        QFETCH(int, caret);
        QFETCH(QString, action);
        QFETCH(QString, text);
        QFETCH(QByteArray, saved);
        QFETCH(int, caretAfter);
        Box b;
        b.box.append(u"A1\r\nB2\r\n");
        const qint64 end = b.box.content().size();
        b.box.setSelection(anchor < 0 ? end : anchor, caret < 0 ? end : caret);
        if (action == QLatin1String("type")) {
            type(&b.box, text);
        } else if (action == QLatin1String("key")) {
            const QMap<QString, Qt::Key> keys{{"Return", Qt::Key_Return},
                                              {"Backspace", Qt::Key_Backspace},
                                              {"Delete", Qt::Key_Delete}};
            QTest::keyClick(&b.box, keys.value(text));
        } else if (action == QLatin1String("paste")) {
            QGuiApplication::clipboard()->setText(text);
            QTest::keySequence(&b.box, QKeySequence::Paste);
        } else if (action == QLatin1String("cut")) {
            QTest::keySequence(&b.box, QKeySequence::Cut);
            QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("A1\n"));
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(text);
            QCoreApplication::sendEvent(&b.box, &commit);
        }
        QCOMPARE(b.bytes(), saved);
        QCOMPARE(b.box.caretPosition(), qint64(caretAfter));
        QCOMPARE(b.box.content().lineCount(), saved.count('\n') + 1);
    }

    void shouldShowTheEndWithTheCaretThereAfterEveryAppend()
    {
        Box b;
        for (int i = 0; i < 200; ++i)
            b.box.append(QStringLiteral("%1 +  152.37 g\r\n").arg(i));
        QScrollBar *bar = b.box.verticalScrollBar();
        QCOMPARE(b.box.caretPosition(), b.box.content().size());
        const qint64 bottom = b.box.content().rowCount() - b.box.visibleRows();
        QCOMPARE(b.box.topRow(), bottom);
        QTest::keyClick(&b.box, Qt::Key_PageUp);
        QCOMPARE(b.box.topRow(), bottom - b.box.visibleRows());
        QCOMPARE(b.box.content().rowOf(b.box.caretPosition()).number, b.box.content().rowCount() - 1 - b.box.visibleRows());
        bar->setValue(3); // the scroll bar moves the rows, not the caret
        QCOMPARE(b.box.topRow(), 3);

        // The operator scrolls up and puts the caret at the start; the next line brings both back.
        QTest::keySequence(&b.box, QKeySequence::MoveToStartOfDocument);
        QCOMPARE(b.box.topRow(), 0);
        b.box.append(u"next\r\n");
        QCOMPARE(b.box.caretPosition(), b.box.content().size());
        QCOMPARE(b.box.topRow(), b.box.content().rowCount() - b.box.visibleRows());
        QTRY_COMPARE(bar->value(), bar->maximum()); // once the paced paint has come
        QCOMPARE(bar->maximum(), int(b.box.topRow()));
        QVERIFY(b.box.caretRect().bottom() < b.box.viewport()->height());
    }

    void shouldWrapAnywhereAtTheEdge()
    {
        Box b;
        const QString wide(300, QLatin1Char('W'));
        b.box.append(wide + QStringLiteral("\r\nshort\r\n"));
        const BoxText &t = b.box.content();
        const float rowWidth = t.metrics().rowWidth;
        const float cell = t.metrics().cell['W'];
        QVERIFY(rowWidth > 0 && cell > 0);
        const int perRow = int(rowWidth / cell); // the cells that fit
        QCOMPARE(t.rowCount(), (300 + perRow - 1) / perRow + 2);
        for (BoxText::Row row = t.row(0); row.line == 0; row = t.following(row)) {
            QVERIFY(t.width(row.start, row.end) <= rowWidth);
            QVERIFY(row.end == t.lineEnd(0) || t.width(row.start, row.end + 1) > rowWidth);
        }
        // The caret moves down a row within the line, and the second row starts at the left.
        b.box.setSelection(0, 0);
        QTest::keyClick(&b.box, Qt::Key_Down);
        QCOMPARE(b.box.caretPosition(), qint64(perRow));
        QCOMPARE(b.box.caretRect().topLeft(), b.box.cellRect(0).topLeft() + QPoint(0, b.box.cellRect(0).height()));
        // End stays on its row; the next row is a line of its own below.
        QTest::keyClick(&b.box, Qt::Key_End);
        QCOMPARE(b.box.caretPosition(), qint64(2 * perRow));
        QCOMPARE(b.box.caretRect().y(), b.box.cellRect(perRow).y());
    }

    void shouldPaintWhatItHolds_data()
    {
        QTest::addColumn<QString>("sequence");
        QTest::newRow("a paint between paced lines and their flush") << "uncovered";
        QTest::newRow("typed at the start of a wrapped row") << "wrap";
        QTest::newRow("deleted at the start of a wrapped row") << "unwrap";
    }
    void shouldPaintWhatItHolds()
    {
        QFETCH(QString, sequence);
        Box b;
        ReceiveBox &box = b.box;
        if (sequence == QLatin1String("uncovered")) {
            // Lines streaming in: the first painted at once, the next held,
            // and a paint in between as a window uncovers the box. The caret
            // is elsewhere, so only new rows are painted.
            box.clearFocus();
            for (int i = 0; i < 40; ++i)
                box.append(QStringLiteral("%1 +  152.37 g\r\n").arg(i));
            QTest::qWait(250);
            for (int i = 40; i < 45; ++i)
                box.append(QStringLiteral("%1 +  152.37 g\r\n").arg(i));
            box.viewport()->repaint();
            box.append(u"45 +  152.37 g\r\n");
        } else {
            // A row of W that leaves room for a '.' but not for another W;
            // the next row starts with a W that would fit in place of the '.'.
            const auto &cell = box.content().metrics().cell;
            const float rowWidth = box.content().metrics().rowWidth;
            QByteArray row;
            float used = 0;
            for (; used + cell['W'] <= rowWidth; used += cell['W'])
                row += 'W';
            for (qsizetype i = row.size() - 1; i >= 0 && rowWidth - used < cell['.']; --i) {
                row[i] = 'n';
                used += cell['n'] - cell['W'];
            }
            const bool typing = sequence == QLatin1String("wrap");
            box.append(QString::fromLatin1(row + (typing ? "WWWW\r\n" : "W.WWW\r\n")));
            QCOMPARE(box.content().row(0).end, qint64(row.size()));
            box.clearFocus(); // no caret: only the rows that changed are painted
            QTest::qWait(250);
            box.setSelection(row.size(), row.size());
            QTest::qWait(50);
            if (typing)
                box.insertTyped(QStringLiteral("."));
            else
                QTest::keyClick(&box, Qt::Key_Delete);
            QCOMPARE(box.content().row(0).end, qint64(row.size() + 1)); // the dot went up
        }
        QVERIFY(paintedAsHeld(box));
    }

    void shouldUndoTheOperatorsEditsOnly_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QByteArray>("edited");
        // The box holds "A1\r\nB2\r\n"; a line comes in after the edit.
        QTest::newRow("Select All and a key") << "all x" << QByteArray("xC3\r\n");
        QTest::newRow("a typing run is one step") << "type abc" << QByteArray("abcA1\r\nB2\r\nC3\r\n");
        QTest::newRow("paste") << "paste" << QByteArray("p\r\nqA1\r\nB2\r\nC3\r\n");
        QTest::newRow("cut") << "cut" << QByteArray("B2\r\nC3\r\n");
        QTest::newRow("Backspace") << "backspace" << QByteArray("A1B2\r\nC3\r\n");
    }
    void shouldUndoTheOperatorsEditsOnly()
    {
        QFETCH(QString, edit);
        QFETCH(QByteArray, edited);
        Box b;
        ReceiveBox &box = b.box;
        box.append(u"A1\r\nB2\r\n");
        if (edit == QLatin1String("all x")) {
            QTest::keySequence(&box, QKeySequence::SelectAll);
            type(&box, QStringLiteral("x"));
        } else if (edit == QLatin1String("type abc")) {
            box.setSelection(0, 0);
            type(&box, QStringLiteral("abc"));
        } else if (edit == QLatin1String("paste")) {
            QGuiApplication::clipboard()->setText(QStringLiteral("p\nq"));
            box.setSelection(0, 0);
            QTest::keySequence(&box, QKeySequence::Paste);
        } else if (edit == QLatin1String("cut")) {
            box.setSelection(0, 4);
            QTest::keySequence(&box, QKeySequence::Cut);
        } else {
            box.setSelection(4, 4);
            QTest::keyClick(&box, Qt::Key_Backspace);
        }
        box.append(u"C3\r\n");
        QCOMPARE(b.bytes(), edited);

        QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(b.bytes(), QByteArray("A1\r\nB2\r\nC3\r\n"));
        QVERIFY(!box.canUndo()); // received lines are no step
        QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(b.bytes(), edited);
        QTest::keyClick(&box, Qt::Key_Z, Qt::ControlModifier);
        QTest::keyClick(&box, Qt::Key_Y, Qt::ControlModifier);
        QCOMPARE(b.bytes(), edited);

        // The context menu offers it too; Clear is not undone.
        QMenu *menu = box.createContextMenu(&box);
        QAction *undo = menu->actions().value(0);
        QVERIFY(undo && undo->text().startsWith(QLatin1String("&Undo")) && undo->isEnabled());
        undo->trigger();
        QCOMPARE(b.bytes(), QByteArray("A1\r\nB2\r\nC3\r\n"));
        delete menu;
        box.clear();
        QVERIFY(!box.canUndo() && !box.canRedo());
    }

    void shouldKeepTheRowsOfALongLineRightThroughEdits_data()
    {
        QTest::addColumn<double>("where"); // in the line, 0 to 1
        QTest::addColumn<QString>("edit");
        for (const double where : {0.0, 0.3, 0.5, 0.999, 1.0})
            for (const char *edit : {"type", "delete", "paste lines", "join lines"})
                QTest::addRow("%s at %g", edit, where) << where << QString::fromLatin1(edit);
    }
    void shouldKeepTheRowsOfALongLineRightThroughEdits()
    {
        QFETCH(double, where);
        QFETCH(QString, edit);
        Box b;
        ReceiveBox &box = b.box;
        QString line;
        for (int i = 0; line.size() < 60000; ++i)
            line += QStringLiteral("%1 +  %2 g ").arg(i % 97, 6).arg(i * 0.37, 0, 'f', 2);
        box.append(QStringLiteral("before\r\n") + line + QStringLiteral("\r\nafter\r\n"));
        const qint64 start = box.content().lineStart(1);
        const qint64 at = start + qint64(where * (box.content().lineEnd(1) - start));
        QVERIFY(box.content().rowCount() > 500);
        for (int i = 0; i < 3; ++i) {
            box.setSelection(at + i, at + i);
            if (edit == QLatin1String("type"))
                type(&box, QStringLiteral("W"));
            else if (edit == QLatin1String("delete"))
                QTest::keyClick(&box, Qt::Key_Backspace);
            else if (edit == QLatin1String("paste lines"))
                box.insertTyped(QStringLiteral("x\ny"));
            else
                box.setSelection(at - 100, at + 3000), box.insertTyped(QStringLiteral(".")), box.undo();
            QVERIFY(laidOutAsNew(box.content()));
        }
        box.resize(250, 200); // laid out afresh for another width
        QVERIFY(laidOutAsNew(box.content()));
    }

    void shouldSelectWithTheMouseAndCopy()
    {
        Box b;
        b.box.append(u"     +  152.37 g\r\n\x1b\r\n");
        const QPoint onNumber = b.box.cellRect(9).center();
        QTest::mouseDClick(b.box.viewport(), Qt::LeftButton, {}, onNumber);
        QCOMPARE(b.box.selectedText(), QStringLiteral("152.37"));
        QTest::mouseClick(b.box.viewport(), Qt::LeftButton, {}, b.box.cellRect(5).topLeft() + QPoint(1, 2));
        QCOMPARE(b.box.caretPosition(), 5);
        QTest::keyClick(&b.box, Qt::Key_End, Qt::ShiftModifier);
        QTest::keySequence(&b.box, QKeySequence::Copy);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("+  152.37 g"));

        std::unique_ptr<QMenu> menu(b.box.createContextMenu(nullptr));
        const QList<QAction *> actions = menu->actions();
        QCOMPARE(actions.size(), 8); // Undo, Redo, a separator, Cut, Copy, Paste, a separator, Select All
        QVERIFY(!actions[0]->isEnabled() && !actions[1]->isEnabled()); // nothing edited yet
        QVERIFY(actions[3]->isEnabled() && actions[4]->isEnabled() && actions[5]->isEnabled());
        actions[7]->trigger();
        QCOMPARE(b.box.selectedText(), QStringLiteral("     +  152.37 g\n\x1b\n"));
    }

    void shouldGiveItsTextToAssistiveTechnology()
    {
        Box b;
        b.box.setAccessibleName(QStringLiteral("Receive data(ASCII)"));
        b.box.append(u"first\r\nsecond\r\n");
        QAccessibleInterface *a = QAccessible::queryAccessibleInterface(&b.box);
        QVERIFY(a);
        QCOMPARE(a->role(), QAccessible::EditableText);
        QCOMPARE(a->text(QAccessible::Name), QStringLiteral("Receive data(ASCII)"));
        QAccessibleTextInterface *text = a->textInterface();
        QVERIFY(text && a->editableTextInterface());
        QCOMPARE(text->characterCount(), 15);
        QCOMPARE(text->text(0, 15), QStringLiteral("first\r\nsecond\r\n"));
        QCOMPARE(text->cursorPosition(), 15);
        int start = 0;
        int end = 0;
        QCOMPARE(text->textAtOffset(9, QAccessible::LineBoundary, &start, &end), QStringLiteral("second\r\n"));
        QCOMPARE(text->textBeforeOffset(9, QAccessible::LineBoundary, &start, &end), QStringLiteral("first\r\n"));
        QCOMPARE(text->textAtOffset(2, QAccessible::WordBoundary, &start, &end), QStringLiteral("first"));
        // The character under the point, as in any text box; none past a line's end.
        QCOMPARE(text->offsetAtPoint(text->characterRect(8).topLeft() + QPoint(1, 1)), 8);
        QCOMPARE(text->offsetAtPoint(text->characterRect(0).center()), 0);
        QCOMPARE(text->offsetAtPoint(text->characterRect(5).topLeft() + QPoint(40, 1)), -1);
    }

    void shouldNeverHoldHalfALineWhenMemoryRunsOut()
    {
#if defined(__SANITIZE_ADDRESS__)
        QSKIP("AddressSanitizer needs address space far beyond any limit set here");
#else
        // In a child, with the address space capped: appends of 1 MiB lines
        // fail at some point, cleanly, and the box keeps whole lines only.
        const pid_t child = fork();
        if (child == 0) {
            ReceiveBox box;
            int full = 0;
            QObject::connect(&box, &ReceiveBox::full, [&] { ++full; });
            QString line(1 << 20, QLatin1Char('x'));
            line += QStringLiteral("\r\n");
            rlimit cap{};
            getrlimit(RLIMIT_AS, &cap);
            QFile status(QStringLiteral("/proc/self/statm"));
            status.open(QIODevice::ReadOnly);
            const long pages = status.readAll().split(' ').first().toLong();
            cap.rlim_cur = rlim_t(pages) * rlim_t(sysconf(_SC_PAGESIZE)) + (64u << 20);
            setrlimit(RLIMIT_AS, &cap);
            int appended = 0;
            for (int i = 0; i < 1000 && box.append(line); ++i)
                ++appended;
            const bool refusedAgain = !box.append(line);
            const bool whole = box.content().size() == qint64(appended) * line.size()
                && box.content().lineCount() == appended + 1 && box.content().at(box.content().size() - 1) == '\n';
            _exit(appended > 0 && appended < 1000 && refusedAgain && full == 1 && whole ? 0 : 1);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY(WIFEXITED(status));
        QCOMPARE(WEXITSTATUS(status), 0);
#endif
    }
};

QTEST_MAIN(TestReceiveBox)
#include "tst_receivebox.moc"
