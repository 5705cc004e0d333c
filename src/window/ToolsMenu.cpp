#include "ToolsMenu.h"

#include "CheckableMenuItem.h"
#include "Form1.h"

#include <QMenu>
#include <QMenuBar>
#include <QSettings>
#include <QShortcut>
#include <QStandardPaths>

namespace ondril {

QMenu *toolsMenu(Form1 *form)
{
    if (auto *menu = form->menuBar()->findChild<QMenu *>(QStringLiteral("toolsMenu")))
        return menu;
    QMenu *menu = form->menuBar()->addMenu(QStringLiteral("&Tools"));
    menu->setObjectName(QStringLiteral("toolsMenu"));
    exposeCheckableMenuItems();
    // F10 opens the menus, as in most desktops; EXIT before it is no menu.
    auto *f10 = new QShortcut(QKeySequence(Qt::Key_F10), form);
    QObject::connect(f10, &QShortcut::activated, menu,
                     [form, menu] { form->menuBar()->setActiveAction(menu->menuAction()); });
    return menu;
}

std::unique_ptr<QSettings> keptChoices()
{
#ifdef Q_OS_WIN
    // A file beside the journal rather than the registry: the same keys, easy
    // to read and to take along.
    return std::make_unique<QSettings>(localAppFolder() + QStringLiteral("/Ondril.ini"), QSettings::IniFormat);
#else
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Ondril"));
#endif
}

#ifdef Q_OS_WIN
QString localAppFolder()
{
    // %LOCALAPPDATA%, without the organisation and application folders Qt would add.
    const QString local = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return local + QStringLiteral("/Ondril");
}
#endif

} // namespace ondril
