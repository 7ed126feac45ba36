#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QString>

#include <optional>

class QWidget;

namespace korimado {

class UserDefaults;

// Keeps a window's frame in the user defaults under an autosave name: restored when the name is
// set, saved again whenever the shown window moves, resizes or closes. One window holds a name
// at a time, so that two windows never fight over one frame.
class WindowFrameAutosave : public QObject {
    Q_OBJECT

public:
    // Restores the saved frame, if any, and keeps saving. False when another window holds the
    // name; then nothing is restored or saved. An empty name stops saving.
    static bool setFrameAutosaveName(QWidget* window, const QString& name, UserDefaults* defaults = nullptr);
    static QString frameAutosaveName(const QWidget* window);

    // The defaults key a name is stored under.
    static QString defaultsKey(const QString& name);
    // The saved frame, moved and shrunk where needed so that it lies on a screen.
    static std::optional<QRect> savedFrame(const QString& name, UserDefaults* defaults = nullptr);
    static void saveFrame(const QWidget* window, const QString& name, UserDefaults* defaults = nullptr);

    ~WindowFrameAutosave() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    WindowFrameAutosave(QWidget* window, const QString& name, UserDefaults* defaults);
    static WindowFrameAutosave* find(const QWidget* window);

    QPointer<QWidget> window_;
    QString name_;
    UserDefaults* defaults_;
};

}  // namespace korimado
