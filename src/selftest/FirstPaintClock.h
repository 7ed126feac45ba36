#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>

class QWidget;

namespace korimado {

// Times the first paint of one widget alone, however much else of its window is painted in the
// same pass: the paint event is handled inside the watch, between two readings of the clock.
class FirstPaintClock : public QObject {
public:
    explicit FirstPaintClock(QWidget* widget);
    ~FirstPaintClock() override;

    // Milliseconds the first paint took; negative before it happened.
    double milliseconds() const { return milliseconds_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QPointer<QWidget> widget_;
    double milliseconds_ = -1;
};

}  // namespace korimado
