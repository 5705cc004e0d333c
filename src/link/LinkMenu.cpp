#include "LinkMenu.h"

#include "LinkWindow.h"
#include "window/Form1.h"
#include "window/ToolWindow.h"

#include <QAction>
#include <QMenu>

namespace ondril {

LinkMenu::LinkMenu(Form1 *form, QMenu *menu, std::function<QString()> busy)
    : QObject(form)
    , m_form(form)
    , m_busy(std::move(busy))
{
    QAction *open = menu->addAction(QStringLiteral("&Link check\u2026"));
    open->setObjectName(QStringLiteral("openLink"));
    connect(open, &QAction::triggered, this, [this] { showBeside(m_form, window()); });
}

LinkMenu::~LinkMenu() = default;

LinkWindow *LinkMenu::window()
{
    if (!m_window) {
        m_window = std::make_unique<LinkWindow>(m_form, m_busy);
        connect(m_window.get(), &LinkWindow::selfTestStarted, this, &LinkMenu::selfTestStarted);
        connect(m_window.get(), &LinkWindow::selfTestFinished, this, &LinkMenu::selfTestFinished);
    }
    return m_window.get();
}

} // namespace ondril
