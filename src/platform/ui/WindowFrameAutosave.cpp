#include "platform/ui/WindowFrameAutosave.h"

#include "platform/foundation/UserDefaults.h"

#include <QEvent>
#include <QGuiApplication>
#include <QHash>
#include <QScreen>
#include <QStringList>
#include <QWidget>

#include <algorithm>

namespace korimado {

namespace {

QHash<QString, WindowFrameAutosave*>& holders()
{
    static QHash<QString, WindowFrameAutosave*> names;
    return names;
}

UserDefaults& store(UserDefaults* defaults)
{
    return defaults ? *defaults : UserDefaults::standard();
}

std::optional<QRect> parseFrame(const QString& text)
{
    const QStringList parts = text.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (parts.size() != 4)
        return std::nullopt;
    int values[4];
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = parts[i].toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    if (values[2] <= 0 || values[3] <= 0)
        return std::nullopt;
    return QRect(values[0], values[1], values[2], values[3]);
}

// A frame saved on a screen that is gone would open the window where nobody can reach it.
QRect constrainToScreens(QRect frame)
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (screens.isEmpty())
        return frame;
    QScreen* target = nullptr;
    for (QScreen* screen : screens)
        if (screen->availableGeometry().intersects(frame) && !target)
            target = screen;
    const bool visible = target != nullptr;
    if (!target)
        target = QGuiApplication::primaryScreen() ? QGuiApplication::primaryScreen() : screens.constFirst();
    const QRect area = target->availableGeometry();
    frame.setWidth(std::min(frame.width(), area.width()));
    frame.setHeight(std::min(frame.height(), area.height()));
    if (!visible)
        frame.moveTopLeft(area.topLeft());
    if (frame.right() > area.right())
        frame.moveRight(area.right());
    if (frame.bottom() > area.bottom())
        frame.moveBottom(area.bottom());
    if (frame.left() < area.left())
        frame.moveLeft(area.left());
    if (frame.top() < area.top())
        frame.moveTop(area.top());
    return frame;
}

}  // namespace

WindowFrameAutosave::WindowFrameAutosave(QWidget* window, const QString& name, UserDefaults* defaults)
    : QObject(window), window_(window), name_(name), defaults_(defaults)
{
    setObjectName(QStringLiteral("frameAutosave"));
    holders().insert(name, this);
    window->installEventFilter(this);
}

WindowFrameAutosave::~WindowFrameAutosave()
{
    if (holders().value(name_) == this)
        holders().remove(name_);
}

WindowFrameAutosave* WindowFrameAutosave::find(const QWidget* window)
{
    return window ? window->findChild<WindowFrameAutosave*>(QStringLiteral("frameAutosave"), Qt::FindDirectChildrenOnly)
                  : nullptr;
}

bool WindowFrameAutosave::setFrameAutosaveName(QWidget* window, const QString& name, UserDefaults* defaults)
{
    if (!window)
        return false;
    WindowFrameAutosave* current = find(window);
    if (current && current->name_ == name)
        return true;
    if (!name.isEmpty()) {
        WindowFrameAutosave* holder = holders().value(name);
        if (holder && holder->window_ && holder->window_ != window)
            return false;
    }
    delete current;
    if (name.isEmpty())
        return true;
    new WindowFrameAutosave(window, name, defaults);
    if (const auto frame = savedFrame(name, defaults))
        window->setGeometry(*frame);
    return true;
}

QString WindowFrameAutosave::frameAutosaveName(const QWidget* window)
{
    const WindowFrameAutosave* autosave = find(window);
    return autosave ? autosave->name_ : QString();
}

QString WindowFrameAutosave::defaultsKey(const QString& name)
{
    return QStringLiteral("WindowFrame ") + name;
}

std::optional<QRect> WindowFrameAutosave::savedFrame(const QString& name, UserDefaults* defaults)
{
    const auto text = store(defaults).string(defaultsKey(name));
    if (!text)
        return std::nullopt;
    const auto frame = parseFrame(*text);
    if (!frame)
        return std::nullopt;
    return constrainToScreens(*frame);
}

void WindowFrameAutosave::saveFrame(const QWidget* window, const QString& name, UserDefaults* defaults)
{
    if (!window || name.isEmpty())
        return;
    // A maximised or full-screen window keeps the frame it returns to.
    const QRect frame = (window->isMaximized() || window->isFullScreen()) ? window->normalGeometry() : window->geometry();
    if (frame.width() <= 0 || frame.height() <= 0)
        return;
    const QString text = QStringLiteral("%1 %2 %3 %4").arg(frame.x()).arg(frame.y()).arg(frame.width()).arg(frame.height());
    if (store(defaults).string(defaultsKey(name)) != text)
        store(defaults).setString(defaultsKey(name), text);
}

bool WindowFrameAutosave::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != window_)
        return false;
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
        // Frames set while hidden (construction, background tabs) are not the user's.
        if (window_->isVisible() && !window_->isMinimized())
            saveFrame(window_, name_, defaults_);
        break;
    case QEvent::Close:
        if (window_->isVisible())
            saveFrame(window_, name_, defaults_);
        break;
    default: break;
    }
    return false;
}

}  // namespace korimado
