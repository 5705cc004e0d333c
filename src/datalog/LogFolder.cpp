#include "LogFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

#include <unistd.h>

namespace ondril {

namespace {

bool mayWrite(const QString &folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

} // namespace

QString logFolder()
{
    const QString own = QCoreApplication::applicationDirPath();
    if (mayWrite(own))
        return own;
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QDir().mkpath(documents) && mayWrite(documents))
        return documents;
    return QDir::homePath();
}

} // namespace ondril
