#include "JournalFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>

#ifdef Q_OS_WIN
#include <io.h>
#include <qt_windows.h>
#include <sys/stat.h>
#else
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace ondril::journalfile {

#ifdef Q_OS_WIN

int createNew(const QString &path)
{
    return ::_wopen(reinterpret_cast<const wchar_t *>(path.utf16()),
                    _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT, _S_IREAD | _S_IWRITE);
}

int openForSync(int, const QString &path)
{
    // A handle of its own: its flush holds neither the writer's C library
    // lock nor its file object.
    return ::_wopen(reinterpret_cast<const wchar_t *>(path.utf16()), _O_WRONLY | _O_BINARY | _O_NOINHERIT);
}

int openForReading(const QString &path)
{
    return ::_wopen(reinterpret_cast<const wchar_t *>(path.utf16()), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

bool tryLock(int fd, bool exclusive)
{
    OVERLAPPED at{};
    const DWORD how = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (LockFileEx(HANDLE(::_get_osfhandle(fd)), how, 0, MAXDWORD, MAXDWORD, &at))
        return true;
    // Its own error, for lastError(), not whatever errno held before.
    errno = GetLastError() == ERROR_LOCK_VIOLATION ? EAGAIN : EACCES;
    return false;
}

qint64 writeAt(int fd, const char *data, qint64 size, qint64 at)
{
    if (::_lseeki64(fd, at, SEEK_SET) < 0)
        return -1;
    return ::_write(fd, data, unsigned(qMin<qint64>(size, 1 << 30)));
}

bool truncate(int fd, qint64 size)
{
    errno = ::_chsize_s(fd, size);
    return errno == 0;
}

void syncData(int fd)
{
    ::_commit(fd);
}

void closeFile(int fd)
{
    ::_close(fd);
}

void removeFile(const QString &path)
{
    ::_wunlink(reinterpret_cast<const wchar_t *>(path.utf16()));
}

bool stillWhole(int fd, qint64 size)
{
    // An open file cannot be removed here.
    struct _stat64 st {};
    return ::_fstat64(fd, &st) != 0 || st.st_size >= size;
}

bool interrupted()
{
    return false;
}

#else

int createNew(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
}

int openForSync(int fd, const QString &)
{
    return ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
}

int openForReading(const QString &path)
{
    return ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
}

bool tryLock(int fd, bool exclusive)
{
    return ::flock(fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) == 0;
}

qint64 writeAt(int fd, const char *data, qint64 size, qint64 at)
{
    // At the end of what it holds (files opened for appending append anyway).
    return ::pwrite(fd, data, size_t(size), off_t(at));
}

bool truncate(int fd, qint64 size)
{
    return ::ftruncate(fd, off_t(size)) == 0;
}

void syncData(int fd)
{
    ::fdatasync(fd);
}

void closeFile(int fd)
{
    ::close(fd);
}

void removeFile(const QString &path)
{
    ::unlink(QFile::encodeName(path).constData());
}

bool stillWhole(int fd, qint64 size)
{
    struct stat st {};
    return ::fstat(fd, &st) != 0 || (st.st_nlink > 0 && st.st_size >= size);
}

bool interrupted()
{
    return errno == EINTR;
}

#endif

QString lastError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace ondril::journalfile
