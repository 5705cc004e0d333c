#include "LinkWindow.h"

#include "Db9Picture.h"
#include "LoopbackTest.h"
#include "window/Form1.h"
#include "window/SteadyClock.h"
#include "window/ToolWindow.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTime>
#include <QGridLayout>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>
#include <QHBoxLayout>
#include <QVBoxLayout>

namespace ondril {

namespace {

constexpr int breakMs = 250;
constexpr int tickMs = 250;
// Framing errors counted at this many ticks of the last five seconds are a
// climbing count.
constexpr int climbingWindowTicks = 20;
constexpr int climbingRises = 3;
const char *const notReported = "not reported by this adapter";

QString level(bool high)
{
    return high ? QStringLiteral("high") : QStringLiteral("low");
}

QString ownLinesNote()
{
#ifdef Q_OS_WIN
    return QStringLiteral("As the port opened them: Windows opens a port with RTS low and DTR as its driver last "
                          "left it (Linux raises both).");
#else
    return QStringLiteral("As the port opened them: Linux raises DTR and RTS when a port opens (Windows opens "
                          "it with RTS low).");
#endif
}

} // namespace

LinkWindow::LinkWindow(Form1 *form, std::function<QString()> busy)
    : m_form(form)
    , m_comm(form->MSComm1)
    , m_busy(std::move(busy))
{
    setObjectName(QStringLiteral("linkWindow"));
    setWindowTitle(QStringLiteral("Link check"));
    makeToolWindow(this);
    buildControls();
    m_tick.setInterval(tickMs);
    connect(&m_tick, &QTimer::timeout, this, &LinkWindow::refresh);
    connect(m_comm, &MSComm::controlLinesChanged, this, &LinkWindow::linesChanged);
    connect(m_comm, &MSComm::portOpenChanged, this, [this](bool open, const QString &lossReason) {
        log(open                    ? QStringLiteral("%1 open").arg(portName())
            : lossReason.isEmpty() ? QStringLiteral("%1 closed").arg(portName())
                                   : QStringLiteral("%1 lost: %2").arg(portName(), lossReason),
            steadyNow());
        m_framingSeen.clear();
        showPort();
    });
    showPort();
}

LinkWindow::~LinkWindow()
{
    m_comm->watchControlLines(false);
}

void LinkWindow::buildControls()
{
    // What the port sees on the left; the self-test on the right.
    auto *columns = new QHBoxLayout(this);
    auto *top = new QVBoxLayout;
    auto *right = new QVBoxLayout;
    columns->addLayout(top, 1);
    columns->addLayout(right, 1);
    m_port = readOutLabel("linkPort", this);
    m_port->setWordWrap(true);
    top->addWidget(m_port);

    auto *lines = new QGroupBox(QStringLiteral("Lines"), this);
    auto *grid = new QGridLayout(lines);
    const char *far[] = {"CTS", "DSR", "DCD", "RI"};
    for (int i = 0; i < 4; ++i) {
        grid->addWidget(new QLabel(QStringLiteral("%1 (from the balance)").arg(QLatin1String(far[i])), lines), i, 0);
        m_lineState[i] = readOutLabel(far[i], lines);
        grid->addWidget(m_lineState[i], i, 1);
    }
    m_dtr = new QCheckBox(QStringLiteral("&DTR (ours)"), lines);
    m_rts = new QCheckBox(QStringLiteral("&RTS (ours)"), lines);
    m_dtr->setObjectName(QStringLiteral("DTR"));
    m_rts->setObjectName(QStringLiteral("RTS"));
    grid->addWidget(m_dtr, 0, 2);
    grid->addWidget(m_rts, 1, 2);
    connect(m_dtr, &QCheckBox::clicked, this, [this](bool on) { setOwnLine(true, on); });
    connect(m_rts, &QCheckBox::clicked, this, [this](bool on) { setOwnLine(false, on); });
    m_break = new QPushButton(QStringLiteral("Send &break"), lines);
    m_break->setObjectName(QStringLiteral("sendBreak"));
    m_break->setToolTip(QStringLiteral("Holds the data line at space for %1 ms").arg(breakMs));
    connect(m_break, &QPushButton::clicked, this, &LinkWindow::sendBreak);
    grid->addWidget(m_break, 2, 2);
    m_breaks = readOutLabel("breaks", lines);
    grid->addWidget(m_breaks, 3, 2);
    m_ownNote = new QLabel(ownLinesNote(), lines);
    m_ownNote->setWordWrap(true);
    grid->addWidget(m_ownNote, 4, 0, 1, 3);
    top->addWidget(lines);

    auto *errors = new QGroupBox(QStringLiteral("Line errors since the port opened"), this);
    auto *egrid = new QGridLayout(errors);
    const char *names[] = {"Framing", "Parity", "Overrun", "Buffer overrun"};
    for (int i = 0; i < 4; ++i) {
        egrid->addWidget(new QLabel(QLatin1String(names[i]), errors), i / 2, (i % 2) * 2);
        m_counts[i] = readOutLabel(names[i], errors);
        egrid->addWidget(m_counts[i], i / 2, (i % 2) * 2 + 1);
    }
    m_countWords = readOutLabel("countWords", errors);
    m_countWords->setWordWrap(true);
    egrid->addWidget(m_countWords, 2, 0, 1, 4);
    top->addWidget(errors);

    m_log = new QPlainTextEdit(this);
    m_log->setObjectName(QStringLiteral("changeLog"));
    m_log->setAccessibleName(QStringLiteral("Changes"));
    m_log->setReadOnly(true);
    m_log->setMaximumBlockCount(10000);
    m_log->setMinimumHeight(90);
    auto *logCaption = new QLabel(QStringLiteral("&Changes:"), this);
    logCaption->setBuddy(m_log);
    top->addWidget(logCaption);
    top->addWidget(m_log);

    auto *test = new QGroupBox(QStringLiteral("Loopback self-test"), this);
    auto *tlay = new QGridLayout(test);
    auto *how = new QLabel(QStringLiteral("Unplug the balance and join, on the port's plug: 2–3 (TX and RX; a "
                                          "paper clip does), 7–8 (RTS and CTS), 4–6–1 (DTR, DSR and DCD)."),
                           test);
    how->setWordWrap(true);
    tlay->addWidget(how, 0, 0, 1, 2);
    tlay->addWidget(new Db9Picture(test), 1, 0);
    m_selfTestButton = new QPushButton(QStringLiteral("Run the &self-test"), test);
    m_selfTestButton->setObjectName(QStringLiteral("selfTest"));
    connect(m_selfTestButton, &QPushButton::clicked, this, &LinkWindow::runSelfTest);
    tlay->addWidget(m_selfTestButton, 1, 1, Qt::AlignTop);
    m_table = new QTableWidget(0, 6, test);
    m_table->setObjectName(QStringLiteral("selfTestTable"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Wire or setting"), QStringLiteral("Sent"),
                                        QStringLiteral("Back"), QStringLiteral("Changed"), QStringLiteral("Errors"),
                                        QStringLiteral("Result")});
    m_table->verticalHeader()->hide();
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    m_table->setMinimumHeight(200);
    tlay->addWidget(m_table, 2, 0, 1, 2);
    tlay->setRowStretch(2, 1);
    m_verdict = readOutLabel("verdict", test);
    m_verdict->setWordWrap(true);
    tlay->addWidget(m_verdict, 3, 0, 1, 2);
    right->addWidget(test);
    resize(1040, 600);
}

QString LinkWindow::portName() const
{
    return QStringLiteral("COM %1").arg(m_comm->commPort());
}

// The settings change from the main window and its menus: read at each tick.
void LinkWindow::showPortLine()
{
    const QString text =
        m_comm->portOpen()
            ? QStringLiteral("%1 (%2), %3 baud, %4, handshake %5.")
                  .arg(portName(), m_comm->device())
                  .arg(m_comm->line().baud)
                  .arg(m_comm->line().shortName(), handshakingName(m_comm->line().handshaking))
            : QStringLiteral("%1 is closed. This window follows when the main window opens it again.").arg(portName());
    if (m_port->text() != text)
        m_port->setText(text);
}

void LinkWindow::showPort()
{
    const bool open = m_comm->portOpen();
    m_lines = m_comm->controlLines();
    showLines(m_lines);
    m_dtr->setEnabled(open);
    m_rts->setEnabled(open);
    m_break->setEnabled(open);
    refresh();
}

void LinkWindow::showLines(const std::optional<ControlLines> &lines)
{
    const bool far[] = {lines && lines->cts, lines && lines->dsr, lines && lines->dcd, lines && lines->ri};
    for (int i = 0; i < 4; ++i) {
        m_lineState[i]->setText(!m_comm->portOpen() ? QStringLiteral("—")
                                : lines             ? level(far[i])
                                                    : QLatin1String(notReported));
        m_lineState[i]->setStyleSheet(lines && far[i] ? QStringLiteral("color: #080; font-weight: bold") : QString());
    }
    if (lines) {
        m_dtr->setChecked(lines->dtr);
        m_rts->setChecked(lines->rts);
        m_ownNote->setText(ownLinesNote());
    } else if (m_comm->portOpen()) {
        m_ownNote->setText(QStringLiteral("DTR and RTS: state %1; the switches set them all the same.")
                               .arg(QLatin1String(notReported)));
    }
}

void LinkWindow::linesChanged(const ControlLines &lines, qint64 steadyNs)
{
    const ControlLines before = m_lines.value_or(ControlLines{});
    m_lines = lines;
    // Ours first: what the far end does in the same moment follows them.
    const std::pair<bool ControlLines::*, const char *> named[] = {
        {&ControlLines::dtr, "DTR"}, {&ControlLines::rts, "RTS"}, {&ControlLines::cts, "CTS"},
        {&ControlLines::dsr, "DSR"}, {&ControlLines::dcd, "DCD"}, {&ControlLines::ri, "RI"}};
    for (const auto &[line, name] : named)
        if (lines.*line != before.*line)
            log(QStringLiteral("%1 %2").arg(QLatin1String(name), level(lines.*line)), steadyNs);
    showLines(m_lines);
}

void LinkWindow::setOwnLine(bool dtr, bool on)
{
    const char *name = dtr ? "DTR" : "RTS";
    const bool done = dtr ? m_comm->setDtr(on) : m_comm->setRts(on);
    if (!done)
        log(QStringLiteral("%1 not set %2: %3").arg(QLatin1String(name), level(on), m_comm->errorString()), steadyNow());
    else if (!m_comm->controlLines()) // logged as a change where the lines are read
        log(QStringLiteral("%1 set %2").arg(QLatin1String(name), level(on)), steadyNow());
    showLines(m_comm->controlLines());
    if (!done)
        (dtr ? m_dtr : m_rts)->setChecked(!on);
}

void LinkWindow::sendBreak()
{
    if (!m_comm->sendBreak(breakMs)) {
        log(QStringLiteral("Break not sent: %1").arg(m_comm->errorString()), steadyNow());
        return;
    }
    ++m_breaksSent;
    log(QStringLiteral("Break sent (%1 ms)").arg(breakMs), steadyNow());
    showCounts();
}

void LinkWindow::refresh()
{
    showPortLine();
    showCounts();
    showBusy();
}

void LinkWindow::showCounts()
{
    const std::optional<LineCounts> counts = m_comm->lineCounts();
    const qint64 values[] = {counts ? counts->framing : 0, counts ? counts->parity : 0, counts ? counts->overrun : 0,
                             counts ? counts->bufferOverrun : 0};
    for (int i = 0; i < 4; ++i)
        m_counts[i]->setText(!m_comm->portOpen() ? QStringLiteral("—")
                             : counts            ? QString::number(values[i])
                                                 : QLatin1String(notReported));
    m_breaks->setText(QStringLiteral("Breaks sent: %1, received: %2")
                          .arg(m_breaksSent)
                          .arg(!m_comm->portOpen() ? QStringLiteral("—")
                               : counts            ? QString::number(counts->breaks)
                                                   : QLatin1String(notReported)));
    // A count that goes up again and again is a stream read at the wrong
    // speed or framing, not a stray error: a balance that sends once a
    // second raises it at one tick in four.
    if (counts)
        m_framingSeen.append(counts->framing);
    while (m_framingSeen.size() > climbingWindowTicks + 1)
        m_framingSeen.removeFirst();
    int rises = 0;
    for (qsizetype i = 1; i < m_framingSeen.size(); ++i)
        rises += m_framingSeen[i] > m_framingSeen[i - 1];
    const bool climbing = rises >= climbingRises;
    if (climbing)
        m_countWords->setText(QStringLiteral("The framing errors are climbing: what comes in is sent at another "
                                             "speed or framing than %1's %2 baud, %3. Try Tools > Find the "
                                             "balance's settings.")
                                  .arg(portName())
                                  .arg(m_comm->line().baud)
                                  .arg(m_comm->line().shortName()));
    else if (rises == 0)
        m_countWords->clear(); // quiet again
}

void LinkWindow::showBusy()
{
    const QString why = isSelfTestRunning()     ? QStringLiteral("The self-test is running.")
                        : !m_comm->portOpen() ? QStringLiteral("The port is not open.")
                                              : m_busy();
    m_selfTestButton->setEnabled(why.isEmpty());
    m_selfTestButton->setToolTip(why.isEmpty() ? QStringLiteral("About 5 seconds with a loopback plug on the port, "
                                                                "7 without")
                                               : why);
}

void LinkWindow::log(const QString &what, qint64 steadyNs)
{
    // The wall clock of the moment it happened, not of its showing.
    const QDateTime at = QDateTime::currentDateTime().addMSecs(-(steadyNow() - steadyNs) / 1'000'000);
    m_log->appendPlainText(at.toString(QStringLiteral("HH:mm:ss.zzz  ")) + what);
}

QString LinkWindow::changeLog() const
{
    return m_log->toPlainText();
}

bool LinkWindow::isSelfTestRunning() const
{
    return m_selfTest && m_selfTest->isRunning();
}

bool LinkWindow::runSelfTest()
{
    showBusy();
    if (!m_selfTestButton->isEnabled())
        return false;
    QList<qint32> speeds;
    for (int i = 0; i < m_form->Combo2->count(); ++i)
        speeds << m_form->Combo2->itemText(i).toInt();
    // The port is the test's: nothing it reads goes to the receive box, and
    // a reply still awaited is not coming.
    m_form->CommLoopStop = 1;
    m_comm->setRThreshold(0);
    delete m_selfTest;
    m_selfTest = new LoopbackTest(m_comm, speeds, this);
    m_progress = new QProgressDialog(QStringLiteral("Loopback self-test on %1…").arg(portName()),
                                     QStringLiteral("Cancel"), 0, m_selfTest->steps(), this);
    m_progress->setObjectName(QStringLiteral("selfTestProgress"));
    m_progress->setWindowTitle(QStringLiteral("Loopback self-test"));
    m_progress->setWindowModality(Qt::ApplicationModal); // no cycle print or scan meanwhile
    m_progress->setMinimumDuration(0);
    m_progress->setAutoClose(false);
    m_progress->setAutoReset(false);
    connect(m_progress, &QProgressDialog::canceled, m_selfTest, &LoopbackTest::cancel);
    connect(m_selfTest, &LoopbackTest::stepDone, m_progress, &QProgressDialog::setValue);
    connect(m_selfTest, &LoopbackTest::finished, this, &LinkWindow::selfTestDone);
    connect(m_selfTest, &LoopbackTest::failed, this, [this](const QString &why) {
        selfTestEnded();
        m_verdict->setText(QStringLiteral("The self-test stopped: %1.").arg(why));
        log(QStringLiteral("Self-test stopped: %1").arg(why), steadyNow());
        emit selfTestFinished(m_verdict->text());
    });
    m_progress->show();
    m_table->setRowCount(0);
    m_verdict->clear();
    log(QStringLiteral("Self-test started"), steadyNow());
    emit selfTestStarted();
    m_selfTest->start();
    showBusy();
    return true;
}

void LinkWindow::selfTestEnded()
{
    if (m_progress) {
        m_progress->hide();
        m_progress->deleteLater();
    }
    // Reception armed again, as after a pick of the port.
    m_comm->setRThreshold(1);
    if (m_comm->portOpen())
        m_form->CommLoopStop = 0;
    showPort();
}

void LinkWindow::selfTestDone(const LoopbackResult &result)
{
    selfTestEnded();
    auto add = [this](const QStringList &cells) {
        const int row = m_table->rowCount();
        m_table->insertRow(row);
        for (int c = 0; c < cells.size(); ++c) {
            auto *item = new QTableWidgetItem(cells[c]);
            item->setToolTip(cells[c]); // where the column cuts it short
            m_table->setItem(row, c == cells.size() - 1 ? 5 : c, item);
        }
    };
    for (const auto &[wire, state] : wireRows(result))
        add({wire, state});
    for (const LoopbackSetting &s : result.settings) {
        const QString name = QStringLiteral("%1 %2").arg(s.line.baud).arg(s.line.shortName());
        if (s.refused) {
            add({name, QStringLiteral("the port refuses this setting")});
            continue;
        }
        add({name, QString::number(s.sent), QString::number(s.back), QString::number(s.changed),
             s.errors ? QString::number(*s.errors) : QLatin1String(notReported),
             s.good() ? QStringLiteral("good") : s.back == 0 ? QStringLiteral("nothing back")
                                                            : QStringLiteral("lost or changed")});
    }
    const QString verdict = loopbackVerdict(result);
    m_verdict->setText(verdict.left(1).toUpper() + verdict.mid(1) + QLatin1Char('.'));
    log(QStringLiteral("Self-test: %1").arg(verdict), steadyNow());
    emit selfTestFinished(m_verdict->text());
}

void LinkWindow::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    m_comm->watchControlLines(true);
    m_tick.start();
    showPort();
}

void LinkWindow::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    if (!isSelfTestRunning())
        m_comm->watchControlLines(false);
    m_tick.stop();
}

} // namespace ondril
