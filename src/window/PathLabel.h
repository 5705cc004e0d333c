#pragma once

#include <QLabel>

namespace ondril {

// A label for a file path: its text stays the whole path, a path too long for
// the label is drawn with its middle left out, and the tooltip shows it whole.
class PathLabel : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;

    // What the label draws.
    QString shownText() const;

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;
};

} // namespace ondril
