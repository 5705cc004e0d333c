#pragma once

#include <QObject>
#include <QString>

#include <memory>
#include <optional>

class QMenu;

namespace ondril {

class Dialogs;
class Form1;
class SendWindow;

// The Send window's place in the Tools menu, with "Keep every line" (a
// choice kept for the next run once changed). The window is built the first
// time it opens.
class SendMenu : public QObject {
    Q_OBJECT
public:
    SendMenu(Form1 *form, Dialogs *dialogs, QMenu *menu);
    ~SendMenu() override;

    SendWindow *window();
    bool isBuilt() const { return bool(m_window); }
    // The command set the window shows: now, or when it opens.
    void chooseSet(const QString &name);

signals:
    // A command went out from the window, to be counted under its name.
    void commandSent(const QString &name, bool asksWeight, qint64 steadyNs);

private:
    Form1 *m_form;
    Dialogs *m_dialogs;
    std::unique_ptr<SendWindow> m_window;
    std::optional<QString> m_set; // chosen before the window was built
};

} // namespace ondril
