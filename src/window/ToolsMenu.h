#pragma once

class QMenu;

namespace ondril {

class Form1;

// The one menu to the right of EXIT, where everything beyond the main
// window opens; made by the first that asks for it.
QMenu *toolsMenu(Form1 *form);

} // namespace ondril
