#pragma once

#include "platform/ui/Responder.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QColorDialog;

namespace korimado {

// The application's one colour panel: a modeless colour dialog that sends its action to its
// target when the user has picked a colour. Whoever uses it sets target and action; colours set
// from code are sent to nobody.
class ColorPanel : public QObject {
    Q_OBJECT

public:
    static ColorPanel& shared();
    // Posted (object: the panel) when the user closes the panel.
    static inline const QString willCloseNotification = QStringLiteral("ColorPanel.willClose");

    Responder* target() const { return target_.get(); }
    void setTarget(Responder* target) { target_ = target; }
    QString action() const { return action_; }
    void setAction(const QString& action) { action_ = action; }

    void setShowsAlpha(bool shows);
    // Continuous: every change is sent at once; otherwise once the user has settled on a colour.
    void setContinuous(bool continuous) { continuous_ = continuous; }
    bool isContinuous() const { return continuous_; }

    QColor color() const;
    void setColor(const QColor& color);

    void makeKeyAndOrderFront();
    void orderOut();
    bool isVisible() const;

    // Sends the action to the target, as a completed pick does; false when nobody got it.
    bool sendAction();
    QColorDialog* dialog() const { return dialog_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    ColorPanel();
    void userChanged();

    QColorDialog* dialog_ = nullptr;
    ResponderRef target_;
    QString action_;
    bool continuous_ = false;
    bool settingColor_ = false;
    QColor startColor_;
    bool closingWindow_ = false;
    QTimer settle_;
};

}  // namespace korimado
