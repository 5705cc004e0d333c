#include "CheckableMenuItem.h"

#include "AccessibleFactory.h"

#include <QAction>
#include <QMenu>
#include <QPointer>

namespace ondril {

namespace {

class CheckableMenuItem : public QAccessibleInterface, public QAccessibleActionInterface {
public:
    CheckableMenuItem(QMenu *menu, QAction *action) : m_menu(menu), m_action(action) {}

    bool isValid() const override { return m_menu && m_action; }
    QObject *object() const override { return m_action; }
    QWindow *window() const override { return m_menu ? m_menu->windowHandle() : nullptr; }
    QAccessibleInterface *parent() const override { return QAccessible::queryAccessibleInterface(m_menu); }
    QAccessibleInterface *child(int) const override { return nullptr; }
    QAccessibleInterface *childAt(int, int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface *) const override { return -1; }
    QAccessible::Role role() const override { return QAccessible::CheckBox; }
    void setText(QAccessible::Text, const QString &) override {}
    QString text(QAccessible::Text t) const override
    {
        return t == QAccessible::Name ? QString(m_action->text()).remove(u'&') : QString();
    }
    QRect rect() const override
    {
        const QRect r = m_menu->actionGeometry(m_action);
        return {m_menu->mapToGlobal(r.topLeft()), r.size()};
    }
    QAccessible::State state() const override
    {
        QAccessible::State s;
        s.invisible = !m_menu->isVisible() || !m_action->isVisible();
        s.disabled = !m_action->isEnabled();
        s.focused = m_menu->activeAction() == m_action;
        s.checkable = true;
        s.checked = m_action->isChecked();
        return s;
    }
    void *interface_cast(QAccessible::InterfaceType type) override
    {
        return type == QAccessible::ActionInterface ? static_cast<QAccessibleActionInterface *>(this) : nullptr;
    }
    QStringList actionNames() const override { return {toggleAction()}; }
    void doAction(const QString &name) override
    {
        if (name == toggleAction() && m_action->isEnabled())
            m_action->trigger();
    }
    QStringList keyBindingsForAction(const QString &) const override { return {}; }

private:
    QPointer<QMenu> m_menu;
    QPointer<QAction> m_action;
};

QAccessibleInterface *checkableMenuItem(const QString &className, QObject *object)
{
    auto *action = qobject_cast<QAction *>(object);
    if (className != QLatin1String("QAction") || !action || !action->isCheckable())
        return nullptr;
    for (QObject *owner : action->associatedObjects())
        if (auto *menu = qobject_cast<QMenu *>(owner))
            return new CheckableMenuItem(menu, action);
    return nullptr;
}

} // namespace

void exposeCheckableMenuItems()
{
    installAccessibleFactory<checkableMenuItem>();
}

} // namespace ondril
