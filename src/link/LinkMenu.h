#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QMenu;

namespace ondril {

class Form1;
class LinkWindow;

// The Link window's place in the Tools menu. The window is built the first
// time it opens.
class LinkMenu : public QObject {
    Q_OBJECT
public:
    // `busy`: why the self-test may not run now, empty when it may.
    LinkMenu(Form1 *form, QMenu *menu, std::function<QString()> busy);
    ~LinkMenu() override;

    LinkWindow *window();

signals:
    // The self-test has the port to itself from the first to the second.
    void selfTestStarted();
    void selfTestFinished();

private:
    Form1 *m_form;
    std::function<QString()> m_busy;
    std::unique_ptr<LinkWindow> m_window;
};

} // namespace ondril
