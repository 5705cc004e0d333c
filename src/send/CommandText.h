#pragma once

#include <QByteArray>
#include <QString>

namespace ondril {

// What ends a command on the line.
enum class LineEnd { None, Cr, Lf, CrLf };

// A command as the operator typed it, turned into the bytes that go out:
// text with escapes (\r \n \t \e \xHH \\) or hex bytes ("1B 70", "1B70").
// A command that does not parse sends nothing: `error` says why and
// `errorAt` where (a character index of the text).
struct CommandBytes {
    QByteArray bytes;
    QString error;
    qsizetype errorAt = -1;
    bool ok() const { return error.isEmpty(); }
};

constexpr qsizetype longestCommand = 4096;

CommandBytes parseCommandText(const QString &text, bool hex, LineEnd end = LineEnd::None);
// The bytes as the HEX boxes show a button's: "1B 70 0D 0A".
QString hexText(const QByteArray &bytes);
// The bytes as text with escapes, which parseCommandText reads back as they are.
QString escapedText(const QByteArray &bytes);

} // namespace ondril
