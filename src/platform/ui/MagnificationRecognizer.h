#pragma once

#include <QList>
#include <QObject>
#include <QPointer>

#include <functional>

class QWidget;

namespace korimado {

// A pinch recognizer attached to a view: a zoom gesture over the view or any view inside it sets
// the magnification (the step of that one event, 0.5 for half as large again) and sends the
// action to the target. Both can also be driven directly, as a test or self-test does.
class MagnificationRecognizer : public QObject {
    Q_OBJECT

public:
    using Action = std::function<void(MagnificationRecognizer& sender)>;

    // Attached to view, which owns it; target is held weakly.
    MagnificationRecognizer(QWidget* view, QObject* target, Action action);
    ~MagnificationRecognizer() override;

    QWidget* view() const;
    QObject* target() const { return target_.data(); }
    double magnification() const { return magnification_; }
    void setMagnification(double magnification) { magnification_ = magnification; }

    // Sends the action to the target; false when there is no target or no action.
    bool sendAction();

    // The recognizers attached to a view, in the order they were attached.
    static QList<MagnificationRecognizer*> attachedTo(const QWidget* view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void watch(QWidget* widget);

    QPointer<QObject> target_;
    Action action_;
    double magnification_ = 0;
};

}  // namespace korimado
