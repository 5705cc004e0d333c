#pragma once

#include "serial/LineSettings.h"

#include <QDialog>

class QCheckBox;
class QComboBox;

namespace ondril {

// Data bits, parity, stop bits and handshake of the port, and whether to keep
// them for the next run. The speed stays the main window's.
class LineSettingsDialog : public QDialog {
    Q_OBJECT
public:
    LineSettingsDialog(const LineSettings &current, bool remembered, QWidget *parent);

    // The current settings with the framing and handshake chosen.
    LineSettings chosen() const;
    bool remember() const;

    QComboBox *dataBits, *parity, *stopBits, *handshaking;
    QCheckBox *rememberBox;

private:
    LineSettings m_current;
};

} // namespace ondril
