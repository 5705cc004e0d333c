#pragma once

namespace ondril {

// A menu item that can be checked reads as a check box to a screen reader,
// "not checked" included: Qt's own menu item tells only when it is checked.
void exposeCheckableMenuItems();

} // namespace ondril
