#include "LogFile.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#ifdef Q_OS_WIN
#include <io.h>
#else
#include <unistd.h>
#endif

namespace ondril {

namespace {

bool failed(const QFileDevice &file, QString *error)
{
    *error = file.errorString();
    return false;
}

// A device or a pipe: it has no end to append at, and cannot be replaced by
// renaming a new file over it.
bool isDevice(const QFileInfo &file)
{
    return file.exists() && !file.isFile() && !file.isDir();
}

// Writes the block and forces it out to the disk, which may only report a
// full or failing disk at that point.
bool writeOut(QFileDevice &file, const QList<QByteArrayView> &block, QString *error)
{
    const auto systemError = [&] {
        *error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    };
    errno = 0;
    for (const QByteArrayView piece : block)
        if (file.write(piece.data(), piece.size()) != piece.size())
            // After a partial write Qt knows no reason; the system still does.
            return errno != 0 ? systemError() : failed(file, error);
    if (!file.flush())
        return errno != 0 ? systemError() : failed(file, error);
    // Devices and pipes cannot be synced and say EINVAL; that is no failure.
#ifdef Q_OS_WIN
    if (::_commit(file.handle()) != 0 && errno != EINVAL && errno != EBADF)
#else
    if (::fsync(file.handle()) != 0 && errno != EINVAL)
#endif
        return systemError();
    return true;
}

// Appends, or truncates and writes when `mode` is Replace, in place. A failed
// append is cut back, so the log keeps exactly what it held before.
bool writeInPlace(const QString &path, const QList<QByteArrayView> &block, LogMode mode, QString *error)
{
    QFile file(path);
    QIODevice::OpenMode how = QIODevice::WriteOnly;
    if (!isDevice(QFileInfo(path)))
        how |= mode == LogMode::Append ? QIODevice::Append : QIODevice::Truncate;
    if (!file.open(how))
        return failed(file, error);
    const qint64 kept = file.size();
    bool ok = writeOut(file, block, error);
    file.close();
    if (ok && file.error() != QFileDevice::NoError)
        ok = failed(file, error);
    if (!ok && (how & QIODevice::Append))
        QFile::resize(path, kept);
    return ok;
}

} // namespace

bool writeLog(const QString &path, const QList<QByteArrayView> &block, LogMode mode, QString *error)
{
    if (mode == LogMode::Append || isDevice(QFileInfo(path)))
        return writeInPlace(path, block, mode, error);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return failed(file, error);
    // commit() would not notice a failure of its own final flush and would
    // put a cut-off file in place, so the bytes are forced out first. On any
    // failure the temporary file goes with `file`.
    if (!writeOut(file, block, error))
        return false;
    if (!file.commit())
        return failed(file, error);
    return true;
}

bool createLog(const QString &path, QString *error)
{
    return writeInPlace(path, {}, LogMode::Append, error);
}

} // namespace ondril
