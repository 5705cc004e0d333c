#pragma once

#include <QString>

#include <memory>

class QMenu;
class QSettings;

namespace ondril {

class Form1;

// The one menu to the right of EXIT, where everything beyond the main
// window opens; made by the first that asks for it.
QMenu *toolsMenu(Form1 *form);

// The program's one settings file (~/.config/Ondril.conf), holding only the
// choices the operator asked to keep.
std::unique_ptr<QSettings> keptChoices();

#ifdef _WIN32
// %LOCALAPPDATA%\Ondril: the journal's folder and the settings file's on Windows.
QString localAppFolder();
#endif

} // namespace ondril
