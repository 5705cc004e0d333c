#include "ToolWindow.h"

#include "AccessibleFactory.h"

#include <QAccessibleWidget>
#include <QLabel>
#include <QScreen>
#include <QShortcut>
#include <QWidget>

namespace ondril {

namespace {

QAccessibleInterface *toolWindowInterface(const QString &className, QObject *object)
{
    auto *widget = qobject_cast<QWidget *>(object);
    // Asked for each class from the object's own up: only its own answers.
    if (!widget || !widget->isWindow() || className != QLatin1String(object->metaObject()->className()) ||
        !widget->property("toolWindow").toBool())
        return nullptr;
    return new QAccessibleWidget(widget, QAccessible::Window);
}

} // namespace

void makeToolWindow(QWidget *window)
{
    installAccessibleFactory<toolWindowInterface>();
    window->setProperty("toolWindow", true);
    auto *escape = new QShortcut(QKeySequence(Qt::Key_Escape), window);
    escape->setContext(Qt::WindowShortcut);
    QObject::connect(escape, &QShortcut::activated, window, &QWidget::close);
}

QLabel *readOutLabel(const char *objectName, QWidget *parent)
{
    auto *label = new QLabel(parent);
    label->setObjectName(QLatin1String(objectName));
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setFocusPolicy(Qt::TabFocus);
    return label;
}

void showBeside(QWidget *main, QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
    if (window->property("placed").toBool())
        return; // where the operator left it
    window->setProperty("placed", true);
    const QRect screen = main->screen()->availableGeometry();
    const QRect beside(main->frameGeometry().topRight() + QPoint(8, 0), window->frameGeometry().size());
    if (screen.contains(beside))
        window->move(beside.topLeft());
}

} // namespace ondril
