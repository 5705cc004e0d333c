#include "SendMenu.h"

#include "SendWindow.h"
#include "window/Dialogs.h"
#include "window/Form1.h"
#include "window/KeptChoices.h"
#include "window/ToolWindow.h"

#include <QAction>
#include <QMenu>
#include <QSettings>

namespace ondril {

namespace {
const QString keepEveryLineKey = QStringLiteral("reception/keepEveryLine");
}

SendMenu::SendMenu(Form1 *form, Dialogs *dialogs, QMenu *menu) : QObject(form), m_form(form), m_dialogs(dialogs)
{
    menu->addSeparator();
    QAction *open = menu->addAction(QStringLiteral("Se&nd commands\u2026"));
    open->setObjectName(QStringLiteral("openSend"));
    connect(open, &QAction::triggered, this, [this] { showBeside(m_form, window()); });
    // Off by default; once changed, here or by the scan's offer, the next run
    // starts as this one ended.
    QAction *keep = menu->addAction(QStringLiteral("Keep &every line (a balance that streams)"));
    keep->setObjectName(QStringLiteral("keepEveryLine"));
    keep->setCheckable(true);
    const auto kept = keptChoices();
    const QString value = kept->value(keepEveryLineKey, QStringLiteral("false")).toString();
    if (value != QLatin1String("true") && value != QLatin1String("false"))
        dialogs->notice(form, QStringLiteral("%1=%2 in %3 is not understood: Keep every line starts off.")
                                  .arg(keepEveryLineKey, value, kept->fileName()));
    form->setKeepEveryLine(value == QLatin1String("true"));
    keep->setChecked(form->keepsEveryLine());
    connect(keep, &QAction::toggled, form, &Form1::setKeepEveryLine);
    connect(form, &Form1::keepEveryLineChanged, keep, [keep](bool on) {
        keep->setChecked(on);
        keptChoices()->setValue(keepEveryLineKey, on);
    });
}

SendMenu::~SendMenu() = default;

SendWindow *SendMenu::window()
{
    if (!m_window) {
        m_window = std::make_unique<SendWindow>(m_form, m_dialogs);
        if (m_set)
            m_window->chooseSet(*m_set);
        connect(m_window.get(), &SendWindow::commandSent, this, &SendMenu::commandSent);
    }
    return m_window.get();
}

void SendMenu::chooseSet(const QString &name)
{
    m_set = name;
    if (m_window)
        m_window->chooseSet(name);
}

} // namespace ondril
