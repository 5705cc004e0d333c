#include "ToolsMenu.h"

#include "Form1.h"

#include <QMenu>
#include <QMenuBar>
#include <QSettings>

namespace ondril {

QMenu *toolsMenu(Form1 *form)
{
    if (auto *menu = form->menuBar()->findChild<QMenu *>(QStringLiteral("toolsMenu")))
        return menu;
    QMenu *menu = form->menuBar()->addMenu(QStringLiteral("Tools"));
    menu->setObjectName(QStringLiteral("toolsMenu"));
    return menu;
}

std::unique_ptr<QSettings> keptChoices()
{
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Ondril"));
}

} // namespace ondril
