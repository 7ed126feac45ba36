#include "platform/ui/ColorPanel.h"

#include "platform/foundation/NotificationCenter.h"

#include <QColorDialog>
#include <QEvent>

#include <utility>

namespace korimado {

namespace {

// How long a colour must stay put before a non-continuous panel sends it: a drag across the
// colour field is one pick, not a hundred.
constexpr int settleMilliseconds = 350;

}  // namespace

ColorPanel& ColorPanel::shared()
{
    // Never destroyed: its dialog must not outlive the application object's widgets.
    static ColorPanel* panel = new ColorPanel;
    return *panel;
}

ColorPanel::ColorPanel()
{
    dialog_ = new QColorDialog;
    dialog_->setWindowTitle(QStringLiteral("カラー"));
    // OK keeps the colour picked, キャンセル (and Escape) puts back the one it started from.
    dialog_->setOptions(QColorDialog::DontUseNativeDialog);
    dialog_->setModal(false);
    dialog_->installEventFilter(this);
    settle_.setSingleShot(true);
    settle_.setInterval(settleMilliseconds);
    connect(&settle_, &QTimer::timeout, this, [this] { sendAction(); });
    connect(dialog_, &QColorDialog::currentColorChanged, this, [this] {
        if (!settingColor_) userChanged();
    });
    connect(dialog_, &QDialog::accepted, this, [this] {
        if (color() != startColor_) sendAction();
        NotificationCenter::defaultCenter().post(willCloseNotification, this);
    });
    // Escape and キャンセル reject the dialog, and so does its window's close button, which keeps
    // the colour as closing the panel always did.
    connect(dialog_, &QDialog::rejected, this, [this] {
        settle_.stop();
        const bool closed = std::exchange(closingWindow_, false);
        if (!closed && startColor_.isValid() && color() != startColor_) {
            setColor(startColor_);
            sendAction();
        }
        NotificationCenter::defaultCenter().post(willCloseNotification, this);
    });
}

void ColorPanel::setShowsAlpha(bool shows)
{
    dialog_->setOption(QColorDialog::ShowAlphaChannel, shows);
}

QColor ColorPanel::color() const
{
    return dialog_->currentColor();
}

void ColorPanel::setColor(const QColor& color)
{
    settle_.stop();
    settingColor_ = true;
    dialog_->setCurrentColor(color);
    settingColor_ = false;
}

bool ColorPanel::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == dialog_ && event->type() == QEvent::Close) closingWindow_ = true;
    return QObject::eventFilter(watched, event);
}

void ColorPanel::makeKeyAndOrderFront()
{
    // What キャンセル goes back to: the colour the panel was brought up with.
    startColor_ = color();
    dialog_->show();
    dialog_->raise();
    dialog_->activateWindow();
}

void ColorPanel::orderOut()
{
    settle_.stop();
    dialog_->hide();
}

bool ColorPanel::isVisible() const
{
    return dialog_->isVisible();
}

bool ColorPanel::sendAction()
{
    settle_.stop();
    Responder* target = target_.get();
    if (!target || action_.isEmpty() || !target->respondsTo(action_)) return false;
    target->perform(action_, nullptr);
    return true;
}

void ColorPanel::userChanged()
{
    if (continuous_) sendAction();
    else settle_.start();
}

}  // namespace korimado
