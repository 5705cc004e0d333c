#pragma once

#include "window/Dialogs.h"

#include <QStringList>

// Records every message and answers file dialogs from a script; never blocks.
class ScriptedDialogs : public ondril::Dialogs {
public:
    using ondril::Dialogs::message;
    void message(QWidget *, const QString &text, const QString &detail) override
    {
        messages << text;
        details << detail;
    }
    QString openFile(QWidget *, const ondril::FileDialogRequest &request) override
    {
        requests << request;
        return fileAnswers.isEmpty() ? QString() : fileAnswers.takeFirst();
    }

    QStringList messages;
    QStringList details; // of each message, empty when it has none
    QStringList fileAnswers;
    QStringList notices;
    void notice(QWidget *, const QString &text) override { notices << text; }
    QList<ondril::FileDialogRequest> requests;
};
