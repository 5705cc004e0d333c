#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace ondril {

// The program's one settings file (~/.config/Ondril.conf), holding only the
// choices the operator asked to keep.
std::unique_ptr<QSettings> keptChoices();

#ifdef _WIN32
// %LOCALAPPDATA%\Ondril: the journal's folder and the settings file's on Windows.
QString localAppFolder();
#endif

} // namespace ondril
