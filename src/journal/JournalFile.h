#pragma once

#include <QString>

// The few file operations the journal needs, on Linux and on Windows. Files
// are C library descriptors; a failure leaves its reason for lastError().
namespace ondril::journalfile {

// A file that did not exist, for this user alone; -1 when it exists already.
int createNew(const QString &path, bool readWrite);
int openForReading(const QString &path);
// Without waiting; false when another holds the file locked.
bool tryLock(int fd, bool exclusive);
// All of it, or what a full disk let through (-1 with no byte written).
qint64 writeAt(int fd, const char *data, qint64 size, qint64 at);
bool truncate(int fd, qint64 size);
void syncData(int fd);
void closeFile(int fd);
void removeFile(const QString &path);
// The file's first `size` bytes shared in memory, their room allocated on
// the disk first, so that a full disk shows here and never as a fault on the
// mapping; what `old` held moves along. nullptr where that cannot be done
// (on Windows always: the journal writes each line instead, since a mapped
// page reaches the disk only through a flush of its own).
char *mapRoom(int fd, char *old, qint64 oldSize, qint64 size);
void unmap(char *map, qint64 size);
QString lastError();
bool interrupted(); // the last call was interrupted by a signal: try again

} // namespace ondril::journalfile
