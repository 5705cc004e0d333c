#include "serial/PortMap.h"
#include "window/Application.h"
#include "window/Dialogs.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Ondril"));
    QApplication::setDesktopFileName(QStringLiteral("ondril"));
    ondril::QtDialogs dialogs;
    return ondril::runOndril(dialogs, ondril::PortMap::fromEnvironment());
}
