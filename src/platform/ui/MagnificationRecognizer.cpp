#include "platform/ui/MagnificationRecognizer.h"

#include <QChildEvent>
#include <QEvent>
#include <QNativeGestureEvent>
#include <QWidget>

namespace korimado {

MagnificationRecognizer::MagnificationRecognizer(QWidget* view, QObject* target, Action action)
    : QObject(view), target_(target), action_(std::move(action))
{
    watch(view);
}

MagnificationRecognizer::~MagnificationRecognizer() = default;

QWidget* MagnificationRecognizer::view() const
{
    return qobject_cast<QWidget*>(parent());
}

bool MagnificationRecognizer::sendAction()
{
    if (!target_ || !action_) return false;
    action_(*this);
    return true;
}

QList<MagnificationRecognizer*> MagnificationRecognizer::attachedTo(const QWidget* view)
{
    return view ? view->findChildren<MagnificationRecognizer*>(QString(), Qt::FindDirectChildrenOnly)
                : QList<MagnificationRecognizer*>();
}

// The view and what it holds, also what it is given later (a web engine makes its widgets late).
void MagnificationRecognizer::watch(QWidget* widget)
{
    widget->installEventFilter(this);
    for (QObject* child : widget->children())
        if (auto* inner = qobject_cast<QWidget*>(child)) watch(inner);
}

bool MagnificationRecognizer::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ChildAdded) {
        if (auto* added = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) watch(added);
    } else if (event->type() == QEvent::NativeGesture) {
        const auto* gesture = static_cast<QNativeGestureEvent*>(event);
        if (gesture->gestureType() == Qt::ZoomNativeGesture) {
            magnification_ = gesture->value();
            sendAction();
            // Unaccepted, the application hands the gesture on to the parent, which may be watched too.
            event->accept();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace korimado
