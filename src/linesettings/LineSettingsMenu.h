#pragma once

#include "GarbleHint.h"
#include "LinkScan.h"
#include "serial/LineSettings.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>

#include <optional>

class QAction;
class QMenu;

namespace ondril {

class Dialogs;
class Form1;
class LineSettingsDialog;

// In the tools menu: the line settings beyond the speed (kept for the next
// run only when the operator ticks "Remember"), the scan that finds the
// balance's own, and a word to the operator when replies look garbled or a
// handshake holds the output back.
class LineSettingsMenu : public QObject {
    Q_OBJECT
public:
    LineSettingsMenu(Form1 *form, Dialogs *dialogs, QMenu *menu);

    // After start-up: the remembered settings, if any, on the open port.
    void restore();
    static bool isRemembered();

    LineSettingsDialog *openDialog();
    // Applies at once; false (the operator told why) when the device refuses.
    bool apply(const LineSettings &line, bool remember);
    // The scan; false when it cannot start (told why).
    bool findSettings();
    LinkScan *scan() const { return m_scan; }
    QProgressDialog *progress() const { return m_progress; }
    // While another test of the link reads the port, what it reads is not a
    // reply: no hint is drawn from it.
    void setPortUnderTest(bool on) { watchBytes(!on); }

signals:
    void scanFinished(std::optional<ScanFinding> found);

private:
    void showState();
    void scanDone(std::optional<ScanFinding> found, qsizetype tries, const QString &coverage,
                  const ScanObservations &seen);
    void watchBytes(bool on);
    QString portText() const;

    Form1 *m_form;
    Dialogs *m_dialogs;
    QAction *m_settingsAction;
    QAction *m_findAction;
    QPointer<LinkScan> m_scan;
    QPointer<QProgressDialog> m_progress;
    GarbleHint m_hint;
    QMetaObject::Connection m_watch;
};

} // namespace ondril
