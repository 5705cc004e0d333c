#include "SendWindow.h"

#include "reception/CycleInterval.h"
#include "serial/MSComm.h"
#include "window/Dialogs.h"
#include "window/Form1.h"
#include "window/KeptChoices.h"
#include "window/SteadyClock.h"
#include "window/ToolWindow.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>

namespace ondril {

namespace {

const char *const savedKey = "send/saved";
constexpr int buttonsPerRow = 5;
const QString nameRule = QStringLiteral("give it a name of up to 40 letters, digits and signs, without commas or quotes");

// A long command's first bytes, and its length: the line stays within the window.
QString shownHex(const QByteArray &bytes)
{
    constexpr qsizetype shown = 24;
    return bytes.size() <= shown ? hexText(bytes)
                                 : QStringLiteral("%1 \u2026 (%2 bytes)").arg(hexText(bytes.first(shown))).arg(bytes.size());
}

QLabel *captionFor(QWidget *field, const QString &caption, QWidget *parent)
{
    auto *label = new QLabel(caption, parent);
    label->setBuddy(field);
    field->setAccessibleName(QString(caption).remove(u'&').remove(u':'));
    return label;
}

} // namespace

SendWindow::SendWindow(Form1 *form, Dialogs *dialogs) : QWidget(nullptr, Qt::Window), m_form(form), m_dialogs(dialogs)
{
    setObjectName(QStringLiteral("SendWindow"));
    setWindowTitle(QStringLiteral("Ondril: Send commands"));
    makeToolWindow(this);
    build();
    loadSaved();
    showSet();
    m_repeatTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_repeatTimer, &QTimer::timeout, this, &SendWindow::repeatTick);
    m_replyTimeout.setSingleShot(true);
    connect(&m_replyTimeout, &QTimer::timeout, this, [this] {
        ++m_missed; // the next tick asks again
        m_waitingSince = 0;
        showCounts();
    });
    connect(form, &Form1::lineCompleted, this,
            [this](const QString &, const QString &, qint64, qint64 steadyNs) { replyCame(steadyNs); });
}

void SendWindow::build()
{
    auto *layout = new QVBoxLayout(this);

    m_set = new QComboBox(this);
    m_set->setObjectName(QStringLiteral("commandSet"));
    m_set->addItem(QStringLiteral("Saved commands"), QString());
    for (const CommandSet &set : commandSets())
        m_set->addItem(set.name, set.name);
    auto *setRow = new QHBoxLayout;
    setRow->addWidget(captionFor(m_set, QStringLiteral("Command &set:"), this));
    setRow->addWidget(m_set, 1);
    layout->addLayout(setRow);
    m_buttons = new QWidget(this);
    m_buttonGrid = new QGridLayout(m_buttons);
    m_buttonGrid->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_buttons);
    connect(m_set, &QComboBox::currentIndexChanged, this, &SendWindow::showSet);

    m_line = new QLineEdit(this);
    m_line->setObjectName(QStringLiteral("command"));
    m_line->setMaxLength(4 * int(longestCommand));
    m_line->setToolTip(QStringLiteral("Text with \\r \\n \\t \\e \\xHH \\\\, or hex bytes (1B 70) with Hex checked"));
    m_line->installEventFilter(this);
    m_hex = new QCheckBox(QStringLiteral("He&x"), this);
    m_hex->setObjectName(QStringLiteral("hex"));
    m_end = new QComboBox(this);
    m_end->setObjectName(QStringLiteral("lineEnd"));
    m_end->addItems({QStringLiteral("none"), QStringLiteral("CR"), QStringLiteral("LF"), QStringLiteral("CR LF")});
    auto *sendButton = new QPushButton(QStringLiteral("Se&nd"), this);
    sendButton->setObjectName(QStringLiteral("send"));
    auto *lineRow = new QHBoxLayout;
    lineRow->addWidget(captionFor(m_line, QStringLiteral("&Command:"), this));
    lineRow->addWidget(m_line, 1);
    lineRow->addWidget(m_hex);
    lineRow->addWidget(captionFor(m_end, QStringLiteral("Line &end:"), this));
    lineRow->addWidget(m_end);
    lineRow->addWidget(sendButton);
    layout->addLayout(lineRow);
    connect(m_line, &QLineEdit::returnPressed, this, &SendWindow::sendLine);
    connect(sendButton, &QPushButton::clicked, this, &SendWindow::sendLine);

    m_sentHex = readOutLabel("sentHex", this);
    m_sentHex->setText(QStringLiteral("Nothing sent yet."));
    m_sentHex->setWordWrap(true); // a long name or a fault's reason does not widen the window
    layout->addWidget(m_sentHex);

    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("saveName"));
    auto *saveButton = new QPushButton(QStringLiteral("Sa&ve"), this);
    saveButton->setObjectName(QStringLiteral("save"));
    auto *saveRow = new QHBoxLayout;
    saveRow->addWidget(captionFor(m_name, QStringLiteral("Save the command as &name:"), this));
    saveRow->addWidget(m_name, 1);
    saveRow->addWidget(saveButton);
    layout->addLayout(saveRow);
    connect(saveButton, &QPushButton::clicked, this, &SendWindow::saveTyped);

    m_interval = new QLineEdit(QStringLiteral("1000"), this);
    m_interval->setObjectName(QStringLiteral("repeatInterval"));
    m_interval->setMaximumWidth(80);
    m_repeat = new QPushButton(QStringLiteral("Start"), this);
    m_repeat->setObjectName(QStringLiteral("repeat"));
    m_counts = readOutLabel("repeatCounts", this);
    auto *repeatRow = new QHBoxLayout;
    repeatRow->addWidget(captionFor(m_interval, QStringLiteral("&Repeat every (ms):"), this));
    repeatRow->addWidget(m_interval);
    repeatRow->addWidget(m_repeat);
    repeatRow->addWidget(m_counts, 1);
    layout->addLayout(repeatRow);
    connect(m_repeat, &QPushButton::clicked, this, &SendWindow::toggleRepeat);
    showCounts();
}

