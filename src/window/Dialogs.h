#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QWidget;

namespace ondril {

// What the file dialog is asked for.
struct FileDialogRequest {
    QString title;
    QString directory;
    QStringList filters;    // "text (*.txt *.xls *.doc)" ...
    int selectedFilter = 0;
    // A save dialog: a name without a suffix gets `suffix`, and an existing
    // file is asked about before it is replaced.
    bool saving = false;
    QString suffix;
};

// Every modal window goes through here, so that tests can answer without blocking.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    // A message box captioned "Ondril" with an OK button only and no icon.
    // `details`, when given, are there for the asking (Qt's "Show Details..."),
    // leaving the message itself as it is.
    virtual void message(QWidget *parent, const QString &text, const QString &details) = 0;
    void message(QWidget *parent, const QString &text) { message(parent, text, QString()); }
    // A file-open dialog that also accepts a new name, or a save dialog;
    // empty when cancelled.
    virtual QString openFile(QWidget *parent, const FileDialogRequest &request) = 0;
    // A message that waits for nobody: reception goes on while it is up.
    virtual void notice(QWidget *parent, const QString &text) = 0;
    // A line of text to edit, under `label`; empty when cancelled.
    virtual QString textInput(QWidget *parent, const QString &label, const QString &text) = 0;
    // A notice with a button named `action` that runs `accepted`, and one that
    // closes it; it waits for nobody either.
    virtual void offer(QWidget *parent, const QString &text, const QString &action, std::function<void()> accepted) = 0;
};

class QtDialogs : public Dialogs {
public:
    using Dialogs::message;
    void message(QWidget *parent, const QString &text, const QString &details) override;
    QString openFile(QWidget *parent, const FileDialogRequest &request) override;
    void notice(QWidget *parent, const QString &text) override;
    void offer(QWidget *parent, const QString &text, const QString &action, std::function<void()> accepted) override;
    QString textInput(QWidget *parent, const QString &label, const QString &text) override;
};

} // namespace ondril
