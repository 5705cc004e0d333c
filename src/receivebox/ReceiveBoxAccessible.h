#pragma once

namespace ondril {

// Lets assistive technology (screen readers) read and edit the receive box
// through Qt's accessibility interfaces. Installed once, by the first box.
void installReceiveBoxAccessibility();

} // namespace ondril
