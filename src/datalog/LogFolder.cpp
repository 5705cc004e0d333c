#include "LogFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace ondril {

namespace {

bool mayWrite(const QString &folder)
{
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
}

QString documentsFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
}

} // namespace

QString logFolder()
{
    const QString own = QCoreApplication::applicationDirPath();
    if (mayWrite(own))
        return own;
    const QString home = qEnvironmentVariable("HOME");
    if (!home.isEmpty() && QFileInfo(home).isDir()) {
        const QString documents = documentsFolder();
        const QFileInfo where(documents);
        if (!documents.isEmpty()
            && (where.isDir() ? mayWrite(documents) : !where.exists() && mayWrite(where.absolutePath())))
            return documents;
        if (mayWrite(home))
            return home;
    }
    const QString startedIn = QDir::currentPath(); // the program never changes it
    if (mayWrite(startedIn))
        return startedIn;
    return QFileInfo(home).isDir() ? home : startedIn;
}

void makeDocumentsFolder(const QString &folder)
{
    const QString documents = documentsFolder();
    if (!documents.isEmpty() && QFileInfo(folder) == QFileInfo(documents) && !QFileInfo::exists(folder))
        QDir().mkpath(folder);
}

} // namespace ondril
