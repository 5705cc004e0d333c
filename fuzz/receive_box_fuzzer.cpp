// Bytes from the balance, appended to the receive box in pieces as the line
// collector delivers them, come back unchanged as the bytes Save writes.
// The first input byte sets the piece length, so a CR and its LF can land in
// different pieces.
#include "reception/ReceiveBox.h"

#include <QApplication>
#include <QPlainTextEdit>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>

namespace {
QPlainTextEdit *box = nullptr;
}

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv); // lives as long as the fuzzer
    box = new QPlainTextEdit;
    box->setUndoRedoEnabled(false);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const qsizetype piece = 1 + data[0] % 64;
    const QByteArray received(reinterpret_cast<const char *>(data) + 1, qsizetype(size) - 1);
    box->clear();
    for (qsizetype at = 0; at < received.size(); at += piece)
        ondril::appendToBox(box, QString::fromLatin1(received.mid(at, piece)));
    if (ondril::boxBytes(*box->document()) != received)
        std::abort();
    return 0;
}
