#include "LogFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <QTemporaryFile>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace ondril {

namespace {

bool mayWrite(const QString &folder)
{
#ifdef Q_OS_WIN
    // Windows' access() looks at the read-only flag alone, never at who may
    // write (C:\Program Files): a file made and removed again tells.
    QTemporaryFile probe(folder + QStringLiteral("/.ondril-XXXXXX"));
    return QFileInfo(folder).isDir() && probe.open();
#else
    return ::access(QFile::encodeName(folder).constData(), W_OK | X_OK) == 0;
#endif
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
#ifdef Q_OS_WIN
    const QString home = QDir::homePath(); // %USERPROFILE%
#else
    const QString home = qEnvironmentVariable("HOME");
#endif
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
