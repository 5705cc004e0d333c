#include "Application.h"
#include "serial/PortMap.h"
#include "window/Dialogs.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ondril"));
    QApplication::setDesktopFileName(QStringLiteral("org.ondril.Ondril"));
    QIcon icon;
    for (const char *size : {"32", "64", "256"})
        icon.addFile(QStringLiteral(":/icons/%1.png").arg(QLatin1String(size)));
    QApplication::setWindowIcon(icon);
    ondril::QtDialogs dialogs;
    return ondril::runOndril(dialogs, ondril::PortMap::fromEnvironment());
}
