#pragma once

#include <QAccessible>

namespace ondril {

// Installs `factory` the first time this is called for it: Qt asks every
// installed factory for each object, so one installed twice answers twice.
template <QAccessible::InterfaceFactory factory>
void installAccessibleFactory()
{
    static const bool installed = (QAccessible::installFactory(factory), true);
    Q_UNUSED(installed);
}

} // namespace ondril
