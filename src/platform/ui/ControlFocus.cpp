#include "platform/ui/ControlFocus.h"

#include <QAbstractButton>
#include <QCoreApplication>
#include <QComboBox>
#include <QEvent>
#include <QWidget>

namespace korimado {

namespace {

class WheelPassThrough : public QObject {
public:
    using QObject::QObject;

    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() != QEvent::Wheel)
            return false;
        // Handled here but not accepted: the parents get the wheel.
        event->ignore();
        return true;
    }
};

QObject* wheelPassThrough()
{
    static auto* filter = new WheelPassThrough(QCoreApplication::instance());
    return filter;
}

}  // namespace

void keepFocusOffControls(QWidget* root)
{
    if (!root)
        return;
    for (QAbstractButton* button : root->findChildren<QAbstractButton*>())
        button->setFocusPolicy(Qt::NoFocus);
    for (QComboBox* popUp : root->findChildren<QComboBox*>()) {
        if (popUp->isEditable())
            continue;
        popUp->setFocusPolicy(Qt::NoFocus);
        popUp->removeEventFilter(wheelPassThrough());
        popUp->installEventFilter(wheelPassThrough());
    }
}

}  // namespace korimado
