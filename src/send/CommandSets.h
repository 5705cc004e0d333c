#pragma once

#include "CommandText.h"
#include "readings/ReplyDecoder.h"

#include <QList>
#include <QString>

namespace ondril {

// A command of the Send window: the bytes it sends, as typed, and the row of
// the Readings window's tally it is counted in.
struct SendCommand {
    QString name;
    QString text; // text with escapes, or hex
    bool hex = false;
    LineEnd end = LineEnd::None;
    bool asksWeight = false; // a read-only weight request: its replies are weighings

    CommandBytes bytes() const { return parseCommandText(text, hex, end); }
};

// The commands of one family of balances, named by their shape.
struct CommandSet {
    QString name;
    QList<SendCommand> commands; // the read-only weight request the scan sends first
    ReplyShape replies;          // the shape of the family's weighing lines
};

// ESC and a letter (the buttons' own), command words ended by CR LF, and
// letters ended by CR LF: each with its read-only weight requests, tare and
// zero where the family has them.
const QList<CommandSet> &commandSets();

// "SI CR LF", "ESC p": a command's bytes as a manual writes them.
QString spokenBytes(const QByteArray &bytes);

// A name the tally and the CSV can carry: printable ASCII without commas or quotes.
bool isCommandName(const QString &name);
// The name of a command typed without one: its bytes, with escapes.
QString typedCommandName(const QByteArray &bytes);

} // namespace ondril
