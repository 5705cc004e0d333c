#pragma once

#include <QWidget>

namespace ondril {

// The face of a DB9 plug as one looks into the port, with the pins the
// loopback test needs joined: 2–3, 7–8 and 4–6–1.
class Db9Picture : public QWidget {
    Q_OBJECT
public:
    explicit Db9Picture(QWidget *parent = nullptr);
    QSize sizeHint() const override { return {260, 100}; }

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace ondril
