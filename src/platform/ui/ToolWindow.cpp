#include "platform/ui/ToolWindow.h"

#include "platform/ui/WindowFrameAutosave.h"

#include <QApplication>
#include <QEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QScreen>
#include <QWidget>

#include <algorithm>

namespace korimado {

namespace {

const char* const placedProperty = "korimado.toolWindow.placed";

// Lives as a child of the panel: follows the owner's showing and hiding, lets a shared panel go
// before its owner is destroyed, and answers Escape.
class ToolWindowLink : public QObject {
public:
    explicit ToolWindowLink(QWidget* panel) : QObject(panel), panel_(panel)
    {
        setObjectName(QStringLiteral("korimado.toolWindowLink"));
        panel->installEventFilter(this);
    }

    static ToolWindowLink* of(QWidget* panel)
    {
        auto* link = panel->findChild<ToolWindowLink*>(QStringLiteral("korimado.toolWindowLink"),
                                                       Qt::FindDirectChildrenOnly);
        return link ? link : new ToolWindowLink(panel);
    }

    void follow(QWidget* owner, ToolWindow::Lifetime lifetime)
    {
        if (owner_ != owner) {
            if (owner_) owner_->removeEventFilter(this);
            QObject::disconnect(destroyed_);
            owner_ = owner;
            hiddenWithOwner_ = false;
            if (owner) owner->installEventFilter(this);
        }
        QObject::disconnect(destroyed_);
        if (owner && lifetime == ToolWindow::Lifetime::shared) {
            // A widget says it is going before its children are deleted.
            destroyed_ = QObject::connect(owner, &QObject::destroyed, this, [this] { release(); });
        }
    }

    std::function<void()> escape;
    bool escapeHandled = false;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (watched == panel_ && event->type() == QEvent::KeyPress && escapeHandled) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (key->key() == Qt::Key_Escape && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
                if (escape)
                    escape();
                else
                    panel_->close();
                return true;
            }
        }
        if (watched == owner_ && panel_) {
            if (event->type() == QEvent::Hide && panel_->isVisible()) {
                hiddenWithOwner_ = true;
                panel_->hide();
            } else if (event->type() == QEvent::Show && hiddenWithOwner_) {
                hiddenWithOwner_ = false;
                panel_->show();
            }
        }
        return false;
    }

private:
    void release()
    {
        owner_ = nullptr;
        hiddenWithOwner_ = false;
        if (!panel_) return;
        panel_->hide();
        panel_->setParent(nullptr, panel_->windowFlags());
    }

    QPointer<QWidget> panel_;
    QPointer<QWidget> owner_;
    QMetaObject::Connection destroyed_;
    bool hiddenWithOwner_ = false;
};

QRect availableArea(const QWidget* window)
{
    QScreen* screen = window ? window->screen() : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

}  // namespace

QRect ToolWindow::centredFrame(const QSize& size, const QRect& ownerFrame, const QRect& available)
{
    QPoint origin = ownerFrame.topLeft()
                    + QPoint((ownerFrame.width() - size.width()) / 2, (ownerFrame.height() - size.height()) / 2);
    if (available.isValid()) {
        origin.setX(std::max(std::min(origin.x(), available.right() + 1 - size.width()), available.left()));
        origin.setY(std::max(std::min(origin.y(), available.bottom() + 1 - size.height()), available.top()));
    }
    return QRect(origin, size);
}

void ToolWindow::attach(QWidget* panel, QWidget* owner, Lifetime lifetime)
{
    if (!panel) return;
    QWidget* window = owner ? owner->window() : nullptr;
    if (window == panel) window = nullptr;
    const Qt::WindowFlags flags = (panel->windowFlags() & ~Qt::WindowType_Mask) | Qt::Tool;
    if (panel->parentWidget() != window || panel->windowType() != Qt::Tool) {
        const QRect frame = panel->geometry();
        const bool visible = panel->isVisible();
        // Qt makes a tool window with a parent transient for it: the window manager keeps it
        // above that window and minimises it along.
        panel->setParent(window, flags);
        panel->setGeometry(frame);
        if (visible) panel->show();
    }
    ToolWindowLink::of(panel)->follow(window, lifetime);
}

void ToolWindow::present(QWidget* panel, QWidget* owner, Lifetime lifetime, Placement placement)
{
    if (!panel) return;
    attach(panel, owner, lifetime);
    if (!panel->isVisible()) {
        QWidget* window = ToolWindow::owner(panel);
        const QRect available = availableArea(window ? window : panel);
        bool keep = false;
        if (placement == Placement::remembered) {
            const QString name = WindowFrameAutosave::frameAutosaveName(panel);
            const bool placedBefore = panel->property(placedProperty).toBool()
                                      || (!name.isEmpty() && WindowFrameAutosave::savedFrame(name).has_value());
            keep = placedBefore && available.contains(panel->frameGeometry());
        }
        if (!keep) {
            const QRect around = window ? window->frameGeometry() : available;
            panel->move(centredFrame(panel->frameGeometry().size(), around, available).topLeft());
        }
        panel->setProperty(placedProperty, true);
    }
    panel->show();
    panel->raise();
    panel->activateWindow();
}

void ToolWindow::closeOnEscape(QWidget* panel, std::function<void()> action)
{
    if (!panel) return;
    ToolWindowLink* link = ToolWindowLink::of(panel);
    link->escape = std::move(action);
    link->escapeHandled = true;
}

QWidget* ToolWindow::owner(const QWidget* panel)
{
    return panel && panel->windowType() == Qt::Tool ? panel->parentWidget() : nullptr;
}

}  // namespace korimado
