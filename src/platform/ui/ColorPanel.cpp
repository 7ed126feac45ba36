#include "platform/ui/ColorPanel.h"

#include "platform/foundation/NotificationCenter.h"

#include <QColorDialog>

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
    dialog_->setOptions(QColorDialog::NoButtons | QColorDialog::DontUseNativeDialog);
    dialog_->setModal(false);
    settle_.setSingleShot(true);
    settle_.setInterval(settleMilliseconds);
    connect(&settle_, &QTimer::timeout, this, [this] { sendAction(); });
    connect(dialog_, &QColorDialog::currentColorChanged, this, [this] {
        if (!settingColor_) userChanged();
    });
    // Closing the window and Escape both reject the dialog.
    connect(dialog_, &QDialog::rejected, this, [this] {
        settle_.stop();
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

void ColorPanel::makeKeyAndOrderFront()
{
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
