// The receive box under load: appends and their paint with a short and with a
// long box, the memory a long box takes, Save and Clear of it, and a reply of
// 1 MiB without a line end.
#include "Application.h"
#include "BenchSupport.h"
#include "journal/Journal.h"
#include "journal/JournalMenu.h"
#include "readings/ReadingsWindow.h"
#include "receivebox/ReceiveBox.h"
#include "window/KeptChoices.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <fcntl.h>
#include <thread>
#include <unistd.h>

using namespace ondril;

namespace bench {

namespace {

const QString stampedLine = QStringLiteral("2026-12-07 14:03:27      +  152.37 g\r\n"); // 38 bytes

// Paints of the box's viewport.
class PaintWatch : public QObject {
public:
    explicit PaintWatch(QWidget *w) { w->installEventFilter(this); }
    int paints = 0;
    Clock::time_point last;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint) {
            ++paints;
            last = Clock::now();
        }
        return false;
    }
};

struct BoxCost {
    double appendAndPaintUs; // an append after a pause, as a balance's line comes, and its paint
    double paintUs;          // painting the whole box once
};

const QString receivedLine = QStringLiteral("     +  152.37 g\r\n");

// A line as reception takes it: into the box, and to what watches the link
// (the Readings log, the journal and its CSV).
void receive(Form1 &form)
{
    form.Text2->append(stampedLine);
    emit form.lineCompleted(receivedLine, stampedLine, 0, 0, -1);
}

// Median costs with the box filled to `lines`.
BoxCost boxCost(Form1 &form, qint64 lines)
{
    ReceiveBox *box = form.Text2;
    for (qint64 n = box->content().lineCount() - 1; n < lines; ++n) {
        receive(form);
        if (n % 4096 == 0)
            QCoreApplication::processEvents();
    }
    runFor(150); // the pacing interval ends: the next line is painted at once
    std::vector<double> appends;
    std::vector<double> paints;
    for (int i = 0; i < 40; ++i) {
        const auto t0 = Clock::now();
        receive(form);
        QCoreApplication::processEvents(); // the paint of the viewport and the scroll bar
        appends.push_back(msSince(t0) * 1000);
        runFor(120);
    }
    for (int i = 0; i < 40; ++i) {
        const auto t0 = Clock::now();
        box->viewport()->repaint();
        paints.push_back(msSince(t0) * 1000);
    }
    return {percentile(appends, 0.5), percentile(paints, 0.5)};
}

// A key typed at `pos` and its paint, as the operator waits for it (median).
double keyPressMs(ReceiveBox *box, qint64 pos)
{
    std::vector<double> ms;
    for (int i = 0; i < 15; ++i) {
        box->setSelection(pos, pos);
        runFor(120);
        const auto t0 = Clock::now();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QCoreApplication::sendEvent(box, &press);
        QCoreApplication::processEvents();
        ms.push_back(msSince(t0));
    }
    return percentile(ms, 0.5);
}

// Painting the whole box once (median).
double paintMs(ReceiveBox *box)
{
    std::vector<double> ms;
    for (int i = 0; i < 15; ++i) {
        const auto t0 = Clock::now();
        box->viewport()->repaint();
        ms.push_back(msSince(t0));
    }
    return percentile(ms, 0.5);
}

// Writing `bytes` to a new file and forcing them to the disk: the disk's own time.
double diskSeconds(const QString &path, QByteArrayView bytes)
{
    const auto t0 = Clock::now();
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (qsizetype done = 0; fd >= 0 && done < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + done, size_t(bytes.size() - done));
        if (n <= 0)
            break;
        done += n;
    }
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    return msSince(t0) / 1000;
}

} // namespace

