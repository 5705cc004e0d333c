#include "KeptChoices.h"

#include <QSettings>
#include <QStandardPaths>

namespace ondril {

std::unique_ptr<QSettings> keptChoices()
{
#ifdef Q_OS_WIN
    // A file beside the journal rather than the registry: the same keys, easy
    // to read and to take along.
    return std::make_unique<QSettings>(localAppFolder() + QStringLiteral("/Ondril.ini"), QSettings::IniFormat);
#else
    return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, QStringLiteral("Ondril"));
#endif
}

#ifdef Q_OS_WIN
QString localAppFolder()
{
    // %LOCALAPPDATA%, without the organisation and application folders Qt would add.
    const QString local = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    return local + QStringLiteral("/Ondril");
}
#endif

} // namespace ondril
