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
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace ondril::journalfile {

#ifdef Q_OS_WIN

int createNew(const QString &path, bool readWrite)
{
    return ::_wopen(reinterpret_cast<const wchar_t *>(path.utf16()),
                    (readWrite ? _O_RDWR : _O_WRONLY) | _O_CREAT | _O_EXCL | _O_BINARY | _O_NOINHERIT,
                    _S_IREAD | _S_IWRITE);
}

int openForReading(const QString &path)
{
    return ::_wopen(reinterpret_cast<const wchar_t *>(path.utf16()), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
}

bool tryLock(int fd, bool exclusive)
{
    OVERLAPPED at{};
    const DWORD how = LOCKFILE_FAIL_IMMEDIATELY | (exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    return LockFileEx(HANDLE(::_get_osfhandle(fd)), how, 0, MAXDWORD, MAXDWORD, &at);
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

char *mapRoom(int, char *, qint64, qint64)
{
    return nullptr;
}

void unmap(char *, qint64) {}

bool interrupted()
{
    return false;
}

#else

int createNew(const QString &path, bool readWrite)
{
    return ::open(QFile::encodeName(path).constData(),
                  (readWrite ? O_RDWR : O_WRONLY | O_APPEND) | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
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

char *mapRoom(int fd, char *old, qint64 oldSize, qint64 size)
{
    if (::posix_fallocate(fd, 0, off_t(size)) != 0)
        return nullptr;
    void *p = old ? ::mremap(old, size_t(oldSize), size_t(size), MREMAP_MAYMOVE)
                  : ::mmap(nullptr, size_t(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    return p == MAP_FAILED ? nullptr : static_cast<char *>(p);
}

void unmap(char *map, qint64 size)
{
    ::munmap(map, size_t(size));
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