void longBox(int lines)
{
    const long before = statusKb("VmRSS:");
    QTemporaryDir state(QDir::currentPath() + QStringLiteral("/bench-XXXXXX"));
    Wired w;
    // Every feature on: the Readings log of every line, the journal and its CSV.
    ReadingsWindow readings(&w.form, &w.dialogs);
    Journal journal(state.filePath(QStringLiteral("journal")));
    JournalMenu journalMenu(&w.form, &journal, &w.dialogs, toolsMenu(&w.form));
    joinFeatures(journal, readings, journalMenu);
    w.form.show();
    ReceiveBox *box = w.form.Text2;
    const BoxCost small = boxCost(w.form, 1000);
    const BoxCost large = boxCost(w.form, lines);
    runFor(1500); // the journal's thread writes the rows it was handed (a second's worth in a real run)
    const qint64 held = box->content().lineCount() - 1;
    std::printf("box of %lld stamped lines (%.1f MB), every feature on (%lld readings, the journal): %.1f MB resident "
                "(%.1f MB before the box, peak %.1f MB)\n",
                held, double(box->bytes().size()) / 1e6, static_cast<long long>(readings.log().size()),
                statusKb("VmRSS:") / 1024.0, before / 1024.0, statusKb("VmHWM:") / 1024.0);
    std::printf("  one append and its paint: %.1f us with 1,000 lines, %.1f us with %d (ratio %.2f)\n",
                small.appendAndPaintUs, large.appendAndPaintUs, lines,
                large.appendAndPaintUs / small.appendAndPaintUs);
    std::printf("  painting the whole box: %.1f us with 1,000 lines, %.1f us with %d (ratio %.2f)\n", small.paintUs,
                large.paintUs, lines, large.paintUs / small.paintUs);
    std::printf("  a key typed in the middle of the box and its paint: %.2f ms\n",
                keyPressMs(box, box->content().lineStart(box->content().lineCount() / 2)));

    QTemporaryDir dir(QDir::currentPath() + QStringLiteral("/bench-XXXXXX"));
    const double disk = diskSeconds(dir.filePath(QStringLiteral("plain.txt")), box->bytes());
    w.form.Label1->setText(dir.filePath(QStringLiteral("Recdata0.txt")));
    w.form.Check3->setChecked(true);
    auto t0 = Clock::now();
    w.form.Command7_Click();
    const double save = msSince(t0) / 1000;
    std::printf("  Save: %.3f s; writing the same bytes straight to the disk: %.3f s (%.3f s beyond the disk)\n",
                save, disk, save - disk);
    t0 = Clock::now();
    w.form.Command8_Click();
    const double clearMs = msSince(t0);
    QCoreApplication::processEvents();
    std::printf("  Clear: %.1f ms; %.1f MB resident after it\n", clearMs, statusKb("VmRSS:") / 1024.0);
}

void longLine(int megabytes)
{
    Wired w;
    w.form.show();
    ReceiveBox *box = w.form.Text2;
    box->setFocus();
    const QByteArray piece("     +  152.37 g ");
    QByteArray line;
    line.reserve(qsizetype(megabytes) * 1000000 + piece.size());
    while (line.size() < qsizetype(megabytes) * 1000000)
        line += piece;
    line += "\r\n";
    auto t0 = Clock::now();
    box->append(QString::fromLatin1(line));
    QCoreApplication::processEvents();
    const double inMs = msSince(t0);
    line.clear();
    line.squeeze();
    const qint64 end = box->content().lineEnd(0);
    std::printf("one line of %d MB: in the box and painted %.0f ms after it came; %lld rows\n", megabytes, inMs,
                box->content().rowCount());
    std::printf("  a key typed at its end and its paint: %.2f ms; in its middle: %.2f ms\n", keyPressMs(box, end - 1),
                keyPressMs(box, end / 2));
    box->setSelection(end / 2, end / 2);
    runFor(150);
    const double middle = paintMs(box);
    box->setSelection(end, end);
    runFor(150);
    std::printf("  painting the whole box: %.2f ms at its middle, %.2f ms at its end\n", middle, paintMs(box));
}

void mebibyteWithoutLineEnd()
{
    Wired w;
    w.form.show();
    PaintWatch painted(w.form.Text2->viewport());
    LoopWatch watch;
    std::atomic<bool> sent{false};
    Clock::time_point lineEnd;
    std::thread balance([&] {
        const QByteArray piece(4096, 'A');
        for (int i = 0; i < 256; ++i)
            w.pty.send(piece);
        lineEnd = Clock::now();
        w.pty.send("\r\n");
        sent = true;
    });
    Clock::time_point changed;
    QObject::connect(w.form.Text2, &ReceiveBox::changed, [&] {
        changed = Clock::now();
        painted.paints = 0;
    });
    while (!sent || w.form.Text2->isEmpty() || painted.paints == 0)
        runFor(5);
    runFor(100); // the watch sees a stall that showing the line caused
    balance.join();
    const auto ms = [&](Clock::time_point t) { return std::chrono::duration<double, std::milli>(t - lineEnd).count(); };
    std::printf("1 MiB without a line end: longest the window went without a turn %.1f ms; "
                "the line was in the box %.1f ms after its CR LF, and painted %.1f ms after it\n",
                watch.worstMs(), ms(changed), ms(painted.last));
}

} // namespace bench
