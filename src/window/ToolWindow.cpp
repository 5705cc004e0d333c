#include "ToolWindow.h"

#include "AccessibleFactory.h"

#include <QAccessibleWidget>
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

} // namespace ondril
