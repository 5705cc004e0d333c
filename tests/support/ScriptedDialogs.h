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
    // Offers are notices too; their actions are kept for a test to take.
    void offer(QWidget *, const QString &text, const QString &, std::function<void()> accepted) override
    {
        notices << text;
        offers << std::move(accepted);
    }
    QList<std::function<void()>> offers;
    QString textInput(QWidget *, const QString &, const QString &) override
    {
        return textAnswers.isEmpty() ? QString() : textAnswers.takeFirst();
    }
    QStringList textAnswers;
    QList<ondril::FileDialogRequest> requests;
};
