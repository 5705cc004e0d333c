#pragma once

#include <QString>

// The few file operations the journal needs, on Linux and on Windows. Files
// are C library descriptors; a failure leaves its reason for lastError().
namespace ondril::journalfile {

// A file that did not exist, for this user alone, written at its end; -1
// when it exists already.
int createNew(const QString &path);
// A descriptor of its own on the file `fd` has open at `path`, to force it
// to the disk without waiting on the writer (on Windows the C library locks
// a descriptor for the whole of a flush).
int openForSync(int fd, const QString &path);
int openForReading(const QString &path);
// Without waiting; false when another holds the file locked.
bool tryLock(int fd, bool exclusive);
// All of it, or what a full disk let through (-1 with no byte written).
qint64 writeAt(int fd, const char *data, qint64 size, qint64 at);
bool truncate(int fd, qint64 size);
void syncData(int fd);
void closeFile(int fd);
void removeFile(const QString &path);
// The open file still holds at least `size` bytes and still has its name:
// nobody cut or removed it from outside.
bool stillWhole(int fd, qint64 size);
QString lastError();
bool interrupted(); // the last call was interrupted by a signal: try again

} // namespace ondril::journalfile