void SendWindow::chooseSet(const QString &name)
{
    const int at = m_set->findData(name);
    if (at >= 0)
        m_set->setCurrentIndex(at);
}

void SendWindow::showSet()
{
    while (QLayoutItem *item = m_buttonGrid->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QString setName = m_set->currentData().toString();
    QList<SendCommand> commands = m_saved;
    for (const CommandSet &set : commandSets())
        if (set.name == setName)
            commands = set.commands;
    for (qsizetype i = 0; i < commands.size(); ++i) {
        const SendCommand command = commands[i];
        auto *button = new QPushButton(command.name, m_buttons);
        button->setAccessibleDescription(command.hex ? command.text : escapedText(command.bytes().bytes));
        connect(button, &QPushButton::clicked, this, [this, command] {
            take(command);
            send(command);
        });
        // The buttons are made anew after a change from their own menus, once
        // the menu is done with them.
        button->setContextMenuPolicy(Qt::ActionsContextMenu);
        if (setName.isEmpty()) { // the operator's own: moved, renamed, removed
            auto *earlier = new QAction(QStringLiteral("Move &earlier"), button);
            auto *rename = new QAction(QStringLiteral("Re&name\u2026"), button);
            auto *remove = new QAction(QStringLiteral("&Remove"), button);
            button->addActions({earlier, rename, remove});
            connect(rename, &QAction::triggered, this, [this, i] { renameSaved(i); });
            connect(earlier, &QAction::triggered, this, [this, i] {
                if (i > 0)
                    m_saved.swapItemsAt(i, i - 1);
                savedChanged();
            });
            connect(remove, &QAction::triggered, this, [this, i] {
                m_saved.removeAt(i);
                savedChanged();
            });
        } else { // a family's: copied among the saved ones, to edit as they are
            auto *copy = new QAction(QStringLiteral("Add to &saved commands"), button);
            button->addAction(copy);
            connect(copy, &QAction::triggered, this, [this, command] {
                keepSaved({command.name, hexText(command.bytes().bytes), true, LineEnd::None, command.asksWeight});
                QMetaObject::invokeMethod(this, [this] { chooseSet(QString()); }, Qt::QueuedConnection);
            });
        }
        m_buttonGrid->addWidget(button, int(i) / buttonsPerRow, int(i) % buttonsPerRow);
    }
    if (commands.isEmpty())
        m_buttonGrid->addWidget(new QLabel(QStringLiteral("None yet: type a command, name it and Save."), m_buttons));
    // Tab goes from the set to its buttons, then to the command line, as they show.
    QWidget *previous = m_set;
    for (QPushButton *b : m_buttons->findChildren<QPushButton *>(Qt::FindDirectChildrenOnly)) {
        setTabOrder(previous, b);
        previous = b;
    }
    setTabOrder(previous, m_line);
}

void SendWindow::take(const SendCommand &command)
{
    m_line->setText(command.text);
    m_hex->setChecked(command.hex);
    m_end->setCurrentIndex(int(command.end));
    m_lastName = command.name;
}

SendCommand SendWindow::typed() const
{
    SendCommand command{QString(), m_line->text(), m_hex->isChecked(), LineEnd(m_end->currentIndex()), false};
    // The bytes of a saved command taken from its button, or of a command of
    // the set shown: counted under its name.
    const QByteArray bytes = command.bytes().bytes;
    for (const SendCommand &c : m_saved)
        if (c.name == m_lastName && c.bytes().bytes == bytes)
            return c;
    for (const CommandSet &set : commandSets())
        if (set.name == m_set->currentData().toString())
            for (const SendCommand &c : set.commands)
                if (c.bytes().bytes == bytes)
                    return c;
    command.name = typedCommandName(bytes);
    return command;
}

bool SendWindow::sendLine()
{
    return send(typed());
}

bool SendWindow::send(const SendCommand &command)
{
    const CommandBytes b = command.bytes();
    if (!b.ok()) {
        m_sentHex->setText(b.errorAt >= 0 && !command.text.isEmpty()
                               ? QStringLiteral("Not sent: %1, at character %2.").arg(b.error).arg(b.errorAt + 1)
                               : QStringLiteral("Not sent: %1.").arg(b.error));
        return false;
    }
    // Queued behind what the handshake holds back, it would go out at an
    // unknown moment, and its reply could not be told from others.
    if (m_form->MSComm1->isOutputStalled()) {
        m_sentHex->setText(QStringLiteral("Not sent: the port has not sent the last command yet; its handshake holds "
                                          "the output back (Tools > Line settings)."));
        return false;
    }
    if (!m_form->sendBytes(b.bytes)) {
        m_sentHex->setText(QStringLiteral("Not sent."));
        return false;
    }
    emit commandSent(command.name, command.asksWeight, steadyNow());
    const auto same = [&](const SendCommand &c) { return c.text == command.text && c.hex == command.hex && c.end == command.end; };
    if (m_history.isEmpty() || !same(m_history.constLast()))
        m_history << command;
    m_historyAt = m_history.size();
    m_sentHex->setText(QStringLiteral("Sent %1: %2").arg(command.name, shownHex(b.bytes)));
    return true;
}

bool SendWindow::eventFilter(QObject *watched, QEvent *event)
{
    // Up and Down go through what was sent, as in a shell.
    if (watched == m_line && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if ((key == Qt::Key_Up || key == Qt::Key_Down) && !m_history.isEmpty()) {
            m_historyAt = std::clamp<qsizetype>(m_historyAt + (key == Qt::Key_Up ? -1 : 1), 0, m_history.size());
            if (m_historyAt < m_history.size())
                take(m_history[m_historyAt]);
            else
                m_line->clear();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SendWindow::saveTyped()
{
    const QString name = m_name->text().trimmed();
    if (!isCommandName(name)) {
        m_sentHex->setText(QStringLiteral("Not saved: %1.").arg(nameRule));
        return;
    }
    SendCommand command = typed();
    const CommandBytes b = command.bytes();
    if (!b.ok()) {
        m_sentHex->setText(QStringLiteral("Not saved: %1.").arg(b.error));
        return;
    }
    // Kept as the bytes it sends, in hex: exactly, whatever they are.
    keepSaved({name, hexText(b.bytes), true, LineEnd::None, command.asksWeight});
    chooseSet(QString());
    showSet();
}

void SendWindow::keepSaved(const SendCommand &command)
{
    const auto same =
        std::find_if(m_saved.begin(), m_saved.end(), [&](const SendCommand &c) { return c.name == command.name; });
    if (same != m_saved.end())
        *same = command;
    else
        m_saved << command;
    m_lastName = command.name;
    savedChanged();
    m_sentHex->setText(QStringLiteral("Saved %1: %2").arg(command.name, shownHex(command.bytes().bytes)));
}

void SendWindow::savedChanged()
{
    storeSaved();
    QMetaObject::invokeMethod(this, &SendWindow::showSet, Qt::QueuedConnection);
}

void SendWindow::renameSaved(qsizetype at)
{
    const QString old = m_saved.at(at).name;
    const QString name = m_dialogs->textInput(this, QStringLiteral("New name for %1:").arg(old), old).trimmed();
    if (name.isEmpty() || name == old)
        return;
    const bool taken = std::any_of(m_saved.begin(), m_saved.end(), [&](const SendCommand &c) { return c.name == name; });
    if (!isCommandName(name) || taken) {
        m_sentHex->setText(taken ? QStringLiteral("Not renamed: %1 is the name of another saved command.").arg(name)
                                 : QStringLiteral("Not renamed: %1.").arg(nameRule));
        return;
    }
    m_saved[at].name = name;
    if (m_lastName == old)
        m_lastName = name;
    savedChanged();
    m_sentHex->setText(QStringLiteral("Renamed %1 to %2.").arg(old, name));
}

void SendWindow::loadSaved()
{
    const auto settings = keptChoices();
    const int count = settings->beginReadArray(QLatin1String(savedKey));
    int unreadable = 0;
    for (int i = 0; i < count; ++i) {
        settings->setArrayIndex(i);
        const SendCommand c{settings->value(QStringLiteral("name")).toString(),
                            settings->value(QStringLiteral("hex")).toString(), true, LineEnd::None,
                            settings->value(QStringLiteral("asksWeight"), false).toBool()};
        if (isCommandName(c.name) && c.bytes().ok())
            m_saved << c;
        else
            ++unreadable;
    }
    settings->endArray();
    if (unreadable > 0)
        m_dialogs->notice(m_form, QStringLiteral("%1 saved command(s) in %2 could not be read and are left out; the "
                                                 "others are kept.")
                                      .arg(unreadable)
                                      .arg(settings->fileName()));
}

void SendWindow::storeSaved()
{
    const auto settings = keptChoices();
    settings->remove(QLatin1String(savedKey));
    settings->beginWriteArray(QLatin1String(savedKey), int(m_saved.size()));
    for (qsizetype i = 0; i < m_saved.size(); ++i) {
        settings->setArrayIndex(int(i));
        settings->setValue(QStringLiteral("name"), m_saved[i].name);
        settings->setValue(QStringLiteral("hex"), m_saved[i].text);
        if (m_saved[i].asksWeight)
            settings->setValue(QStringLiteral("asksWeight"), true);
    }
    settings->endArray();
}

void SendWindow::toggleRepeat()
{
    if (m_repeatTimer.isActive()) {
        m_repeatTimer.stop();
        m_replyTimeout.stop();
        m_waitingSince = 0;
        m_repeat->setText(QStringLiteral("Start"));
        return;
    }
    m_repeated = typed();
    if (!m_repeated.bytes().ok()) {
        send(m_repeated); // says why
        return;
    }
    const CycleInterval interval = cycleInterval(m_interval->text());
    if (!interval.clampedText.isEmpty())
        m_interval->setText(interval.clampedText);
    m_sent = m_replies = m_missed = 0;
    showCounts();
    m_repeatTimer.start(interval.ms);
    m_repeat->setText(QStringLiteral("Stop"));
    repeatTick();
}

void SendWindow::repeatTick()
{
    // A tick due while the last one's reply is awaited is skipped.
    if (m_waitingSince != 0)
        return;
    if (!send(m_repeated)) { // no port, or it failed: told once, not every tick
        toggleRepeat();
        return;
    }
    ++m_sent;
    m_waitingSince = steadyNow();
    m_replyTimeout.start(std::max(replyTimeoutMs, m_repeatTimer.interval()));
    showCounts();
}

void SendWindow::replyCame(qint64 steadyNs)
{
    if (m_waitingSince == 0 || steadyNs < m_waitingSince)
        return;
    ++m_replies;
    m_waitingSince = 0;
    m_replyTimeout.stop();
    showCounts();
}

void SendWindow::showCounts()
{
    m_counts->setText(QStringLiteral("sent %1, replies %2, missed %3").arg(m_sent).arg(m_replies).arg(m_missed));
}

} // namespace ondril
