#pragma once

#include "FakeComm.h"
#include "ScriptedDialogs.h"
#include "receivebox/ReceiveBox.h"
#include "window/Form1.h"

#include <QHelpEvent>
#include <QTextDocument>
#include <QToolTip>
#include <QTimer>
#include <QtTest>

#include <functional>

// A loaded window on an in-memory port.
struct FormRig {
    FakeComm comm;
    ScriptedDialogs dialogs;
    ondril::Form1 form{&comm, &dialogs};
    bool loaded = form.Form_Load();

    // Everything the receive box holds, as the log would get it.
    QByteArray shown() const { return form.Text2->bytes().toByteArray(); }
};

// Runs `step` from the event loop `ms` from now, inside whatever wait is going
// on then. Handlers that wait for a reply do not return to the test until it
// comes, so a test lays out its steps first and then waits for them all.
inline void after(int ms, std::function<void()> step)
{
    QTimer::singleShot(ms, step);
}

// A tooltip as the reader sees it: rich text rendered, plain text as it is.
inline QString asShown(const QString &tip)
{
    if (!Qt::mightBeRichText(tip))
        return tip;
    QTextDocument rendered;
    rendered.setHtml(tip);
    return rendered.toPlainText();
}

// The tooltip `widget` shows when hovered.
inline QString shownToolTip(QWidget *widget)
{
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), widget->mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(widget, &help);
    if (!QTest::qWaitFor([] { return !QToolTip::text().isEmpty(); }))
        return {};
    const QString tip = QToolTip::text();
    QToolTip::hideText();
    return asShown(tip);
}
