#pragma once

#include <QByteArrayView>
#include <QList>
#include <QString>

namespace ondril {

enum class LogMode { Replace, Append };

// Writes one block, given in pieces, to the log file. Replacing writes a new
// file that takes the old one's place only once it is complete, so a failure
// leaves the old log whole; appending counts only once the bytes have reached
// the file. False with the reason in `error` on any failure.
bool writeLog(const QString &path, const QList<QByteArrayView> &block, LogMode mode, QString *error);

// Creates the log file if it is missing, leaving an existing one unchanged.
bool createLog(const QString &path, QString *error);

} // namespace ondril
