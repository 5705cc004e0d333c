#pragma once

#include "window/Dialogs.h"

#include <QStringList>

// Records every message and answers file dialogs from a script; never blocks.
class ScriptedDialogs : public ondril::Dialogs {
public:
    void message(QWidget *, const QString &text) override { messages << text; }
    QString openFile(QWidget *, const ondril::FileDialogRequest &request) override
    {
        requests << request;
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }

    QStringList messages;
    QStringList fileAnswers;
    QList<ondril::FileDialogRequest> requests;
};
